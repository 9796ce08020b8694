// The encode and repoint commands' edits, made through the image model: the
// ROM is read whole into memory, the edit planned there, and only the spans
// the plan declares are written back, in place, through the stream the
// image was read from. A sample that reaches past the end of the image, or
// into a ROM not yet created, is one more span: the file grows to hold it.
//
// In place rather than a whole new image renamed over the old one: spans
// inside the file allocate nothing and cannot run out of room; the file
// keeps its name, links and attributes, as it always has under the dialog;
// and a repoint writes 4 or 8 bytes, not the whole image.
#include "frontend.h"

#include "stream.h"

bool ReadRomImage(FILE* rom, std::vector<uint8_t>* image) {
    if (std::fseek(rom, 0, SEEK_END) != 0) return false;
    const long size = std::ftell(rom);
    if (size < 0 || uint64_t(size) > MaxImageSize || std::fseek(rom, 0, SEEK_SET) != 0) return false;
    image->resize(size_t(size));
    bool failed = false;
    return ReadUpTo(rom, image->data(), image->size(), &failed) == image->size();
}

bool WritePlan(FILE* rom, const Plan& plan, std::span<uint8_t> image) {
    if (!ApplyPlan(plan, image)) return false;
    auto put = [&](uint32_t at, size_t size) { return SeekTo(rom, at) && WriteAll(rom, image.data() + at, size); };
    for (const Write& w : plan.writes)
        if (!put(w.at, w.bytes.size())) return false;
    for (const PointerUpdate& u : plan.pointers)
        if (!put(u.at, sizeof u.to)) return false;
    for (const VoiceUpdate& v : plan.voices)
        if (!put(v.at, sizeof v.to)) return false;
    return std::fflush(rom) == 0;
}

Plan EncodePlan(std::vector<uint8_t>& image, uint32_t offset, std::vector<uint8_t> sample) {
    const uint64_t end = uint64_t{offset} + sample.size();
    if (end <= image.size()) {
        EditRequest request;
        request.cries.push_back(
            {.index = -1, .sample = std::move(sample), .place = CryChange::Place::At, .at = offset, .force = true});
        // The plan rewrites the voice bytes of every entry that plays the
        // sample written over, should its kind change.
        return PlanEdits(image, OpenImage(image), request);
    }
    Plan plan;
    if (end > MaxImageSize) {
        plan.problems.push_back({.kind = PlanProblem::PastEnd, .offset = offset, .bytes = sample.size()});
        return plan;
    }
    image.resize(end, 0);
    plan.writes.push_back({offset, std::move(sample)});
    return plan;
}

Plan RepointPlan(ImageBytes image, uint32_t tableOffset, int index, uint32_t position, uint32_t address) {
    // Only a plain ROM address names a sample the model can look at.
    if ((address & ~RomAddressMask) == RomAddressBase) {
        EditRequest request;
        request.repoints.push_back({.index = index, .target = address & RomAddressMask, .force = true});
        Plan plan = PlanEdits(image, OpenImage(image, {.offset = tableOffset, .entries = std::nullopt}), request);
        if (plan.Ok()) return plan;
    }
    Plan word;
    word.pointers.push_back({TableKind::Cry, index, position, GetLe32(&image[position]), address});
    return word;
}
