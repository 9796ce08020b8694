// The requests front ends share.
#include "request.h"

ImageReading ReadImageModel(ImageBytes image, const TableRequest& request) {
    ImageReading r;
    r.model = OpenImage(image, request);
    if (r.model.problem != OpenProblem::None) return r;
    if (!request.entries) r.shortfall = CheckTableLength(image, r.model);
    r.cut = CheckImageSize(image, r.model);
    return r;
}

SampleDefaults DefaultsForEntry(ImageBytes image, const ImageModel& model, int index) {
    const Entry e = ReadEntry(image, model.table, index);
    return DefaultsFor(image, e.pointsIntoRom ? std::optional(e.offset) : std::nullopt);
}

const SampleFormat* FormatNamed(const std::string& name) {
    for (const SampleFormat& f : SampleFormats())
        if (name == f.name) return &f;
    return nullptr;
}

std::optional<Problem> DecodeProblem(ImageBytes image, uint32_t offset, int index) {
    const SampleInfo s = InspectSample(image, offset);
    if (s.Sound()) return std::nullopt;
    if (!s.headerInFile) return Problem{.kind = PlanProblem::PastEnd, .index = index, .offset = offset, .bytes = SampleHeaderSize};
    return Problem{.kind = PlanProblem::NotASample, .index = index, .offset = offset};
}
