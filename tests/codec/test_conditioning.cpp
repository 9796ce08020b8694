// Conditioning steps on exact values: what each keeps, and that the 8-bit
// scale goes through unchanged when nothing is asked.
#include <gtest/gtest.h>

#include "conditioning.h"

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
