// The canonical WAV header the decoder writes, and the RIFF chunk reader the
// encoder uses to find the audio in the WAV files it is given.
#include "wavlib.h"

#include <algorithm>
#include <cstring>

#include "crylib.h"

static_assert(WavRiffPartSize + WavFmtPartSize + WavDataPartSize == WavHeaderSize);
constexpr uint32_t WavFmtSizeOfs = 16;

// Fields inside a format chunk's body.
constexpr uint32_t FmtFormatOfs = 0;
constexpr uint32_t FmtChannelsOfs = 2;
constexpr uint32_t FmtRateOfs = 4;
constexpr uint32_t FmtByteRateOfs = 8;
constexpr uint32_t FmtBlockAlignOfs = 12;
constexpr uint32_t FmtBitsOfs = 14;
constexpr uint32_t FmtMinSize = 16;
constexpr uint32_t FmtBodyOfs = WavFmtSizeOfs + 4;  // where the canonical header's format body starts

constexpr uint32_t ChunkHeadSize = 8;  // 4-byte tag, u32 size
constexpr uint16_t FormatPcm = 1;

int CompareChar(const char* a, const char* b) { return std::memcmp(a, b, 4) == 0 ? 0 : 1; }

void SetChar(char* dst, const char* src) { std::memcpy(dst, src, 4); }

static int CompareTag(const uint8_t* at, const char* tag) { return CompareChar(reinterpret_cast<const char*>(at), tag); }

void FillWavHeader(uint8_t h[WavHeaderSize], uint32_t n, uint32_t rate) {
    std::memset(h, 0, WavHeaderSize);
    char* tags = reinterpret_cast<char*>(h);
    SetChar(tags + WavRiffTagOfs, "RIFF");
    PutLe32(h + WavRiffSizeOfs, n + 36);  // 36 = "WAVE" + the format chunk (24) + the data chunk's head (8)
    SetChar(tags + WavWaveTagOfs, "WAVE");
    SetChar(tags + WavFmtTagOfs, "fmt ");
    PutLe32(h + WavFmtSizeOfs, FmtMinSize);
    PutLe16(h + FmtBodyOfs + FmtFormatOfs, FormatPcm);
    PutLe16(h + FmtBodyOfs + FmtChannelsOfs, 1);
    PutLe32(h + FmtBodyOfs + FmtRateOfs, rate);
    PutLe32(h + FmtBodyOfs + FmtByteRateOfs, rate);  // one byte per sample
    PutLe16(h + FmtBodyOfs + FmtBlockAlignOfs, 1);
    PutLe16(h + WavBitsOfs, 8);
    SetChar(tags + WavDataTagOfs, "data");
    PutLe32(h + WavDataSizeOfs, n);
}

std::vector<uint8_t> WavFileBytes(std::span<const uint8_t> samples, uint32_t rate) {
    std::vector<uint8_t> file(WavHeaderSize + samples.size());
    FillWavHeader(file.data(), static_cast<uint32_t>(samples.size()), rate);
    std::copy(samples.begin(), samples.end(), file.begin() + WavHeaderSize);
    return file;
}

// Walks the chunks that follow "RIFF" size "WAVE", up to the end of the bytes
// (the RIFF size field is not trusted: writers often leave it wrong).
// readAt(pos, dst, count) must deliver exactly count bytes, which the walker
// only asks for inside [0, size); false means a read error.
template <class ReadAt>
static WavStatus WalkWavChunks(uint64_t size, ReadAt readAt, WavInfo* info) {
    if (size < WavHeaderSize) return WavShort;
    size = std::min<uint64_t>(size, UINT32_MAX);  // offsets are 32-bit; nothing past 4 GiB is read
    uint8_t head[WavRiffPartSize];
    if (!readAt(0, head, WavRiffPartSize)) return WavReadError;
    if (CompareTag(head + WavRiffTagOfs, "RIFF") || CompareTag(head + WavWaveTagOfs, "WAVE")) return WavNotRiff;

    bool haveFmt = false;
    uint64_t pos = WavRiffPartSize;
    while (pos + ChunkHeadSize <= size) {
        uint8_t chunk[ChunkHeadSize];
        if (!readAt(pos, chunk, ChunkHeadSize)) return WavReadError;
        const uint32_t chunkSize = GetLe32(chunk + 4);
        const uint64_t body = pos + ChunkHeadSize;
        if (CompareTag(chunk, "fmt ") == 0) {
            if (chunkSize < FmtMinSize || body + FmtMinSize > size) return WavNoFmt;
            uint8_t fmt[FmtMinSize];
            if (!readAt(body, fmt, FmtMinSize)) return WavReadError;
            info->format = GetLe16(fmt + FmtFormatOfs);
            info->channels = GetLe16(fmt + FmtChannelsOfs);
            info->rate = GetLe32(fmt + FmtRateOfs);
            info->bits = GetLe16(fmt + FmtBitsOfs);
            haveFmt = true;
        } else if (CompareTag(chunk, "data") == 0) {
            if (!haveFmt) return WavNoFmt;
            info->dataOffset = static_cast<uint32_t>(body);
            info->dataSize = static_cast<uint32_t>(std::min<uint64_t>(chunkSize, size - body));
            const bool supported = info->format == FormatPcm && info->channels == 1 && info->bits == 8;
            return supported ? WavOk : WavUnsupported;
        }
        pos = body + chunkSize + (chunkSize & 1);  // chunks are padded to even sizes
    }
    return haveFmt ? WavNoData : WavNoFmt;
}

WavStatus ParseWavInfo(const uint8_t* bytes, size_t size, WavInfo* info) {
    return WalkWavChunks(size, [bytes](uint64_t pos, uint8_t* dst, size_t count) {
        std::memcpy(dst, bytes + pos, count);
        return true;
    }, info);
}

WavStatus ReadWavInfo(FILE* stream, WavInfo* info) {
    if (std::fseek(stream, 0, SEEK_END) != 0) return WavReadError;
    const long end = std::ftell(stream);
    if (end < 0) return WavReadError;
    return WalkWavChunks(static_cast<uint64_t>(end), [stream](uint64_t pos, uint8_t* dst, size_t count) {
        // Chunk positions lie below the file's end, which ftell gave as a long.
        return std::fseek(stream, static_cast<long>(pos), SEEK_SET) == 0 && std::fread(dst, 1, count, stream) == count;
    }, info);
}
