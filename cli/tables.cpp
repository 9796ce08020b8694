#include "tables.h"

#include <algorithm>
#include <span>
#include <stdexcept>

#include "crylib.h"
#include "romid.h"

const char* RuleName(IdRule rule) { return rule == IdRule::SpeciesNumber ? "species-number" : "cry-number"; }

int EntryIndex(int id, IdRule rule) {
    return rule == IdRule::SpeciesNumber ? SpeciesNumberIndex(id) : CryNumberIndex(id);
}

bool IsPlaceholderId(int id, IdRule rule) {
    return rule == IdRule::SpeciesNumber && id >= FirstMissingSpecies && id < IdTableFirst;
}

// A word the game reads as an address in ROM: 0x08000000 or 0x09000000 onwards.
static bool IsRomAddress(uint32_t word) { return (word >> 25) == (RomAddressBase >> 25); }

bool ReadU16(const Bytes& rom, uint64_t ofs, uint16_t* value) {
    if (ofs + 2 > rom.size()) return false;
    *value = GetLe16(&rom[ofs]);
    return true;
}

bool ReadU32(const Bytes& rom, uint64_t ofs, uint32_t* value) {
    if (ofs + 4 > rom.size()) return false;
    *value = GetLe32(&rom[ofs]);
    return true;
}

void WriteU32(Bytes& rom, uint32_t ofs, uint32_t value) {
    if (uint64_t{ofs} + 4 > rom.size()) throw std::out_of_range("WriteU32 past the end of the image");
    PutLe32(&rom[ofs], value);
}

Entry ReadEntry(const Bytes& rom, uint32_t tableOffset, int index) {
    Entry e{};
    e.index = index;
    e.pointerPos = tableOffset + CryEntrySize * static_cast<uint32_t>(index) + CryEntryPointerOfs;
    e.inFile = ReadU32(rom, e.pointerPos, &e.pointer);
    e.offset = e.pointer & RomAddressMask;
    e.pointsIntoRom = e.inFile && IsRomAddress(e.pointer) && e.offset < rom.size();
    return e;
}

uint32_t EncoderRateField() {
    return GetLe32(SampleHeaderTemplate + SampleRateOfs);
}

SampleInfo InspectSample(const Bytes& rom, uint32_t offset) {
    SampleInfo s{};
    s.offset = offset;
    s.headerInFile = uint64_t{offset} + SampleHeaderSize <= rom.size();
    if (!s.headerInFile) return s;
    ReadU16(rom, offset + SampleKindOfs, &s.kind);
    ReadU32(rom, offset + SampleRateOfs, &s.rateField);
    if (s.Compressed()) {
        uint16_t n = 0;
        ReadSampleLength(rom, offset, &n);
        s.length = n;
        s.span = SampleExtent(n);
    } else {
        ReadU32(rom, offset + SampleLengthOfs, &s.length);
        s.span = s.length <= UINT32_MAX - SampleHeaderSize ? SampleHeaderSize + s.length : UINT32_MAX;
    }
    s.spanInFile = uint64_t{offset} + s.span <= rom.size();
    s.headerAsEncoder = s.KnownKind() && std::equal(SampleHeaderTemplate + 2, SampleHeaderTemplate + SampleLengthOfs,
                                                    rom.begin() + offset + 2);
    return s;
}

Bytes DecodeToUnsigned(const Bytes& rom, const SampleInfo& sample) {
    Bytes out(sample.length);
    if (sample.Compressed()) {
        DecodeSample(rom, sample.offset, out);
    } else {
        const uint8_t* data = rom.data() + sample.offset + SampleHeaderSize;
        std::transform(data, data + sample.length, out.begin(), [](uint8_t v) { return static_cast<uint8_t>(v ^ 0x80); });
    }
    return out;
}

std::optional<uint32_t> FindReverseTable(const Bytes& rom, uint32_t tableOffset) {
    constexpr int Compared = 16;
    std::vector<uint32_t> pointers;
    for (int i = 0; i < Compared; ++i) {
        Entry e = ReadEntry(rom, tableOffset, i);
        if (!e.pointsIntoRom) break;
        pointers.push_back(e.pointer);
    }
    if (pointers.empty()) return std::nullopt;
    // A cry edited earlier by a tool that knew only the cry table leaves its
    // entry out of step; a quarter of the entries compared may differ.
    const size_t allowedMisses = pointers.size() / 4;
    auto matches = [&](uint64_t r) {
        size_t misses = 0;
        for (size_t i = 0; i < pointers.size() && misses <= allowedMisses; ++i) {
            uint32_t word = 0;
            if (!ReadU32(rom, r + CryEntrySize * i + CryEntryPointerOfs, &word) || word != pointers[i]) ++misses;
        }
        return misses <= allowedMisses;
    };
    // One pass over the words: only a word equal to one of the compared
    // pointers makes a candidate, placed so that the word is its entry i.
    for (uint64_t p = CryEntryPointerOfs; p + 4 <= rom.size(); p += 4) {
        const uint32_t word = GetLe32(&rom[p]);
        if (!IsRomAddress(word)) continue;
        for (size_t i = 0; i < pointers.size(); ++i) {
            const uint64_t back = CryEntrySize * i + CryEntryPointerOfs;
            if (word != pointers[i] || p < back) continue;
            if (p - back != tableOffset && matches(p - back)) return static_cast<uint32_t>(p - back);
        }
    }
    return std::nullopt;
}

std::optional<uint32_t> FindFreeSpace(const Bytes& rom, uint32_t size, uint32_t start, uint32_t end) {
    uint64_t limit = std::min<uint64_t>(end, rom.size());
    uint64_t runStart = (uint64_t{start} + 3) & ~uint64_t{3};
    for (uint64_t i = runStart; i < limit; ++i) {
        if (rom[i] != 0xFF) {
            runStart = (i + 4) & ~uint64_t{3};
            i = runStart - 1;
            continue;
        }
        if (i + 1 - runStart >= size) return static_cast<uint32_t>(runStart);
    }
    return std::nullopt;
}

uint32_t ToFileOffset(uint32_t value) {
    return IsRomAddress(value) ? value & RomAddressMask : value;
}
