// The requests front ends share.
#include "request.h"

#include <algorithm>
#include <map>

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

std::vector<PackFile> MatchPackFiles(std::span<const std::string> names, const ImageModel& model, IdRule rule,
                                     std::vector<size_t>* ignored) {
    std::vector<PackFile> files;
    std::map<int, size_t> firstOf;  // entry -> the file naming it first
    for (size_t i = 0; i < names.size(); ++i) {
        const std::optional<EntryRow> row = ParseCryFileName(names[i], rule);
        if (!row) {
            ignored->push_back(i);
            continue;
        }
        PackFile f{.file = i, .row = *row};
        if (row->index < 0) f.problem = PackFileProblem::NoCryOfItsOwn;
        else if (row->index >= model.entries) f.problem = PackFileProblem::PastTable;
        else if (const auto [first, isNew] = firstOf.emplace(row->index, i); !isNew) {
            f.problem = PackFileProblem::Twice;
            f.other = first->second;
        }
        files.push_back(f);
    }
    std::stable_sort(files.begin(), files.end(),
                     [](const PackFile& a, const PackFile& b) { return a.row.index < b.row.index; });
    return files;
}
