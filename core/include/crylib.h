// crylib: the compressed cry-sample format, its encoder and decoder, and the
// cry-table scan. Portable: standard library only.
//
// A compressed sample is a 16-byte header followed by 33-byte blocks of 64
// samples. Byte 0 of a block holds its first sample whole; every further
// sample is a 4-bit index into Table, added modulo 256 to the sample before.
//
// Two layers:
//   - in memory: EncodeBlock/DecodeBlock and EncodeSample/DecodeSample work on
//     byte spans and never touch a file, so the format is testable without disk;
//   - file shells: Dump and Compress open the files and stream one block at a
//     time through the in-memory layer.
//
// Value domains: WAV data is unsigned (silence 0x80); the compressed domain is
// signed (silence 0). Both are held here as uint8_t bit patterns and convert by
// flipping the top bit. All sample arithmetic wraps modulo 256.
//
// Error convention: the in-memory layer never fails on its inputs' values
// and never reads or writes past the spans it is given; EncodeSample returns
// 0 when it cannot write. The file shells keep their plain results (Dump:
// the length or 0; Compress: always 0) and report why through an optional
// CryError; FindTable returns -1 for none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

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

// Reads the stored length of the sample at `offset` in `rom`. False when its
// two bytes do not lie inside rom.
bool ReadSampleLength(std::span<const uint8_t> rom, uint32_t offset, uint16_t* n);

// Decodes n samples of the sample at `offset` into wav (n unsigned bytes).
// Block bytes missing past the end of rom count as 0, as Dump reads them.
void DecodeSample(std::span<const uint8_t> rom, uint32_t offset, std::span<uint8_t> wav);

// Why a file shell failed. Dump and Compress keep their plain results (the
// length, or 0); callers that need to tell failure from an empty sample pass
// a CryError to learn it.
enum CryError {
    CryOk = 0,
    CryInfileNotFound,   // the input (WAV for Compress, ROM for Dump) did not open
    CryOutfileNotFound,  // the output could not be opened or created
    CryBadLength,        // Dump: the length bytes (or an uncompressed sample's values) lie beyond the end of the ROM
    CryBadWav,           // Compress: not 8-bit mono PCM in RIFF/WAVE chunks
    CryTooLong,          // Compress: 65536 audio bytes or more
    CryReadFailed,       // a read error other than end of file
    CryWriteFailed,      // a write or flush failed (disk full, short write)
};

// Decodes the sample at `offset` of the ROM file into a new WAV file at
// 11050 Hz: a compressed one, or an uncompressed one when its header's type
// byte says so (samplekind.h; its values must lie inside the ROM). Returns
// the length n, or 0 on failure (the WAV is then neither created nor
// truncated when the ROM side is at fault).
int Dump(const char* romPath, uint32_t offset, const char* wavPath, CryError* error = nullptr);

// Encodes the WAV file into the ROM file at `offset`, in place, creating the
// ROM only where nothing exists at its path. Always returns 0; `error` tells
// whether it worked. On any refusal the ROM is left untouched.
int Compress(const char* wavPath, uint32_t offset, const char* romPath, CryError* error = nullptr,
             EncodeMode mode = EncodeMode::Fast);

// Compress's first half, for a caller that places the sample itself: reads
// and encodes the WAV file into the bytes Compress writes at an offset
// (SampleExtent(n) of them), with the status Compress would report for the
// WAV, and prints nothing.
CryError ReadWavSample(const char* wavPath, std::vector<uint8_t>* sample, EncodeMode mode = EncodeMode::Fast);

// The line Compress prints on standard output for a status; nothing for CryOk.
void PrintCompressError(CryError status);

// Scans `stream` from its current position, in 4-byte steps, for the first
// cry-table entry signature: 20 3C 00 00 | xx xx xx 08 | FF 00 FF 00.
// Returns its file offset, or -1 at end of file. The stream stays open,
// positioned after the last word the scan consumed.
int FindTable(FILE* stream);

// The same scan over an image in memory, from `start`: the offset of the
// first entry it accepts, or -1.
int FindTableIn(std::span<const uint8_t> image, size_t start);
