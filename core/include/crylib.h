// crylib: the compressed cry-sample format, its encoder and decoder, and the
// cry-table scan. Portable: standard library only.
//
// A compressed sample is a 16-byte header followed by 33-byte blocks of 64
// samples. Byte 0 of a block holds its first sample whole; every further
// sample is a 4-bit index into Table, added modulo 256 to the sample before.
//
// Everything here works on byte spans and never touches a file: the file
// shells the dialogs use (Dump, Compress, the stream scan) live with them, in
// shells/, over these functions.
//
// Value domains: WAV data is unsigned (silence 0x80); the compressed domain is
// signed (silence 0). Both are held here as uint8_t bit patterns and convert by
// flipping the top bit. All sample arithmetic wraps modulo 256.
//
// Error convention (result.h): a function that can fail returns a Result,
// its value or a CoreError code with its numbers; the codec itself never
// fails on its inputs' values and never reads or writes past the spans it is
// given. EncodeSample returns the bytes it wrote, 0 when it writes none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "result.h"

// Compressed sample layout.
constexpr uint32_t SampleHeaderSize = 16;
constexpr uint32_t SampleLengthOfs = 12;  // u16 length in samples, bytes 12-13
constexpr uint32_t SampleLengthSize = 2;
constexpr uint32_t BlockSize = 33;
constexpr uint32_t BlockSamples = 64;
constexpr uint32_t MaxSampleLength = 0xFFFF;  // the stored length is 16 bits

// Little-endian fields, assembled from bytes.
inline uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t GetLe32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
    PutLe16(p, static_cast<uint16_t>(v));
    PutLe16(p + 2, static_cast<uint16_t>(v >> 16));
}

// Cry-table entry layout: 12 bytes, the sample's ROM address in the second word.
constexpr uint32_t CryEntrySize = 12;
constexpr uint32_t CryEntryPointerOfs = 4;
constexpr uint32_t RomAddressBase = 0x08000000;  // ROM address = base | file offset
constexpr uint32_t RomAddressMask = 0x3FFFFFF;   // low 26 bits of a stored address

// The 16 deltas, as unsigned bytes: indexes 0-7 are the squares 0..49, 8-15
// are -64 then -49..-1. Read as unsigned bytes the table ascends strictly,
// which lets Enc find the two deltas around a difference with one forward
// scan. A constant, so that the best coder's edges are fixed at compile time.
inline constexpr uint8_t Table[16] = {0x00, 0x01, 0x04, 0x09, 0x10, 0x19, 0x24, 0x31,
                                      0xC0, 0xCF, 0xDC, 0xE7, 0xF0, 0xF7, 0xFC, 0xFF};

// The header bytes the encoder writes; bytes 12-13 then receive the length.
extern const uint8_t SampleHeaderTemplate[SampleHeaderSize];

// One greedy step: the nearer of the two table deltas around target - prev.
struct EncResult {
    uint8_t index;  // DeltaIndex 0..15
    uint8_t value;  // the decoder's value after this step
};
EncResult Enc(uint8_t prev, uint8_t target);

// Number of blocks a sample of n samples occupies: max(1, ceil(n / 64)).
uint32_t BlockCount(uint32_t n);
// Bytes a sample of n samples occupies in the ROM: the header, then its blocks
// up to the byte that holds value n - 1, and nothing after it. Byte 0 of a
// block holds value 0, byte 1 value 1, byte k values 2k-2 and 2k-1, so with
// r = n mod 64 the last block takes 0, 1 or (r - 1) / 2 + 2 bytes. The games
// pack their samples this way and start the next one at the following
// multiple of 4: a whole last block written in place would run into it.
uint32_t SampleExtent(uint32_t n);

// Block codec over signed values. EncodeBlock is the greedy closed-loop coder;
// EncodeBlockBest chooses byte 0 and the 63 indexes that minimise the squared
// error over the first `count` positions (1..64) of `in`.
void EncodeBlock(const uint8_t in[BlockSamples], uint8_t out[BlockSize]);
void EncodeBlockBest(const uint8_t in[BlockSamples], int count, uint8_t out[BlockSize]);
void DecodeBlock(const uint8_t in[BlockSize], uint8_t out[BlockSamples]);

enum class EncodeMode { Fast, Best };

// One block between the WAV domain and the compressed one. EncodeWavBlock
// codes the first wav.size() (at most 64) unsigned samples, the positions past
// them as silence, so the output depends on the input alone. DecodeWavBlock
// yields the 64 unsigned samples of a block.
void EncodeWavBlock(std::span<const uint8_t> wav, EncodeMode mode, uint8_t out[BlockSize]);
void DecodeWavBlock(const uint8_t in[BlockSize], uint8_t out[BlockSamples]);

// The blocks of a compressed sample, after its header. EncodeBlocks codes
// wav.size() unsigned samples and writes the first data.size() bytes of their
// blocks (the last block cut there); DecodeBlocks yields wav.size() unsigned
// samples, block bytes missing past the end of `data` counting as 0.
void EncodeBlocks(std::span<const uint8_t> wav, std::span<uint8_t> data, EncodeMode mode);
void DecodeBlocks(std::span<const uint8_t> data, std::span<uint8_t> wav);

// Encodes n = wav.size() unsigned WAV samples (n <= MaxSampleLength) into
// dst, which must hold SampleExtent(n) bytes: the header with the length, then
// the blocks, the last one cut after the byte that holds value n - 1. Nothing
// past SampleExtent(n) is written. Returns the number of bytes written, or 0
// when n is too long or dst too small.
size_t EncodeSample(std::span<const uint8_t> wav, std::span<uint8_t> dst,
                    EncodeMode mode = EncodeMode::Fast);

// The stored length of the sample at `offset` in `rom`; PastEnd when its two
// bytes do not lie inside rom.
Result<uint16_t> ReadSampleLength(std::span<const uint8_t> rom, uint32_t offset);

// Decodes n samples of the sample at `offset` into wav (n unsigned bytes).
// Block bytes missing past the end of rom count as 0, as Dump reads them.
void DecodeSample(std::span<const uint8_t> rom, uint32_t offset, std::span<uint8_t> wav);

// The cry-table scan over bytes: from `start`, in 4-byte steps, the first
// entry signature 20 3C 00 00 | xx xx xx 08 | FF 00 FF 00. A failed test
// never backs up: the scan moves on past the word that failed it.
//
// ScanTable is one stretch of it, for a caller that holds the bytes a
// block at a time: the offset of the entry it accepts, or none, and where
// the scan stands, the first position it has not tested (fewer than 12
// bytes before the end of `bytes`).
struct TableScan {
    std::optional<size_t> found;
    size_t resume = 0;
};
TableScan ScanTable(std::span<const uint8_t> bytes, size_t start);

// The whole scan over an image in memory: the offset of the first entry it
// accepts, or NotFound.
Result<uint32_t> FindTableIn(std::span<const uint8_t> image, size_t start);
