// wavlib: the WAV header the tool writes, and a bounds-checked reader of the
// RIFF chunks of the WAV files it is given. Portable: standard library only.
//
// The tool writes one layout: a canonical 44-byte header for 8-bit unsigned
// mono PCM at 11050 Hz, followed by the audio bytes.
//
// Error convention: the chunk reader returns the WAV's own code (WavStatus)
// with the fields it read, and never throws; it is bounded by the bytes or
// the file it is given. The header's file shells (WriteWavHeader,
// CheckWavHeader) live with the dialogs, in shells/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

constexpr uint32_t WavHeaderSize = 44;
constexpr uint32_t WavRate = 11050;  // 11050, not 11025: what the games' tools used

// Byte offsets inside the canonical header.
constexpr uint32_t WavRiffSizeOfs = 4;
constexpr uint32_t WavRateOfs = 24;      // sample rate
constexpr uint32_t WavByteRateOfs = 28;  // bytes per second: the rate, for 8-bit mono
constexpr uint32_t WavBitsOfs = 34;
constexpr uint32_t WavDataSizeOfs = 40;

// 0 when the 4 bytes at a and b are equal, else 1.
int CompareChar(const char* a, const char* b);
// Copies the 4 bytes at src to dst.
void SetChar(char* dst, const char* src);

// The canonical header's three parts: the RIFF part, the format chunk and
// the data chunk's head.
constexpr uint32_t WavRiffPartSize = 12;
constexpr uint32_t WavFmtPartSize = 24;
constexpr uint32_t WavDataPartSize = 8;
constexpr uint32_t WavRiffTagOfs = 0;
constexpr uint32_t WavWaveTagOfs = 8;
constexpr uint32_t WavFmtTagOfs = 12;
constexpr uint32_t WavChannelsOfs = 22;
constexpr uint32_t WavDataTagOfs = 36;

// The canonical header for n data bytes of 8-bit mono at `rate` Hz.
void FillWavHeader(uint8_t header[WavHeaderSize], uint32_t n, uint32_t rate);

// A whole WAV file in memory: the canonical header with `rate` in its rate
// fields, then the 8-bit unsigned samples. The header's sizes are 32-bit:
// callers hold far fewer samples than that.
std::vector<uint8_t> WavFileBytes(std::span<const uint8_t> samples, uint32_t rate);

// What the chunk reader found in a WAV file.
struct WavInfo {
    uint16_t format;      // 1 = PCM
    uint16_t channels;
    uint32_t rate;
    uint16_t bits;
    uint32_t dataOffset;  // file offset of the first audio byte
    uint32_t dataSize;    // audio bytes, clamped to what the file holds
};

enum WavStatus {
    WavOk = 0,
    WavShort,        // under 44 bytes: too short for any WAV this tool accepts
    WavNotRiff,      // no RIFF/WAVE header
    WavNoFmt,        // no complete "fmt " chunk of at least 16 bytes before "data"
    WavNoData,       // no "data" chunk
    WavUnsupported,  // not 8-bit mono PCM
    WavReadError,
};

// Walks the RIFF chunks of the file from offset 0, trusting no size beyond the
// file's end, and fills `info` from "fmt " and "data". Chunks are padded to
// even sizes; the RIFF size field is not used, as writers often leave it
// wrong. Accepts 8-bit mono PCM at any rate; anything else is refused with
// the status that says why.
WavStatus ReadWavInfo(FILE* stream, WavInfo* info);

// The same over bytes in memory.
WavStatus ParseWavInfo(const uint8_t* bytes, size_t size, WavInfo* info);
