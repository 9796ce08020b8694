// MeasureEncoding against an encode-decode round trip done by hand, and the
// best coder against the reference search on every block of the quality set.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "crylib.h"
#include "quality.h"
#include "reference.h"
#include "testdata.h"

namespace {

// The error figures of EncodeSample + DecodeSample, computed plainly.
struct RoundTrip {
    uint64_t squared = 0;
    int peak = 0;
    double signal = 0;
};

RoundTrip Measure(const Bytes& wav, EncodeMode mode) {
    Bytes sample(SampleExtent(static_cast<uint32_t>(wav.size())));
    EXPECT_EQ(EncodeSample(wav, sample, mode), sample.size());
    Bytes played(wav.size());
    DecodeSample(sample, 0, played);
    RoundTrip r;
    for (size_t i = 0; i < wav.size(); ++i) {
        const int d = played[i] - wav[i];  // the sign flip cancels out of a difference
        r.squared += static_cast<uint64_t>(d * d);
        r.peak = std::max(r.peak, std::abs(d));
        r.signal += (wav[i] - 128.0) * (wav[i] - 128.0);
    }
    return r;
}

}  // namespace

TEST(MeasureEncoding, AgreesWithARoundTripThroughTheSampleFormat) {
    const Bytes wav = DecayingChirp(1000, 2500, 200);  // 15 full blocks and 40 samples
    for (EncodeMode mode : {EncodeMode::Fast, EncodeMode::Best}) {
        const EncodeQuality q = MeasureEncoding(wav, mode);
        const RoundTrip r = Measure(wav, mode);
        EXPECT_EQ(q.blocks, 16u);
        EXPECT_EQ(q.squaredError, r.squared);
        EXPECT_EQ(q.peakError, r.peak);
        EXPECT_DOUBLE_EQ(q.snrDb, 10 * std::log10(r.signal / static_cast<double>(r.squared)));
    }
}

TEST(MeasureEncoding, CountsTheBlocksEachModeLoses) {
    const Bytes wav = Sweep(3000, 200, 4000, 11050, 127);
    const auto blocks = BlocksOf(wav);
    uint32_t greedyLoses = 0;
    for (size_t b = 0; b < blocks.size(); ++b) {
        uint8_t fast[BlockSize];
        EncodeBlock(blocks[b].data(), fast);
        const int count = CountIn(wav.size(), b);
        if (BlockError(blocks[b].data(), count, fast) > ReferenceError(blocks[b].data(), count)) greedyLoses++;
    }
    EXPECT_GT(greedyLoses, 0u);
    EXPECT_EQ(MeasureEncoding(wav, EncodeMode::Fast).worstBlocks, greedyLoses);
    EXPECT_EQ(MeasureEncoding(wav, EncodeMode::Best).worstBlocks, 0u);
}

TEST(MeasureEncoding, ExactCodingHasInfiniteRatio) {
    const EncodeQuality q = MeasureEncoding(Bytes(200, 0x80), EncodeMode::Fast);
    EXPECT_EQ(q.squaredError, 0u);
    EXPECT_EQ(q.worstBlocks, 0u);
    EXPECT_TRUE(std::isinf(q.snrDb) && q.snrDb > 0);
    EXPECT_EQ(MeasureEncoding({}, EncodeMode::Best).blocks, 0u);
}

TEST(MeasureEncoding, MeasuresSoundsTooLongToStore) {
    EXPECT_EQ(MeasureEncoding(Tone(MaxSampleLength + 100, 440), EncodeMode::Fast).blocks, 1026u);
}

// No block can do better than the reference, so equal totals mean every
// block reaches it.
TEST(QualitySet, BestReachesTheReferenceOnEveryBlock) {
    for (const NamedSound& sound : QualitySet()) {
        const auto blocks = BlocksOf(sound.wav);
        uint64_t reference = 0;
        for (size_t b = 0; b < blocks.size(); ++b)
            reference += ReferenceError(blocks[b].data(), CountIn(sound.wav.size(), b));
        EXPECT_EQ(MeasureEncoding(sound.wav, EncodeMode::Best).squaredError, reference) << sound.name;
    }
}
