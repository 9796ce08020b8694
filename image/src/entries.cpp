// IDs, table entries and the samples they point at.
#include <algorithm>
#include <cmath>
#include <cstdio>

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
    return s.format ? s.format->name : "unknown";
}

SampleInfo InspectSample(ImageBytes image, uint32_t offset) {
    SampleInfo s;
    s.offset = offset;
    const Result<SampleHeader> read = ReadSampleHeader(image, offset);
    const SampleHeader& h = read.value;
    s.headerInFile = read.Ok();
    if (!s.headerInFile) return s;
    s.type = image[offset + SampleTypeOfs];
    s.format = h.format;
    s.rateField = h.rateField;
    s.length = h.length;
    s.headerPlausible = h.plausible;
    if (!s.format) return s;
    const uint64_t extent = h.length <= s.format->maxValues ? s.format->bytes(h.length) : UINT64_MAX;
    s.extentInFile = offset + extent <= image.size();
    s.extent = s.extentInFile ? static_cast<uint32_t>(extent) : 0;
    return s;
}

std::vector<uint8_t> DecodeToUnsigned(ImageBytes image, const SampleInfo& sample) {
    if (!sample.headerInFile || !sample.extentInFile || !sample.format) return {};
    return DecodeValues(image, sample.offset).value;
}

SampleDefaults DefaultsFor(ImageBytes image, std::optional<uint32_t> offset) {
    if (!offset) return {};
    const SampleInfo s = InspectSample(image, *offset);
    if (!s.Sound()) return {};
    return {s.format->kind, s.rateField};
}

uint32_t ToFileOffset(uint32_t value) { return IsRomAddress(value) ? value & RomAddressMask : value; }

namespace {

const char* IdPrefix(IdRule rule) { return rule == IdRule::SpeciesNumber ? "species-" : "cry-"; }
constexpr char IndexPrefix[] = "index-";

// The number after `prefix` in `name`, of at most `digits` digits and
// followed by a dot and a non-empty extension.
std::optional<int> NumberAfter(const std::string& name, const std::string& prefix, size_t digits) {
    if (name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    const size_t dot = name.find('.', prefix.size());
    if (dot == std::string::npos || dot == prefix.size() || dot - prefix.size() > digits || dot + 1 == name.size())
        return std::nullopt;
    int n = 0;
    for (size_t i = prefix.size(); i < dot; ++i) {
        if (name[i] < '0' || name[i] > '9') return std::nullopt;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

}  // namespace

std::string CryFileStem(const EntryRow& row, IdRule rule) {
    char stem[32];
    if (row.id) std::snprintf(stem, sizeof stem, "%s%03d", IdPrefix(rule), *row.id);
    else std::snprintf(stem, sizeof stem, "%s%04d", IndexPrefix, row.index);
    return stem;
}

std::optional<EntryRow> ParseCryFileName(const std::string& name, IdRule rule) {
    if (const std::optional<int> id = NumberAfter(name, IdPrefix(rule), 4)) {
        const bool own = *id >= 1 && *id <= LastId && !IsPlaceholderId(*id, rule);
        return EntryRow{id, own ? EntryIndex(*id, rule) : -1};
    }
    if (const std::optional<int> index = NumberAfter(name, IndexPrefix, 5)) return EntryRow{std::nullopt, *index};
    return std::nullopt;
}
