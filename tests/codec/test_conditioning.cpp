// Conditioning steps on exact values: what each keeps, and that the 8-bit
// scale goes through unchanged when nothing is asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "conditioning.h"
#include "heard.h"

using Samples = std::vector<double>;

TEST(Conditioning, EveryByteSurvivesTheDefaultPath) {
    Samples in;
    std::vector<uint8_t> bytes;
    for (int b = 0; b < 256; ++b) {
        in.push_back((b - 128) / 128.0);
        bytes.push_back(uint8_t(b));
    }
    AudioWarnings warnings;
    const Samples mono = ConditionBeforeResample(in, 1, 10512, {}, warnings);
    EXPECT_EQ(Quantise(ConditionAfterResample(mono, {}), warnings), bytes);
    EXPECT_TRUE(warnings.empty());
}

// Against a rounding by comparisons alone, exact on every platform (the
// Windows runtime's lround takes -0.49999999999999994 to -1), on random
// values, on every half step and on the doubles next to each; values beyond
// any step clip to the end of their side, NaN to 0.
TEST(Conditioning, QuantiseRoundsHalfAwayFromZero) {
    const auto plain = [](double x) {
        const double v = x * 128.0;  // exact: a power of two
        for (long k = -129; k <= 128; ++k)
            if (v >= 0 ? k - 0.5 <= v && v < k + 0.5 : k - 0.5 < v && v <= k + 0.5)
                return static_cast<uint8_t>(std::clamp(k + 128, 0L, 255L));
        return static_cast<uint8_t>(v < 0 ? 0 : 255);
    };
    const double inf = std::numeric_limits<double>::infinity();
    for (auto [x, expected] : {std::pair{inf, 255}, {1e300, 255}, {-inf, 0}, {-1e300, 0}, {std::nan(""), 0}})
        EXPECT_EQ(QuantiseValue(x), expected) << x;
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> any(-1.2, 1.2);
    Samples values = {0, -0.0, 1, -1, 2e6, -2e6};
    for (int i = 0; i < 100000; ++i) values.push_back(any(rng));
    for (int half = -260; half <= 260; ++half) {
        const double v = (half + 0.5) / 128.0;
        values.insert(values.end(), {v, std::nextafter(v, -2.0), std::nextafter(v, 2.0)});
    }
    for (double x : values) ASSERT_EQ(QuantiseValue(x), plain(x)) << x;
}

TEST(Conditioning, StepsOnSmallSignals) {
    AudioWarnings warnings;
    const Samples stereo = {0.5, -0.25, 0.25, 0.5};
    EXPECT_EQ(ChooseChannel(stereo, 2, ChannelChoice::Right, warnings), (Samples{-0.25, 0.5}));
    EXPECT_EQ(ChooseChannel(stereo, 1, ChannelChoice::Right, warnings), stereo);
    // -50 dBFS is 0.00316: quieter edges go, quiet samples inside stay.
    EXPECT_EQ(Trim(Samples{0, 0.003, 0.004, 0, -0.5, 0.001, 0}, -50), (Samples{0.004, 0, -0.5}));
    EXPECT_TRUE(Trim(Samples{0.001, -0.001}, -50).empty());
    EXPECT_EQ(Normalize(Samples{0, 0}, -1), (Samples{0, 0}));
    EXPECT_NEAR(Normalize(Samples{0.1, -0.5}, -6.0206)[1], -0.5, 1e-4);
    for (double x : RemoveDc(Samples(500, 0.3), 10512)) EXPECT_NEAR(x, 0, 1e-12);
    EXPECT_TRUE(warnings.empty());
    EXPECT_FALSE(CheckRawRate(10600, 10512, warnings));
    EXPECT_TRUE(CheckRawRate(11050, 10512, warnings));
}

// One pipeline for every front end: the steps in order around the caller's
// resampler, and nothing when the resampler refuses.
TEST(Conditioning, ThePipelineRunsTheStepsAroundTheResampler) {
    const Samples stereo = {0.5, 0.25, -0.5, -0.25, 0.001, 0.001, 0.75, 0.25, 0.0, 0.0};
    ConditionOptions o;
    o.trimDb = -50;
    o.gainDb = 6;
    AudioWarnings expectedWarnings, warnings;
    const Samples mono = ConditionBeforeResample(stereo, 2, 8000, o, expectedWarnings);
    Samples doubled;
    for (double x : mono) doubled.insert(doubled.end(), {x, x});
    const std::vector<uint8_t> expected = Quantise(ConditionAfterResample(doubled, o), expectedWarnings);
    const Resampler twice = [](std::span<const double> in, double from, double to, Samples& out) {
        EXPECT_EQ(from, 8000);
        EXPECT_EQ(to, 16000);
        for (double x : in) out.insert(out.end(), {x, x});
        return true;
    };
    EXPECT_EQ(ConditionSound(stereo, 2, 8000, 16000, o, twice, warnings), expected);
    ASSERT_EQ(warnings.size(), expectedWarnings.size());
    const Resampler refuses = [](std::span<const double>, double, double, Samples&) { return false; };
    EXPECT_FALSE(ConditionSound(stereo, 2, 8000, 16000, o, refuses, warnings));
}

// The grade is the one rule behind the warning and every front end's word
// for an encoding's quality.
TEST(Conditioning, TheGradeDecidesThePoorEncodingWarning) {
    const struct {
        double snrDb;
        int peak;
        uint64_t squared;
        QualityGrade grade;
    } cases[] = {{INFINITY, 0, 0, QualityGrade::Exact},   {30, 64, 5, QualityGrade::Good},
                 {45, 65, 5, QualityGrade::Fair},         {25.2, 77, 5, QualityGrade::Fair},
                 {10, 20, 5, QualityGrade::Fair},         {9.99, 20, 5, QualityGrade::Poor}};
    for (const auto& c : cases) {
        const EncodeQuality q{.snrDb = c.snrDb, .peakError = c.peak, .squaredError = c.squared, .blocks = 1, .worstBlocks = 0};
        EXPECT_EQ(GradeOf(q), c.grade) << c.snrDb;
        AudioWarnings warnings;
        CheckEncoding(q, EncodeMode::Best, warnings);
        EXPECT_EQ(warnings.size(), c.grade == QualityGrade::Poor ? 1u : 0u) << GradeName(c.grade);
    }
}

// The loudness as heard, brought to a target: a quiet tone reaches it within
// a tenth of a dB, its values neither clipped nor its render wrapped; a quiet
// sound with one full-scale click can gain nothing and says how far short it
// stays; a loud one is brought down. The warning comes from the pipeline.
TEST(Conditioning, LoudnessGainReachesTheTargetOrStopsAtTheClip) {
    constexpr double Rate = 10512, Target = -24;
    Samples tone(8000), click(8000);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = click[i] = 0.02 * std::sin(i * 0.3);
    click[4000] = 1.0;
    const LoudnessGain quiet = LoudnessGainFor(tone, Rate, Target, GameFamily::Third);
    ASSERT_TRUE(quiet.heardDb);
    EXPECT_NEAR(*quiet.heardDb, Target, 0.1);
    EXPECT_FALSE(quiet.limited);
    AudioWarnings clipped;
    const std::vector<uint8_t> gained = Quantise(ApplyGain(tone, quiet.gainDb), clipped);
    EXPECT_TRUE(clipped.empty());
    EXPECT_EQ(HeardRender(PerfectValues(gained, 10512 * 1024), GameFamily::Third).figures.wrapped, 0u);
    const LoudnessGain stuck = LoudnessGainFor(click, Rate, Target, GameFamily::Third);
    EXPECT_TRUE(stuck.limited);
    EXPECT_LE(stuck.gainDb, 20 * std::log10(127.0 / 128) + 1e-9);
    const LoudnessGain down = LoudnessGainFor(ApplyGain(tone, 30), Rate, -30, GameFamily::Third);
    EXPECT_LT(down.gainDb, 0);
    EXPECT_NEAR(*down.heardDb, -30, 0.1);
    EXPECT_FALSE(LoudnessGainFor(Samples(100, 0.0), Rate, Target, GameFamily::Third).heardDb);

    ConditionOptions o;
    o.loudnessDb = Target;
    AudioWarnings warnings;
    const std::vector<uint8_t> clicked = ConditionResampled(click, Rate, o, warnings);
    ASSERT_EQ(warnings.size(), 1u);  // no Clipping
    EXPECT_EQ(warnings[0].code, AudioWarningCode::LoudnessShort);
    EXPECT_EQ(warnings[0].targetDb, Target);
    EXPECT_NEAR(warnings[0].heardDb, *stuck.heardDb, 1e-9);
    EXPECT_EQ(*std::max_element(clicked.begin(), clicked.end()), 255);  // the click at +127, no further
}
