// The compressed format in memory: the delta table, the coding step, one
// block each way, and whole samples over spans.
#include <random>

#include "samplekind.h"
#include "support.h"

static uint8_t S(int signedValue) { return static_cast<uint8_t>(signedValue); }

TEST(Table, HoldsTheSixteenDeltasAscendingAsUnsignedBytes) {
    const Bytes expected = {0x00, 0x01, 0x04, 0x09, 0x10, 0x19, 0x24, 0x31,
                            0xC0, 0xCF, 0xDC, 0xE7, 0xF0, 0xF7, 0xFC, 0xFF};
    EXPECT_EQ(Bytes(Table, Table + 16), expected);
}

TEST(Enc, MatchesTheWorkedExamples) {
    // Across the wrap: from 100 the nearest to -100 is +49, landing on -107.
    const struct {
        int prev, target, index, value;
    } cases[] = {{100, -100, 7, -107}, {0, 120, 7, 49}, {0, 121, 8, -64}, {-37, -37, 0, -37}};
    for (const auto& c : cases) {
        const EncResult r = Enc(S(c.prev), S(c.target));
        EXPECT_EQ(r.index, c.index) << c.prev << " -> " << c.target;
        EXPECT_EQ(r.value, S(c.value)) << c.prev << " -> " << c.target;
    }
}

// A second, brute-force coder: the delta nearest to the target on the
// modulo-256 circle, over all 16 entries. Over every pair it also pins the
// split of the big gap between +49 and -64 at a difference of 121.
static EncResult NearestDelta(uint8_t prev, uint8_t target) {
    EncResult best{0, prev};
    int bestDistance = 256;
    for (int i = 0; i < 16; ++i) {
        const uint8_t value = S(prev + Table[i]);
        const int gap = (target - value) & 0xFF;
        const int distance = std::min(gap, 256 - gap);
        if (distance < bestDistance) {
            best = {S(i), value};
            bestDistance = distance;
        }
    }
    return best;
}

TEST(Enc, AgreesWithABruteForceNearestDeltaSearchEverywhere) {
    for (int prev = 0; prev < 256; ++prev) {
        for (int target = 0; target < 256; ++target) {
            const EncResult got = Enc(S(prev), S(target));
            const EncResult want = NearestDelta(S(prev), S(target));
            ASSERT_EQ(got.index, want.index) << "prev " << prev << " target " << target;
            ASSERT_EQ(got.value, want.value);
        }
    }
}

// A second decoder, written from the layout table: byte 1's low nibble is
// sample 1, then each byte holds two samples, high nibble first.
static Bytes ReferenceDecode(const uint8_t block[BlockSize]) {
    int indexes[BlockSamples] = {};
    indexes[1] = block[1] & 0x0F;
    for (int k = 2; k <= 32; ++k) {
        indexes[2 * k - 2] = block[k] >> 4;
        indexes[2 * k - 1] = block[k] & 0x0F;
    }
    Bytes out(BlockSamples);
    out[0] = block[0] ^ 0x80;
    for (uint32_t i = 1; i < BlockSamples; ++i) out[i] = S(out[i - 1] + Table[indexes[i]]);
    return out;
}

static Bytes EncodeWav(const Bytes& wav) {
    Bytes block(BlockSize);
    EncodeWavBlock(wav, EncodeMode::Fast, block.data());
    return block;
}

static Bytes DecodeWav(const Bytes& block) {
    Bytes wav(BlockSamples);
    DecodeWavBlock(block.data(), wav.data());
    return wav;
}

TEST(Block, SilenceIsAllZeroBytesBothWays) {
    EXPECT_EQ(EncodeWav(Bytes(64, 0x80)), Bytes(33, 0));
    EXPECT_EQ(DecodeWav(Bytes(33, 0)), Bytes(64, 0x80));
}

TEST(Block, StepsAcrossTheWrapRatherThanDownward) {
    const Bytes block = Repeat({0x00, 0x07, 0x77, 0x30}, 29, 0);
    EXPECT_EQ(EncodeWav(Repeat({0x80, 0xE4}, 62, 0x1C)), block);
    // Values 0, 49, 98, -109, -100, then -100 held.
    EXPECT_EQ(DecodeWav(block), Repeat({0x80, 0xB1, 0xE2, 0x13}, 60, 0x1C));
}

TEST(Block, RampShowsTheNibbleOrder) {
    Bytes ramp(64);
    for (int i = 0; i < 64; ++i) ramp[i] = S(0x80 + 3 * i);
    Bytes expected = {0x00, 0x02};
    for (int r = 0; r < 10; ++r) expected.insert(expected.end(), {0x12, 0x21, 0x22});
    expected.push_back(0x12);
    const Bytes block = EncodeWav(ramp);
    EXPECT_EQ(block, expected);
    const Bytes decoded = DecodeWav(block);
    EXPECT_EQ(Bytes(decoded.begin(), decoded.begin() + 7), (Bytes{0x80, 0x84, 0x85, 0x89, 0x8D, 0x8E, 0x92}));
    for (int i = 0; i < 64; ++i) EXPECT_LE(std::abs(decoded[i] - ramp[i]), 1) << i;
}

TEST(Block, AdditionWrapsWithoutClamping) {
    Bytes block(33, 0);
    block[0] = 0x7F;
    block[1] = 0x01;
    EXPECT_EQ(DecodeWav(block)[1], 0x00);  // value -128, WAV byte 0x00
}

TEST(Block, HighNibbleOfByteOneIsIgnored) {
    Bytes block = Repeat({0x12, 0x03}, 31, 0x5A);
    const Bytes plain = DecodeWav(block);
    block[1] = 0xF3;
    EXPECT_EQ(DecodeWav(block), plain);
}

TEST(Block, DecoderAgreesWithTheLayoutTableOnRandomBlocks) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 500; ++trial) {
        Bytes block(33);
        for (uint8_t& b : block) b = S(rng());
        ASSERT_EQ(DecodeWav(block), ReferenceDecode(block.data())) << trial;
    }
}

TEST(Block, PositionsPastTheInputAreCodedAsSilence) {
    const Bytes head = Noise(10, 3);
    const Bytes block = EncodeWav(head);
    EXPECT_EQ(block, EncodeWav(Repeat(head, 54, 0x80)));
    const Bytes decoded = DecodeWav(block);
    EXPECT_EQ(Bytes(decoded.begin(), decoded.begin() + 10), EncReportedValues(head));
}

// The extent ends with the byte that holds the last value; 8183 values take
// 16 + 4191 + 29 bytes, as the games pack them.
TEST(Sample, BlockCountAndExtentEndAtTheLastValue) {
    const struct { uint32_t n, blocks, extent; } cases[] = {
        {0, 1, 16},   {1, 1, 17},   {2, 1, 18},   {3, 1, 19},     {4, 1, 19},        {5, 1, 20},
        {63, 1, 49},  {64, 1, 49},  {65, 2, 50},  {66, 2, 51},    {127, 2, 82},      {128, 2, 82},
        {129, 3, 83}, {8183, 128, 4236}, {8184, 128, 4236}, {65535, 1024, 33808},
    };
    for (auto c : cases) {
        EXPECT_EQ(BlockCount(c.n), c.blocks) << c.n;
        EXPECT_EQ(SampleExtent(c.n), c.extent) << c.n;
    }
}

TEST(Sample, ValuesFittingIsTheLongestSampleAScanFinds) {
    for (const SampleFormat& f : SampleFormats()) {
        uint32_t longest = 0;  // the scan: the last n whose bytes still fit
        for (uint32_t bytes = 0, n = 1; bytes <= 3000; ++bytes) {
            while (n <= f.maxValues && SampleBytes(f.kind, n) <= bytes) longest = n++;
            ASSERT_EQ(ValuesFitting(f.kind, bytes), longest) << f.name << " " << bytes;
        }
        EXPECT_EQ(ValuesFitting(f.kind, UINT32_MAX), f.maxValues) << f.name;
    }
}

TEST(Sample, WritesItsExtentAndNotOneByteMore) {
    for (uint32_t n : {1u, 2u, 3u, 64u, 65u, 100u, 8183u}) {
        const Bytes wav = Noise(n, n);
        Bytes dst(SampleExtent(n) + 40, 0xEE);
        ASSERT_EQ(EncodeSample(wav, dst), SampleExtent(n)) << n;
        EXPECT_EQ(Bytes(dst.begin() + SampleExtent(n), dst.end()), Bytes(40, 0xEE)) << n;
        Bytes decoded(n);
        DecodeSample(dst, 0, decoded);  // the cut-off tail of the last block reads as the rest
        Bytes whole(SampleExtent(n) + 33, 0);
        std::copy_n(dst.begin(), SampleExtent(n), whole.begin());
        Bytes decodedWhole(n);
        DecodeSample(whole, 0, decodedWhole);
        EXPECT_EQ(decoded, decodedWhole) << n;
    }
}

TEST(Sample, HeaderHoldsTheConstantBytesAndTheLength) {
    Bytes dst(SampleExtent(300), 0xEE);
    ASSERT_EQ(EncodeSample(Noise(300, 1), dst), dst.size());
    const Bytes header = {0x01, 0x00, 0x00, 0x00, 0x00, 0x40, 0xA4, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x01, 0x00, 0x00};
    EXPECT_EQ(Bytes(dst.begin(), dst.begin() + 16), header);
}

TEST(Sample, RefusesTooLongInputAndTooSmallDestinationWithoutWriting) {
    Bytes dst(SampleExtent(65535) + 33, 0xEE);
    EXPECT_EQ(EncodeSample(Bytes(65536, 0x80), dst), 0u);
    EXPECT_EQ(dst, Bytes(dst.size(), 0xEE));
    Bytes small(SampleExtent(65) - 1, 0xEE);
    EXPECT_EQ(EncodeSample(Bytes(65, 0x80), small), 0u);
    EXPECT_EQ(small, Bytes(small.size(), 0xEE));
}

// What each read over bytes that fails says: its code, and the offset, bytes
// and room that locate it.
TEST(Results, AFailedReadSaysWhereAndHowMuch) {
    const auto expect = [](const std::optional<CoreError>& e, CoreProblem code, uint64_t offset, uint64_t bytes,
                           uint64_t room) {
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->code, code);
        EXPECT_EQ(e->offset, offset);
        EXPECT_EQ(e->bytes, bytes);
        EXPECT_EQ(e->room, room);
    };
    const Bytes image(40, 0);
    expect(ReadSampleLength(image, 27).error, CoreProblem::PastEnd, 39, 2, 40);
    EXPECT_TRUE(ReadSampleLength(image, 26).Ok());
    expect(ReadSampleHeader(image, 25).error, CoreProblem::PastEnd, 25, 16, 40);
    expect(DecodeValues(image, 25).error, CoreProblem::PastEnd, 25, 16, 40);
    Bytes unknown(20, 0);
    unknown[SampleTypeOfs] = 7;
    expect(DecodeValues(unknown, 0).error, CoreProblem::UnknownKind, 0, 16, 0);
    Bytes tooLong(20, 0);  // uncompressed, more values than its 24-bit count
    PutLe32(&tooLong[SampleLengthOfs], 0x01000000);
    expect(DecodeValues(tooLong, 0).error, CoreProblem::TooLong, 0, 0x01000000, 0x00FFFFFF);
    expect(ReadStoredSample(tooLong).error, CoreProblem::TooLong, 0, 0x01000000, 0x00FFFFFF);
    expect(ReadStoredSample(Bytes(13, 0)).error, CoreProblem::PastEnd, 12, 2, 13);
    // Type 0 is the uncompressed kind; its values must all be there.
    const Result<StoredSample> empty = ReadStoredSample(Bytes(16, 0));
    ASSERT_TRUE(empty.Ok());
    EXPECT_EQ(empty.value.kind, SampleKind::Uncompressed);
    Bytes three(16, 0);
    PutLe32(&three[SampleLengthOfs], 3);
    const Result<StoredSample> plain = ReadStoredSample(three);
    ASSERT_TRUE(plain.Ok());
    EXPECT_EQ(plain.value.bytes, 19u);
    three.resize(18);
    expect(DecodeStored(plain.value, three).error, CoreProblem::PastEnd, 16, 3, 18);
    three.push_back(0x85);
    EXPECT_EQ(DecodeStored(plain.value, three).value, (Bytes{0x80, 0x80, 0x05}));
}
