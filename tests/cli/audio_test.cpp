// Audio conversion: mixdown, resampling, quantisation, and the reading of
// input files with and without conversion.
#include "audio.h"
#include "support.h"
#include "text.h"

namespace {

constexpr double EncoderRate = 10512;  // what the encoder's header declares

class CliAudio : public CliTest {};

TEST(CliAudioParts, MixDownAveragesAndQuantiseRoundsAndClamps) {
    std::vector<double> frames = {0.5, -0.5, 1.0, 0.0, -1.0, -1.0};
    EXPECT_EQ(MixDown(frames, 2), (std::vector<double>{0.0, 0.5, -1.0}));
    std::vector<double> values = {-1.0, -2.0, 0.0, 0.999, 2.0, 1.0 / 128, 0.4 / 128};
    EXPECT_EQ(Quantise(values), (Bytes{0, 0, 128, 255, 255, 129, 128}));
}

TEST_F(CliAudio, Stereo16BitAt44100KeepsItsDuration) {
    for (uint32_t frames : {44100u, 12345u, 1001u}) {
        std::string path = Path("in.wav");
        ASSERT_TRUE(WriteFileBytes(path, StereoSine16(frames, 440, 44100)));
        Bytes out = LoadSamples(path, EncoderRate, false);
        double expected = frames * EncoderRate / 44100;
        EXPECT_LE(std::abs(out.size() - expected), 1.0) << frames << " frames gave " << out.size();
    }
}

TEST_F(CliAudio, ASineStaysASineThroughResampling) {
    std::string path = Path("in.wav");
    ASSERT_TRUE(WriteFileBytes(path, StereoSine16(44100, 440, 44100)));
    Bytes out = LoadSamples(path, EncoderRate, false);
    EXPECT_NEAR(MeasureFrequency(out, EncoderRate), 440.0, 4.4);
    // Full scale of 20000/32768 on the 8-bit scale, give or take rounding.
    auto [lo, hi] = std::minmax_element(out.begin(), out.end());
    EXPECT_NEAR(*hi - 128, 78, 2);
    EXPECT_NEAR(128 - *lo, 78, 2);
}

TEST_F(CliAudio, EightBitMonoAtTheTargetRateComesBackUnchanged) {
    Bytes samples = Noise(3000, 7);
    std::string path = Path("in.wav");
    ASSERT_TRUE(WriteFileBytes(path, MakeWav(samples, 10512)));
    EXPECT_EQ(LoadSamples(path, EncoderRate, false), samples);
    // --raw takes the bytes whatever the rate; conversion resamples them.
    ASSERT_TRUE(WriteFileBytes(path, MakeWav(samples, 11050)));
    EXPECT_EQ(LoadSamples(path, EncoderRate, true), samples);
    EXPECT_NEAR(LoadSamples(path, EncoderRate, false).size(), 3000 * EncoderRate / 11050, 1.0);
}

TEST_F(CliAudio, RawRefusesWhatIsNot8BitMono) {
    std::string path = Path("in.wav");
    ASSERT_TRUE(WriteFileBytes(path, StereoSine16(100, 440, 44100)));
    try {
        LoadSamples(path, EncoderRate, true);
        FAIL() << "16-bit stereo accepted as raw";
    } catch (const CliFailure& e) {
        EXPECT_EQ(e.status, ExitFailure);
        EXPECT_NE(std::string(e.what()).find("8-bit mono"), std::string::npos) << e.what();
    }
}

TEST_F(CliAudio, WrittenWavCarriesTheRate) {
    std::string path = Path("out.wav");
    Bytes samples = {0, 128, 255};
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(WriteWav(f, samples, 10512));
    std::fclose(f);
    Bytes bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 47u);
    WavFile w = ParseWav(bytes);
    EXPECT_EQ(w.rate, 10512u);
    EXPECT_EQ(GetLe32(&bytes[28]), 10512u);  // bytes per second
    EXPECT_EQ(GetLe32(&bytes[40]), 3u);
    EXPECT_EQ(w.data, samples);
}

}  // namespace
