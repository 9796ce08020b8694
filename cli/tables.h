// The ROM image as this program sees it: cry-table entries, the samples they
// point at, the second (reverse-cry) table kept in step with the first, and
// free space. Everything works on the whole image in memory, bounds-checked.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "romid.h"

using Bytes = std::vector<uint8_t>;

// Sample header fields beyond those crylib names.
constexpr uint32_t SampleKindOfs = 0;  // u16: 1 compressed, 0 stored as plain signed bytes
constexpr uint32_t SampleRateOfs = 4;  // u32: rate x 1024
constexpr uint16_t SampleCompressed = 1;
constexpr uint16_t SampleUncompressed = 0;

// IDs run from 1 to LastId under both rules; the cry rule reaches entries 0 to 410.
constexpr int TableEntries = LastId;

enum class IdRule { CryNumber, SpeciesNumber };
const char* RuleName(IdRule rule);
// The cry-table index of an ID (1..LastId) under the rule.
int EntryIndex(int id, IdRule rule);
// True for IDs that have no cry of their own: the species rule sends IDs
// 252 to 276 to entry 200, which belongs to species 201.
bool IsPlaceholderId(int id, IdRule rule);

// Bounds-checked little-endian access to the image.
bool ReadU16(const Bytes& rom, uint64_t ofs, uint16_t* value);
bool ReadU32(const Bytes& rom, uint64_t ofs, uint32_t* value);
void WriteU32(Bytes& rom, uint32_t ofs, uint32_t value);

// A cry-table entry and where its pointer leads.
struct Entry {
    int index;
    uint32_t pointerPos;  // file offset of the pointer word
    bool inFile;          // the pointer word lies inside the image
    uint32_t pointer;     // the word as stored
    uint32_t offset;      // pointer AND RomAddressMask
    bool pointsIntoRom;   // a ROM address (0x08000000-0x09FFFFFF) inside the image
};
Entry ReadEntry(const Bytes& rom, uint32_t tableOffset, int index);

// What lies at a sample offset.
struct SampleInfo {
    uint32_t offset;
    bool headerInFile;     // all 16 header bytes lie inside the image
    uint16_t kind;         // bytes 0-1
    uint32_t rateField;    // bytes 4-7, rate x 1024
    uint32_t length;       // samples: 16 bits when compressed, 32 when not
    uint32_t span;         // bytes from the header to the end of the data
    bool spanInFile;
    bool headerAsEncoder;  // bytes 2-11 as the encoder writes them, kind 0 or 1

    bool Compressed() const { return kind == SampleCompressed; }
    bool KnownKind() const { return kind == SampleCompressed || kind == SampleUncompressed; }
    bool Sound() const { return headerInFile && spanInFile && headerAsEncoder; }
    double Rate() const { return rateField / 1024.0; }
    double Seconds() const { return rateField ? length / Rate() : 0.0; }
};
SampleInfo InspectSample(const Bytes& rom, uint32_t offset);

// The unsigned 8-bit samples of a sample that lies wholly inside the image.
Bytes DecodeToUnsigned(const Bytes& rom, const SampleInfo& sample);

// The rate that the header written by the encoder declares.
uint32_t EncoderRateField();

// Finds the second table: a word-aligned run of 12-byte entries, elsewhere
// than the cry table, whose pointer words equal the cry table's, entry for
// entry, over the first 16 entries (or every leading entry that points into
// the image, when there are fewer), but for at most a quarter of them.
std::optional<uint32_t> FindReverseTable(const Bytes& rom, uint32_t tableOffset);

// The first word-aligned run of `size` bytes of 0xFF inside [start, end).
std::optional<uint32_t> FindFreeSpace(const Bytes& rom, uint32_t size, uint32_t start, uint32_t end);

// Turns an argument that may be a file offset or a ROM address (0x08xxxxxx)
// into a file offset.
uint32_t ToFileOffset(uint32_t value);
