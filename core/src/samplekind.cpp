// The sample kinds: one SampleFormat each, and the header they share.
#include "samplekind.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr uint8_t SignFlip = 0x80;  // unsigned WAV value <-> signed stored value
constexpr uint8_t Silence = 0x80;   // unsigned

uint32_t CompressedBytes(uint32_t n) { return SampleExtent(n); }

// S values and the loop value after them.
uint32_t UncompressedBytes(uint32_t n) { return SampleHeaderSize + n + 1; }

void EncodeUncompressed(std::span<const uint8_t> wav, std::span<uint8_t> data, EncodeMode) {
    std::transform(wav.begin(), wav.end(), data.begin(), [](uint8_t v) { return static_cast<uint8_t>(v ^ SignFlip); });
    data[wav.size()] = 0;  // the loop value: silence
}

void DecodeUncompressed(std::span<const uint8_t> data, std::span<uint8_t> wav) {
    for (size_t i = 0; i < wav.size(); ++i) wav[i] = static_cast<uint8_t>((i < data.size() ? data[i] : 0) ^ SignFlip);
}

constexpr SampleFormat Formats[] = {
    {SampleKind::Compressed, "compressed", 1, MaxSampleLength, 2, CompressedBytes, EncodeBlocks, DecodeBlocks},
    // The length field is 32 bits; a cry is far shorter than what an image holds.
    {SampleKind::Uncompressed, "uncompressed", 0, 0x00FFFFFF, 4, UncompressedBytes, EncodeUncompressed,
     DecodeUncompressed},
};

}  // namespace

std::span<const SampleFormat> SampleFormats() { return Formats; }

const SampleFormat& FormatOf(SampleKind kind) {
    return *std::find_if(std::begin(Formats), std::end(Formats), [&](const SampleFormat& f) { return f.kind == kind; });
}

const SampleFormat* FormatOfType(uint8_t type) {
    for (const SampleFormat& f : Formats)
        if (f.type == type) return &f;
    return nullptr;
}

uint32_t SampleBytes(SampleKind kind, uint32_t n) { return FormatOf(kind).bytes(n); }

// A sample's bytes never shrink as it grows, so the count is found by halves.
uint32_t ValuesFitting(SampleKind kind, uint32_t bytes) {
    const SampleFormat& f = FormatOf(kind);
    if (f.bytes(1) > bytes) return 0;
    uint32_t low = 1, high = f.maxValues;  // f.bytes(low) fits
    while (low < high) {
        const uint32_t mid = low + (high - low + 1) / 2;
        if (f.bytes(mid) <= bytes) low = mid;
        else high = mid - 1;
    }
    return low;
}

uint32_t ValuesAtRate(uint32_t n, uint32_t rateField, uint32_t hz) {
    if (rateField == 0) return n;
    // n < 2^32, hz x 1024 < 2^26: the product fits in 64 bits.
    const uint64_t scaled = uint64_t{n} * hz * 1024;
    return static_cast<uint32_t>(std::min<uint64_t>((scaled + rateField - 1) / rateField, UINT32_MAX));
}

bool PlausibleRate(uint32_t hz) { return hz >= MinSampleRate && hz <= MaxSampleRate; }

std::vector<uint8_t> MakeSample(SampleKind kind, std::span<const uint8_t> wav, uint32_t rateField, EncodeMode mode) {
    const SampleFormat& f = FormatOf(kind);
    if (wav.size() > f.maxValues) return {};
    const uint32_t n = static_cast<uint32_t>(wav.size());
    std::vector<uint8_t> sample(f.bytes(n), 0);
    sample[SampleTypeOfs] = f.type;
    PutLe32(&sample[SampleRateOfs], rateField);
    PutLe32(&sample[SampleLengthOfs], n);
    f.encode(wav, std::span<uint8_t>(sample).subspan(SampleHeaderSize), mode);
    return sample;
}

std::vector<uint8_t> MakeSampleFile(SampleKind kind, std::span<const uint8_t> wav, uint32_t rateField, EncodeMode mode) {
    if (wav.size() >= FormatOf(kind).maxValues) return {};
    if (kind == SampleKind::Uncompressed) return MakeSample(kind, wav, rateField, mode);
    std::vector<uint8_t> looped(wav.begin(), wav.end());
    looped.push_back(Silence);
    std::vector<uint8_t> sample = MakeSample(kind, looped, rateField, mode);
    PutLe32(&sample[SampleLengthOfs], static_cast<uint32_t>(wav.size()));
    return sample;
}

Result<SampleHeader> ReadSampleHeader(std::span<const uint8_t> image, uint32_t offset) {
    if (uint64_t{offset} + SampleHeaderSize > image.size())
        return Failure<SampleHeader>({CoreProblem::PastEnd, offset, SampleHeaderSize, image.size()});
    const uint8_t* h = &image[offset];
    SampleHeader r;
    r.format = FormatOfType(h[SampleTypeOfs]);
    r.rateField = GetLe32(h + SampleRateOfs);
    r.loopStart = GetLe32(h + SampleLoopOfs);
    const uint32_t field = GetLe32(h + SampleLengthOfs);
    r.length = r.format && r.format->lengthBytes == 2 ? field & 0xFFFF : field;
    // Bytes 1-3 and the loop start are 0 in every cry the games and the
    // encoder write, and so is the unused upper half of a 16-bit length.
    const bool typeWord = (GetLe32(h + SampleTypeOfs) >> 8) == 0;
    const bool lengthFits = r.format && (r.format->lengthBytes == 4 || field >> 16 == 0);
    r.plausible = r.format && typeWord && r.loopStart == 0 && lengthFits && r.length <= r.format->maxValues &&
                  PlausibleRate(r.rateField / 1024);
    return {r};
}

Result<std::vector<uint8_t>> DecodeValues(std::span<const uint8_t> image, uint32_t offset) {
    using Values = std::vector<uint8_t>;
    const Result<SampleHeader> read = ReadSampleHeader(image, offset);
    const SampleHeader& h = read.value;
    if (!read.Ok()) return Failure<Values>(*read.error);
    if (!h.format) return Failure<Values>({CoreProblem::UnknownKind, offset, SampleHeaderSize, 0});
    if (h.length > h.format->maxValues) return Failure<Values>({CoreProblem::TooLong, offset, h.length, h.format->maxValues});
    Values wav(h.length);
    h.format->decode(image.subspan(offset + SampleHeaderSize), wav);
    return wav;
}

Result<StoredSample> ReadStoredSample(std::span<const uint8_t> stored) {
    const Result<SampleHeader> read = ReadSampleHeader(stored, 0);
    const SampleFormat* format = read.value.format;
    if (read.Ok() && format && format->kind == SampleKind::Uncompressed) {
        const uint32_t n = read.value.length;
        if (n > format->maxValues) return Failure<StoredSample>({CoreProblem::TooLong, 0, n, format->maxValues});
        return {{SampleKind::Uncompressed, n, uint64_t{SampleHeaderSize} + n}};
    }
    const Result<uint16_t> n = ReadSampleLength(stored, 0);
    if (!n.Ok()) return Failure<StoredSample>(*n.error);
    // At least one block is read, as the format always has one.
    return {{SampleKind::Compressed, n.value, uint64_t{SampleHeaderSize} + uint64_t{BlockSize} * BlockCount(n.value)}};
}

Result<std::vector<uint8_t>> DecodeStored(const StoredSample& sample, std::span<const uint8_t> stored) {
    const uint64_t valuesEnd = uint64_t{SampleHeaderSize} + sample.length;
    if (sample.kind == SampleKind::Uncompressed && valuesEnd > stored.size())
        return Failure<std::vector<uint8_t>>({CoreProblem::PastEnd, SampleHeaderSize, sample.length, stored.size()});
    std::vector<uint8_t> values(sample.length);
    const auto data = stored.size() > SampleHeaderSize ? stored.subspan(SampleHeaderSize) : std::span<const uint8_t>{};
    FormatOf(sample.kind).decode(data, values);
    return {std::move(values)};
}
