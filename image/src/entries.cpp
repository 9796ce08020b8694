// IDs, table entries and the samples they point at.
#include <algorithm>
#include <cmath>

#include "image.h"

const char* RuleName(IdRule rule) { return rule == IdRule::SpeciesNumber ? "species-number" : "cry-number"; }

int EntryIndex(int id, IdRule rule) {
    return rule == IdRule::SpeciesNumber ? SpeciesNumberIndex(id) : CryNumberIndex(id);
}

bool IsPlaceholderId(int id, IdRule rule) {
    return rule == IdRule::SpeciesNumber && id >= FirstMissingSpecies && id < IdTableFirst;
}

std::vector<int> IdsOfIndex(int index, IdRule rule) {
    std::vector<int> ids;
    for (int id = 1; id <= LastId; ++id)
        if (!IsPlaceholderId(id, rule) && EntryIndex(id, rule) == index) ids.push_back(id);
    return ids;
}

// A word the game reads as an address in ROM: 0x08000000 or 0x09000000 onwards.
static bool IsRomAddress(uint32_t word) { return (word >> 25) == (RomAddressBase >> 25); }

static bool ReadWord(ImageBytes image, uint64_t at, uint32_t* word) {
    if (at + 4 > image.size()) return false;
    *word = GetLe32(&image[at]);
    return true;
}

Entry ReadEntry(ImageBytes image, uint32_t tableOffset, int index) {
    Entry e;
    e.index = index;
    const uint64_t at = uint64_t{tableOffset} + uint64_t{CryEntrySize} * static_cast<uint64_t>(std::max(index, 0));
    if (index < 0 || at + CryEntrySize > image.size()) return e;
    e.at = static_cast<uint32_t>(at);
    e.pointerPos = e.at + CryEntryPointerOfs;
    e.inFile = true;
    e.firstWord = GetLe32(&image[at]);
    e.pointer = GetLe32(&image[at + CryEntryPointerOfs]);
    e.lastWord = GetLe32(&image[at + EntryLastWordOfs]);
    e.offset = e.pointer & RomAddressMask;
    e.pointsIntoRom = IsRomAddress(e.pointer) && e.offset < image.size();
    return e;
}

uint32_t SampleInfo::Hz() const { return static_cast<uint32_t>(std::lround(Rate())); }

const char* SampleKindName(const SampleInfo& s) {
    if (!s.headerInFile) return "none";
    if (s.kind == SampleCompressed) return "compressed";
    if (s.kind == SampleUncompressed) return "uncompressed";
    return "unknown";
}

uint32_t EncoderRateField() { return GetLe32(SampleHeaderTemplate + SampleRateOfs); }

bool PlausibleRate(uint32_t hz) { return hz >= MinSampleRate && hz <= MaxSampleRate; }

SampleInfo InspectSample(ImageBytes image, uint32_t offset) {
    SampleInfo s;
    s.offset = offset;
    s.headerInFile = uint64_t{offset} + SampleHeaderSize <= image.size();
    if (!s.headerInFile) return s;
    const uint8_t* h = &image[offset];
    s.kind = GetLe16(h + SampleKindOfs);
    s.rateField = GetLe32(h + SampleRateOfs);
    uint64_t extent;
    if (s.Compressed()) {
        s.length = GetLe16(h + SampleLengthOfs);
        extent = SampleExtent(s.length);
    } else {
        s.length = GetLe32(h + SampleLengthOfs);
        extent = uint64_t{SampleHeaderSize} + s.length;
    }
    s.extentInFile = offset + extent <= image.size();
    s.extent = s.extentInFile ? static_cast<uint32_t>(extent) : 0;
    // Bytes 2-3 and 8-11 are zero in every sample the games and the encoder
    // write; the rate may be any a game could play.
    uint32_t loop = 0;
    ReadWord(image, uint64_t{offset} + 8, &loop);
    const bool zeros = GetLe16(h + 2) == 0 && loop == 0;
    const bool compressedLengthFits = !s.Compressed() || GetLe16(h + SampleLengthOfs + 2) == 0;
    s.headerPlausible = s.KnownKind() && zeros && compressedLengthFits && PlausibleRate(s.rateField / 1024);
    return s;
}

std::vector<uint8_t> DecodeToUnsigned(ImageBytes image, const SampleInfo& sample) {
    if (!sample.headerInFile || !sample.extentInFile) return {};
    std::vector<uint8_t> out(sample.length);
    if (sample.Compressed()) {
        DecodeSample(image, sample.offset, out);
    } else {
        const uint8_t* data = image.data() + sample.offset + SampleHeaderSize;
        std::transform(data, data + sample.length, out.begin(), [](uint8_t v) { return static_cast<uint8_t>(v ^ 0x80); });
    }
    return out;
}

uint32_t ToFileOffset(uint32_t value) { return IsRomAddress(value) ? value & RomAddressMask : value; }
