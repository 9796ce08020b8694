// The compressed sample format in memory: the delta table, one coding step,
// one block each way, and whole samples over byte spans.
#include <algorithm>
#include <array>
#include <cstring>

#include "crylib.h"

// Bytes 4-7 read 0x00A44000; the games' own samples carry the same words.
const uint8_t SampleHeaderTemplate[SampleHeaderSize] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x40, 0xA4, 0x00,
                                                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

constexpr uint8_t SignFlip = 0x80;    // unsigned WAV sample <-> signed compressed value
constexpr uint8_t WavSilence = 0x80;

// UpperIndex[d]: the first index from 1 whose delta, read unsigned, is at
// least d; Table[15] = 0xFF ends every scan. Enc runs for every sample of
// both coders, so the scan is done once here.
constexpr std::array<uint8_t, 256> UpperIndex = [] {
    std::array<uint8_t, 256> upper{};
    for (int d = 1; d < 256; ++d) {
        int j = 1;
        while (Table[j] < d) ++j;
        upper[d] = static_cast<uint8_t>(j);
    }
    return upper;
}();

EncResult Enc(uint8_t prev, uint8_t target) {
    const uint8_t d = static_cast<uint8_t>(target - prev);
    if (d == 0) return {0, prev};
    const int j = UpperIndex[d];
    const uint8_t upper = static_cast<uint8_t>(prev + Table[j]);
    const uint8_t lower = static_cast<uint8_t>(prev + Table[j - 1]);
    const uint8_t distUp = static_cast<uint8_t>(upper - target);
    const uint8_t distLow = static_cast<uint8_t>(target - lower);
    if (distLow < distUp) return {static_cast<uint8_t>(j - 1), lower};
    return {static_cast<uint8_t>(j), upper};
}

uint32_t BlockCount(uint32_t n) { return n == 0 ? 1 : (n - 1) / BlockSamples + 1; }

uint32_t SampleExtent(uint32_t n) {
    const uint32_t r = n % BlockSamples;
    const uint32_t tail = r == 0 ? 0 : r == 1 ? 1 : (r - 1) / 2 + 2;
    return SampleHeaderSize + BlockSize * (n / BlockSamples) + tail;
}

// Sample i (1..63) of a block lives in byte 1 + i/2: odd samples in the low
// nibble, even ones in the high nibble. Sample 1 is therefore the low nibble
// of byte 1, whose high nibble stays unused.
static int NibbleByte(int i) { return 1 + i / 2; }
static int NibbleShift(int i) { return i % 2 == 1 ? 0 : 4; }

void EncodeBlock(const uint8_t in[BlockSamples], uint8_t out[BlockSize]) {
    std::memset(out, 0, BlockSize);
    out[0] = in[0];
    uint8_t current = in[0];
    for (int i = 1; i < static_cast<int>(BlockSamples); ++i) {
        const EncResult step = Enc(current, in[i]);
        out[NibbleByte(i)] |= static_cast<uint8_t>(step.index << NibbleShift(i));
        current = step.value;
    }
}

void DecodeBlock(const uint8_t in[BlockSize], uint8_t out[BlockSamples]) {
    out[0] = in[0];
    for (int i = 1; i < static_cast<int>(BlockSamples); ++i) {
        const int index = (in[NibbleByte(i)] >> NibbleShift(i)) & 0x0F;
        out[i] = static_cast<uint8_t>(out[i - 1] + Table[index]);
    }
}

void EncodeWavBlock(std::span<const uint8_t> wav, EncodeMode mode, uint8_t out[BlockSize]) {
    const size_t count = std::min<size_t>(wav.size(), BlockSamples);
    uint8_t values[BlockSamples];
    std::fill(values, values + BlockSamples, WavSilence);
    std::copy_n(wav.begin(), count, values);
    for (uint8_t& v : values) v ^= SignFlip;
    if (mode == EncodeMode::Best) {
        // The optimal coder weighs only the samples the decoder will play.
        EncodeBlockBest(values, static_cast<int>(std::max<size_t>(count, 1)), out);
    } else {
        EncodeBlock(values, out);
    }
}

void DecodeWavBlock(const uint8_t in[BlockSize], uint8_t out[BlockSamples]) {
    DecodeBlock(in, out);
    for (uint32_t i = 0; i < BlockSamples; ++i) out[i] ^= SignFlip;
}

void EncodeBlocks(std::span<const uint8_t> wav, std::span<uint8_t> data, EncodeMode mode) {
    for (size_t first = 0, at = 0; first < wav.size() && at < data.size(); first += BlockSamples, at += BlockSize) {
        uint8_t block[BlockSize];
        EncodeWavBlock(wav.subspan(first, std::min<size_t>(wav.size() - first, BlockSamples)), mode, block);
        std::copy_n(block, std::min<size_t>(data.size() - at, BlockSize), data.begin() + static_cast<ptrdiff_t>(at));
    }
}

void DecodeBlocks(std::span<const uint8_t> data, std::span<uint8_t> wav) {
    for (size_t written = 0, at = 0; written < wav.size(); written += BlockSamples, at += BlockSize) {
        uint8_t block[BlockSize] = {};
        if (at < data.size())
            std::copy_n(data.begin() + static_cast<ptrdiff_t>(at), std::min<size_t>(BlockSize, data.size() - at), block);
        uint8_t values[BlockSamples];
        DecodeWavBlock(block, values);
        std::copy_n(values, std::min<size_t>(BlockSamples, wav.size() - written), wav.begin() + static_cast<ptrdiff_t>(written));
    }
}

size_t EncodeSample(std::span<const uint8_t> wav, std::span<uint8_t> dst, EncodeMode mode) {
    if (wav.size() > MaxSampleLength) return 0;
    const uint32_t n = static_cast<uint32_t>(wav.size());
    const uint32_t span = SampleExtent(n);
    if (dst.size() < span) return 0;
    std::copy_n(SampleHeaderTemplate, SampleHeaderSize, dst.begin());
    PutLe16(&dst[SampleLengthOfs], static_cast<uint16_t>(n));
    EncodeBlocks(wav, dst.subspan(SampleHeaderSize, span - SampleHeaderSize), mode);
    return span;
}

Result<uint16_t> ReadSampleLength(std::span<const uint8_t> rom, uint32_t offset) {
    const uint64_t at = uint64_t{offset} + SampleLengthOfs;
    if (at + SampleLengthSize > rom.size())
        return Failure<uint16_t>({CoreProblem::PastEnd, at, SampleLengthSize, rom.size()});
    return {GetLe16(&rom[at])};
}

void DecodeSample(std::span<const uint8_t> rom, uint32_t offset, std::span<uint8_t> wav) {
    const uint64_t at = uint64_t{offset} + SampleHeaderSize;
    DecodeBlocks(at < rom.size() ? rom.subspan(static_cast<size_t>(at)) : std::span<const uint8_t>{}, wav);
}
