// How the test-data builders lay out table entries and samples in an image:
// shared by the games' layout (testdata.cpp) and the hacks made from it
// (hacks.cpp). Not part of the library's interface.
#pragma once

#include <cstdint>
#include <span>

#include "crylib.h"
#include "testdata.h"

constexpr uint32_t SampleRateOfs = 4;  // header bytes 4-7: rate in Hz * 1024

// Entry words: first word 0x3C00 | kind byte, pointer word, last word. The
// kind byte holds 0x20 for a compressed sample and 0x10 in the reverse table:
// 20 and 30 for compressed samples, 00 and 10 for uncompressed ones.
constexpr uint32_t EntryFirstWordBase = 0x00003C00;
constexpr uint32_t EntryCompressedBit = 0x20;
constexpr uint32_t EntryReverseBit = 0x10;
constexpr uint32_t EntryLastWord = 0x00FF00FF;

enum class TableSide { Cry, Reverse };

constexpr uint32_t EntryFirstWord(TableSide side, SampleCoding coding) {
    return EntryFirstWordBase | (coding == SampleCoding::Compressed ? EntryCompressedBit : 0) |
           (side == TableSide::Reverse ? EntryReverseBit : 0);
}

inline uint32_t AlignUp4(uint64_t v) { return static_cast<uint32_t>((v + 3) & ~uint64_t{3}); }

// One 12-byte table entry pointing at the sample at file offset `sample`.
void PutEntry(uint8_t* entry, uint32_t firstWord, uint32_t sample);

// Points the Game layout's pointer words at the two tables.
void PutTableWords(Bytes& rom, uint32_t table, uint32_t reverse);

// The bytes a cry of n values takes as the games pack it: the data carries
// all n values and the length field holds n - 1. Compressed: the header and
// the blocks up to the byte holding value n - 1. Uncompressed: the header,
// values 0 to n - 2 and the loop value 0 in place of the last.
uint32_t PackedSpan(size_t n, SampleCoding coding);

// Writes `cry` (1 to 65535 unsigned values) at `at` in that packing with
// `rate` in its header, then zero bytes up to the next multiple of 4, which
// it returns. Throws std::invalid_argument when they do not fit in `rom`.
uint32_t PutPackedSample(Bytes& rom, uint32_t at, std::span<const uint8_t> cry, SampleCoding coding, uint32_t rate);
