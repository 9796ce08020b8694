// Audio conversion: conditioning, resampling, quantisation, and the reading
// of input files with and without conversion.
#include <cstring>
#include <functional>
#include <numeric>

#include "audio.h"
#include "resample.h"
#include "support.h"
#include "text.h"
#include "words.h"

namespace {

constexpr double EncoderRate = 10512;  // what the encoder's header declares
constexpr double Pi = 3.14159265358979323846;

class CliAudio : public CliTest {
protected:
    LoadedAudio Load(const Bytes& wav, const ConditionArgs& args = {}, bool raw = false) {
        std::string path = Path("in.wav");
        EXPECT_TRUE(WriteFileBytes(path, wav));
        return LoadSamples(path, EncoderRate, raw, args);
    }
};

// A 32-bit float WAV (format tag 3) of interleaved frames from `frame(i, c)`.
Bytes FloatWav(uint32_t frames, uint16_t channels, uint32_t rate, std::function<double(uint32_t, int)> frame) {
    Bytes data(size_t(frames) * channels * 4);
    for (uint32_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            float v = static_cast<float>(frame(i, c));
            uint32_t bits;
            std::memcpy(&bits, &v, 4);
            PutLe32(&data[(size_t(i) * channels + c) * 4], bits);
        }
    Bytes wav = MakeWav(data, rate, channels, 32);
    PutLe16(&wav[20], 3);
    return wav;
}

double Sine(uint32_t i, double hz, double amplitude) { return amplitude * std::sin(2 * Pi * hz * i / EncoderRate); }

int Peak(const Bytes& s) {
    int peak = 0;
    for (uint8_t b : s) peak = std::max(peak, std::abs(b - 128));
    return peak;
}

double Mean(const Bytes& s) { return std::accumulate(s.begin(), s.end(), 0.0) / double(s.size()) - 128; }

ConditionArgs With(std::function<void(ConditionArgs&)> set) {
    ConditionArgs args;
    set(args);
    return args;
}

// Each row: a generated file, how it is read, the warnings expected (the
// encoding check in `mode` included when given) and what the samples show,
// or the refusal's status and a piece of its message.
TEST_F(CliAudio, ConditioningTable) {
    auto outOfPhase = FloatWav(2000, 2, 10512, [](uint32_t i, int c) { return (c ? -0.5 : 0.5) * std::sin(i / 5.0); });
    auto offset = FloatWav(2000, 1, 10512, [](uint32_t i, int) { return Sine(i, 300, 0.3) + 0.1; });
    auto overRange = FloatWav(2000, 1, 10512, [](uint32_t i, int) { return Sine(i, 300, 1.5); });
    auto loudHigh = FloatWav(2000, 1, 10512, [](uint32_t i, int) { return Sine(i, 4000, 0.99); });
    auto padded = FloatWav(3500, 1, 10512, [](uint32_t i, int) { return i >= 2000 && i < 3000 ? Sine(i, 300, 0.5) : 0; });
    Bytes noise = Noise(1000, 3);
    using W = AudioWarningCode;
    struct Row {
        const char* name;
        Bytes file;
        ConditionArgs args;
        bool raw;
        std::optional<EncodeMode> mode;
        std::vector<W> warnings;
        std::function<void(const LoadedAudio&)> check;
        int status = 0;
        const char* says = "";
    } rows[] = {
        {"out of phase, mixed", outOfPhase, {}, false, {}, {W::MixLostEnergy},
         [](auto& a) { EXPECT_EQ(Peak(a.samples), 0); }},
        {"out of phase, left", outOfPhase, With([](auto& a) { a.channel = "left"; }), false, {}, {},
         [](auto& a) { EXPECT_EQ(Peak(a.samples), 64); }},
        {"DC offset kept", offset, {}, false, {}, {W::DcOffset},
         [](auto& a) { EXPECT_NEAR(Mean(a.samples), 12.8, 0.5); }},
        {"DC offset removed", offset, With([](auto& a) { a.dcRemove = true; }), false, {}, {},
         [](auto& a) { EXPECT_NEAR(Mean(a.samples), 0, 0.5); EXPECT_LE(std::abs(a.samples[0] - 128), 1); }},
        {"over range", overRange, {}, false, {}, {W::Clipping}, [](auto& a) { EXPECT_EQ(Peak(a.samples), 128); }},
        {"over range, normalised", overRange, With([](auto& a) { a.normalizeDb = -1; }), false, {}, {},
         [](auto& a) { EXPECT_EQ(Peak(a.samples), 114); }},
        {"loud high tone, fast", loudHigh, {}, false, EncodeMode::Fast, {W::PoorEncoding}, nullptr},
        {"loud high tone, quieter", loudHigh, With([](auto& a) { a.gainDb = -12; }), false, EncodeMode::Fast, {}, nullptr},
        {"raw at its rate within 1 %", MakeWav(noise, 10600), {}, true, {}, {},
         [&](auto& a) { EXPECT_EQ(a.samples, noise); EXPECT_EQ(a.rate, EncoderRate); }},
        {"raw at another rate", MakeWav(noise, 22050), {}, true, {}, {}, nullptr, ExitFailure, "--keep-rate"},
        {"raw with a conditioning option", MakeWav(noise, 10512), With([](auto& a) { a.trimDb = -50; }), true, {}, {},
         nullptr, ExitUsage, "--raw"},
        {"raw at another rate, kept", MakeWav(noise, 22050), With([](auto& a) { a.keepRate = true; }), true, {}, {},
         [&](auto& a) { EXPECT_EQ(a.samples, noise); EXPECT_EQ(a.rate, 22050); }},
        {"leading silence, trimmed", padded, With([](auto& a) { a.trimDb = -50; }), false, {}, {},
         [](auto& a) { EXPECT_NEAR(a.samples.size(), 1000, 3); EXPECT_EQ(Peak(a.samples), 64); }},
        {"stereo at 44.1 kHz, own rate", StereoSine16(4410, 440, 44100), With([](auto& a) { a.keepRate = true; }),
         false, {}, {}, [](auto& a) { EXPECT_EQ(a.samples.size(), 4410u); EXPECT_EQ(a.inputChannels, 2); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LoadedAudio a;
        try {
            a = Load(row.file, row.args, row.raw);
        } catch (const CliFailure& e) {
            EXPECT_EQ(e.status, row.status);
            EXPECT_NE(std::string(e.what()).find(row.says), std::string::npos) << e.what();
            continue;
        }
        EXPECT_EQ(row.status, 0);
        if (row.mode) CheckEncoding(a.samples, *row.mode, a.warnings);
        std::vector<W> codes;
        for (const AudioWarning& w : a.warnings) codes.push_back(w.code);
        EXPECT_EQ(codes, row.warnings) << (a.warnings.empty() ? "" : WarningText(a.warnings[0]));
        if (row.check) row.check(a);
    }
}

// With every option off the samples are the plain mean of the channels,
// resampled and rounded, as before conditioning existed.
TEST_F(CliAudio, NoOptionsGiveThePlainConversion) {
    Bytes wav = StereoSine16(12345, 440, 44100);
    std::vector<double> mono(12345);
    for (size_t i = 0; i < mono.size(); ++i)
        mono[i] = (int16_t(GetLe16(&wav[44 + 4 * i])) + int16_t(GetLe16(&wav[46 + 4 * i]))) / 65536.0;
    Bytes expected;
    for (double x : ResampleOrFail(mono, 44100, EncoderRate))
        expected.push_back(uint8_t(std::clamp(std::lround(x * 128) + 128, 0L, 255L)));
    LoadedAudio a = Load(wav);
    EXPECT_EQ(a.samples, expected);
    EXPECT_TRUE(a.warnings.empty());
    EXPECT_EQ(a.inputRate, 44100);
}

// A rate libsoxr refuses comes back as its reason, with no samples; equal
// rates in whole Hz leave the samples as they are.
TEST(Resample, RefusalIsReturnedAndEqualRatesKeepTheSamples) {
    const std::vector<double> in = {0.5, -0.25, 0.125};
    const Resampled refused = Resample(in, 0, EncoderRate);
    EXPECT_FALSE(refused.error.empty());
    EXPECT_TRUE(refused.samples.empty());
    const Resampled kept = Resample(in, 10512.4, 10511.6);
    EXPECT_EQ(kept.samples, in);
    EXPECT_TRUE(kept.error.empty());
}

TEST_F(CliAudio, Stereo16BitAt44100KeepsItsDuration) {
    for (uint32_t frames : {44100u, 12345u, 1001u}) {
        std::string path = Path("in.wav");
        ASSERT_TRUE(WriteFileBytes(path, StereoSine16(frames, 440, 44100)));
        Bytes out = LoadSamples(path, EncoderRate, false, {}).samples;
        double expected = frames * EncoderRate / 44100;
        EXPECT_LE(std::abs(out.size() - expected), 1.0) << frames << " frames gave " << out.size();
    }
}

TEST_F(CliAudio, ASineStaysASineThroughResampling) {
    std::string path = Path("in.wav");
    ASSERT_TRUE(WriteFileBytes(path, StereoSine16(44100, 440, 44100)));
    Bytes out = LoadSamples(path, EncoderRate, false, {}).samples;
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
    EXPECT_EQ(LoadSamples(path, EncoderRate, false, {}).samples, samples);
    // Conversion resamples another rate.
    ASSERT_TRUE(WriteFileBytes(path, MakeWav(samples, 11050)));
    EXPECT_NEAR(LoadSamples(path, EncoderRate, false, {}).samples.size(), 3000 * EncoderRate / 11050, 1.0);
}

TEST_F(CliAudio, RawRefusesWhatIsNot8BitMono) {
    std::string path = Path("in.wav");
    ASSERT_TRUE(WriteFileBytes(path, StereoSine16(100, 440, 44100)));
    try {
        LoadSamples(path, EncoderRate, true, {});
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
