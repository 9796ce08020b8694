// The sample codec in memory over arbitrary bytes. Decoding at any offset and
// length must agree with a plain value-by-value decoder that reads missing
// bytes as 0. Encoding any values, either way, into a buffer of about the
// right size must write exactly SampleExtent(n) bytes or refuse and write
// nothing; the greedy coder's sample must decode to the values its steps
// report, and the optimal coder's to n values no worse, block by block, than
// the greedy coder's.
#include <algorithm>
#include <vector>

#include "crylib.h"
#include "testdata.h"
#include "fuzz_support.h"

namespace {

constexpr uint8_t Guard = 0xA5;
constexpr uint32_t GuardBytes = 8;
constexpr size_t MaxOptimalValues = 8;

// Value i of the sample at `offset`, reading the block bytes one at a time:
// byte 0 of a block holds value 0 whole, value k >= 1 adds the delta whose
// index lies in byte 1 + k / 2 (low nibble for odd k, high for even k).
std::vector<uint8_t> PlainDecode(std::span<const uint8_t> rom, uint32_t offset, size_t n) {
    auto byteAt = [&](uint64_t at) -> uint8_t { return at < rom.size() ? rom[at] : 0; };
    std::vector<uint8_t> out(n);
    uint8_t value = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint64_t block = uint64_t{offset} + SampleHeaderSize + BlockSize * (i / BlockSamples);
        const size_t k = i % BlockSamples;
        if (k == 0) {
            value = byteAt(block);
        } else {
            const uint8_t b = byteAt(block + 1 + k / 2);
            value = static_cast<uint8_t>(value + Table[k % 2 ? b & 0x0F : b >> 4]);
        }
        out[i] = value ^ 0x80;
    }
    return out;
}

uint64_t SquaredError(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    uint64_t sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += static_cast<uint64_t>((a[i] - b[i]) * (a[i] - b[i]));
    return sum;
}

void CheckDecode(std::span<const uint8_t> rom, uint32_t offset, size_t count) {
    const Result<uint16_t> stored = ReadSampleLength(rom, offset);
    Require(stored.Ok() == (uint64_t{offset} + SampleLengthOfs + SampleLengthSize <= rom.size()));
    if (stored.Ok()) count = std::min<size_t>(stored.value, count);
    std::vector<uint8_t> values(count);
    DecodeSample(rom, offset, values);
    Require(values == PlainDecode(rom, offset, count));
}

void CheckEncode(std::span<const uint8_t> wav, EncodeMode mode, int slack) {
    const uint32_t n = static_cast<uint32_t>(wav.size());
    const uint32_t extent = SampleExtent(n);
    const size_t room = static_cast<size_t>(std::max<int64_t>(0, int64_t{extent} + slack));
    std::vector<uint8_t> buffer(room + GuardBytes, Guard);
    const size_t written = EncodeSample(wav, std::span<uint8_t>(buffer).first(room), mode);
    if (room < extent) {
        Require(written == 0 && std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == Guard; }));
        return;
    }
    Require(written == extent);
    Require(std::all_of(buffer.begin() + extent, buffer.end(), [](uint8_t b) { return b == Guard; }));
    const Result<uint16_t> stored = ReadSampleLength(buffer, 0);
    Require(stored.Ok() && stored.value == n);
    Require(std::equal(SampleHeaderTemplate, SampleHeaderTemplate + SampleLengthOfs, buffer.begin()));
    std::vector<uint8_t> decoded(n);
    DecodeSample(std::span<const uint8_t>(buffer).first(extent), 0, decoded);
    const Bytes greedy = EncReportedValues(wav);
    if (mode == EncodeMode::Fast) {
        Require(decoded == greedy);
        return;
    }
    for (uint32_t first = 0; first < n; first += BlockSamples) {
        const size_t count = std::min(n - first, BlockSamples);
        const auto in = wav.subspan(first, count);
        Require(SquaredError(std::span(decoded).subspan(first, count), in) <=
                SquaredError(std::span(greedy).subspan(first, count), in));
    }
}

}  // namespace

// Byte 0 chooses the coder (the optimal one when its low four bits are B)
// and the room given to it (bits 4-6: from 3 bytes short to 4 bytes spare);
// bytes 1-2 the decode offset, byte 3 how many values to decode at most; the
// rest is both the image and the values.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const std::span<const uint8_t> body(data + 4, size - 4);
    const uint32_t offset = GetLe16(data + 1) % (body.size() + 32);
    CheckDecode(body, offset, data[3]);
    const int slack = (data[0] >> 4 & 7) - 3;
    if ((data[0] & 0x0F) == 0x0B) {
        // The optimal coder searches 4096 edges per value, some hundred times
        // the greedy coder's work, and inputs that reach it are the ones the
        // fuzzer keeps: a few values keep the runs quick. Whole blocks are
        // the optimal coder's unit tests' part.
        CheckEncode(body.first(std::min<size_t>(body.size(), MaxOptimalValues)), EncodeMode::Best, slack);
    } else if (body.size() <= MaxSampleLength) {
        CheckEncode(body, EncodeMode::Fast, slack);
    }
    return 0;
}
