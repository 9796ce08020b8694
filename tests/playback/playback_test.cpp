// The games' playback model: each step against the engine's numbers, and
// renders of generated samples whose inputs expose one mistake each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "heard.h"
#include "playback.h"
#include "quality.h"
#include "samplekind.h"
#include "testdata.h"

namespace {

constexpr uint8_t CryVoice = 0x20, PlainVoice = 0x00, ReverseCryVoice = 0x30, ReversePlainVoice = 0x10;
constexpr uint32_t Rate = 10512 * 1024;
const CryMode& Mode(int number) { return *FindCryMode(GameFamily::Third, number); }
const PlaybackOptions Dry{0, false};

// A sample of `kind` holding n values of `value` (signed), then the loop value.
Bytes Dc(uint32_t n, int value, SampleKind kind = SampleKind::Uncompressed, uint32_t rate = Rate) {
    return MakeSampleFile(kind, Bytes(n, static_cast<uint8_t>(value + 128)), rate);
}

Playback Render(const Bytes& sample, const CryMode& mode, const PlaybackOptions& o = Dry, uint8_t voice = PlainVoice) {
    return RenderCry({voice, sample}, mode, o);
}

// Output positions a voice plays n values at pitch p: until its position,
// stepping by freq * 627 / 2^23, reaches n.
size_t Positions(uint32_t n, uint32_t rateField, int pitch) {
    const uint64_t step = uint64_t{ChannelFrequency(rateField, PitchOf(pitch))} * 627;
    return static_cast<size_t>(((uint64_t{n} << 23) + step - 1) / step);
}

// Frames a release audibly lasts from full level, counted as the note says:
// the level times release / 256 each frame until it reaches 0.
int ReleaseFrames(int release) {
    int frames = 0;
    for (int level = 255; (level = level * release >> 8) > 0;) ++frames;
    return frames;
}

// The note's figures per mode of the third game: semitones and the peak of
// a full-scale sample (volume 120: 47 of 128; 90: 34; 70: 26; chorus twice;
// faint's pan of 25 gives 46).
struct Expected {
    double semitones;
    int peak;
};
constexpr Expected ThirdExpected[] = {{0, 47},      {0, 47},     {0.875, 68},   {1.4375, 68}, {0.875, 68},
                                      {-3.1875, 46}, {0.516, 52}, {-2, 47},      {1, 47},      {-0.25, 47},
                                      {-0.25, 47},  {-1.8125, 47}, {-1.8125, 47}};

}  // namespace

TEST(PlaybackSteps, PitchKeyAndTuneGiveEachModesSemitones) {
    for (const CryMode& m : CryModes(GameFamily::Third)) {
        const Pitch p = PitchOf(m.pitch);
        EXPECT_NEAR((p.key - 60) + p.tune / 64.0, ThirdExpected[m.number].semitones, 0.001) << m.name;
    }
    // Faint: key 56, tune 52; without the tune's halving it would be 40.
    EXPECT_EQ(PitchOf(14440).key, 56);
    EXPECT_EQ(PitchOf(14440).tune, 52);
    EXPECT_EQ(ChannelFrequency(Rate, PitchOf(15360)), 10512u);
    EXPECT_EQ(ChannelFrequency(22050 * 1024, PitchOf(15360)), 22050u);
    // -3.1875 is key -4 and fine 208/256 towards -3, truncated to whole Hz.
    const double f4 = std::exp2(-4 / 12.0), f3 = std::exp2(-3 / 12.0);
    EXPECT_EQ(ChannelFrequency(Rate, PitchOf(14440)), static_cast<uint32_t>(10512 * (f4 + (f3 - f4) * 208 / 256)));
    // A negative tune borrows from the key: -1.8125 is key -2 and fine 48.
    const double f2 = std::exp2(-2 / 12.0), f1 = std::exp2(-1 / 12.0);
    EXPECT_EQ(ChannelFrequency(Rate, PitchOf(15000)), static_cast<uint32_t>(10512 * (f2 + (f1 - f2) * 48 / 256)));
}

TEST(PlaybackSteps, ChorusTuneWrapsInSevenBits) {
    EXPECT_EQ(ChorusTune(-8, 20), 12);   // encounter: +0.3125
    EXPECT_EQ(ChorusTune(-8, 192), 56);  // echo start: 248 wraps to 120, a semitone above
    EXPECT_EQ(ChorusTune(-31, 192), 33); // echo end
    EXPECT_EQ(ChorusTune(50, 20), -58);  // past the top of the tune byte
}

TEST(PlaybackSteps, VolumesAndLevels) {
    EXPECT_EQ(ChannelVolumesAt(255, 120, 0).right, 96);
    EXPECT_EQ(ChannelVolumesAt(255, 120, 0).left, 94);
    EXPECT_GT(ChannelVolumesAt(255, 120, 25).right, ChannelVolumesAt(255, 120, 25).left);
    EXPECT_EQ(ChannelVolumesAt(0, 120, 0).right, 0);
    EXPECT_EQ(NextLevel(255, 0), 0);
    EXPECT_EQ(NextLevel(255, 225), 224);
    EXPECT_NEAR(ReleaseFrames(225), 30, 2);
    EXPECT_NEAR(ReleaseFrames(200), 18, 2);
    EXPECT_NEAR(ReleaseFrames(100), 5, 1);
    EXPECT_EQ(Interpolate(-100, 100, 1u << 22), 0);
    EXPECT_EQ(Interpolate(10, 20, 0), 10);
    EXPECT_EQ(Interpolate(127, -128, (1u << 23) - 1), -128);
}

TEST(PlaybackModes, FamiliesAndTheirTables) {
    EXPECT_EQ(FamilyOfCode("AXVE"), GameFamily::First);
    EXPECT_EQ(FamilyOfCode("AXPF"), GameFamily::First);
    EXPECT_EQ(FamilyOfCode("BPEE"), GameFamily::Third);
    EXPECT_EQ(FamilyOfCode("BPRE"), GameFamily::Last);
    EXPECT_EQ(FamilyOfCode("BPGD"), GameFamily::Last);
    EXPECT_EQ(FamilyOfCode("BRVX"), GameFamily::Third);
    EXPECT_EQ(FamilyOfCode(""), GameFamily::Third);
    EXPECT_EQ(CryModes(GameFamily::First).size(), 6u);
    EXPECT_EQ(CryModes(GameFamily::Last).size(), 13u);
    EXPECT_EQ(FindCryMode(GameFamily::Third, "echo-end")->volume, 70);
    EXPECT_EQ(FindCryMode(GameFamily::Last, "echo-end")->volume, 90);
    EXPECT_EQ(FindCryMode(GameFamily::First, "encounter")->length, 30);
    EXPECT_EQ(FindCryMode(GameFamily::First, 6), nullptr);
    EXPECT_EQ(FindCryMode(GameFamily::Third, "weak doubles"), nullptr);
    for (GameFamily f : {GameFamily::First, GameFamily::Third, GameFamily::Last})
        for (const CryMode& m : CryModes(f)) {
            EXPECT_EQ(FindCryMode(f, m.name), &m);
            EXPECT_EQ(FindCryMode(f, m.number), &m);
            EXPECT_TRUE(f != GameFamily::First || !m.reverse) << m.name;
        }
}

// A sample longer than any hold: the hold and release alone end it.
TEST(PlaybackRender, HoldAndReleaseLastTheirFramesExactly) {
    const Bytes dc = Dc(60000, 100);
    for (const CryMode& m : CryModes(GameFamily::Third)) {
        const Playback p = Render(dc, m);
        EXPECT_EQ(p.samples.size(), size_t(m.length + ReleaseFrames(m.release)) * FrameSamples) << m.name;
        EXPECT_TRUE(p.figures.cut) << m.name;
    }
    // Normal mode: 140 frames at one value, 37 = (95 x 100) >> 8, then nothing.
    const Playback normal = Render(dc, Mode(0));
    EXPECT_TRUE(std::all_of(normal.samples.begin(), normal.samples.end(), [](int8_t v) { return v == 37; }));
    EXPECT_NEAR(normal.figures.secondsHeard, 140 / FramesPerSecond, 1e-9);
    // Doubles: full level for 20 frames, then each frame quieter.
    const Playback doubles = Render(dc, Mode(1));
    EXPECT_EQ(doubles.samples[20 * FrameSamples - 1], 37);
    EXPECT_LT(doubles.samples[20 * FrameSamples], 37);
    EXPECT_LT(doubles.samples[21 * FrameSamples], doubles.samples[20 * FrameSamples]);
}

// Where each mode's note leaves a sample, against the render itself: one
// value short of the reach the sample ends first, at the reach it is cut.
TEST(PlaybackRender, ReachInModeIsWhereTheRenderCuts) {
    for (uint32_t rate : {Rate, 13379u * 1024, 22050u * 1024})
        for (const CryMode& m : CryModes(GameFamily::Third)) {
            if (m.chorus != 0 || m.reverse) continue;  // the reach follows the first voice, forwards
            const NoteReach r = ReachInMode(rate, m);
            EXPECT_EQ(r.held == r.ended, m.release == 0) << m.name;
            EXPECT_FALSE(Render(Dc(uint32_t(r.ended - 1), 50, SampleKind::Uncompressed, rate), m).figures.cut) << m.name;
            EXPECT_TRUE(Render(Dc(uint32_t(r.ended), 50, SampleKind::Uncompressed, rate), m).figures.cut) << m.name;
        }
    // Normal mode plays the sample at its own rate for 140 frames.
    const NoteReach normal = ReachInMode(Rate, Mode(0));
    EXPECT_NEAR(double(normal.ended) / 10512, 140 / FramesPerSecond, 1.0 / 10512);
    EXPECT_NEAR(double(ReachInMode(Rate, Mode(1)).held), normal.held / 7.0, 1);  // doubles holds 20 frames of 140
}

// A sample shorter than any hold: its end stops it, mid-frame, after as many
// output positions as its pitch takes; its peak is the mode's gain.
TEST(PlaybackRender, DurationPitchAndGainOfEachMode) {
    const Bytes full = Dc(1000, 127);
    const size_t own = Positions(1000, Rate, 15360);
    for (const CryMode& m : CryModes(GameFamily::Third)) {
        const Playback p = Render(full, m);
        EXPECT_FALSE(p.figures.cut) << m.name;
        EXPECT_EQ(p.samples.size(), Positions(1000, Rate, m.pitch)) << m.name;
        const double semitones = 12 * std::log2(double(own) / p.samples.size());
        EXPECT_NEAR(semitones, ThirdExpected[m.number].semitones, 0.02) << m.name;
        EXPECT_EQ(p.figures.peak, ThirdExpected[m.number].peak) << m.name;
        EXPECT_NEAR(p.figures.secondsStored, 1000 / 10512.0, 1e-9);
    }
    // The sample's own rate is the truth: at 22050 Hz the same values end sooner.
    EXPECT_EQ(Render(Dc(1000, 127, SampleKind::Uncompressed, 22050 * 1024), Mode(0)).samples.size(),
              Positions(1000, 22050 * 1024, 15360));
}

TEST(PlaybackRender, ReverseStartsAtTheLastValueTheLengthCounts) {
    Bytes ramp(300);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(128 - 100 + i * 2 / 3);  // -100 .. 99
    const Bytes sample = MakeSampleFile(SampleKind::Uncompressed, ramp, Rate);
    const Playback back = Render(sample, Mode(0), Dry, ReversePlainVoice);
    const Playback ahead = Render(sample, Mode(0), Dry, PlainVoice);
    // 95 x 99 >> 8: value 299, not the loop value 0 after it.
    EXPECT_EQ(back.samples.front(), 36);
    EXPECT_EQ(ahead.samples.front(), 95 * -100 >> 8);
    EXPECT_EQ(back.samples.size(), ahead.samples.size());
    EXPECT_EQ(back.samples.size(), Positions(300, Rate, 15360));
    EXPECT_LT(back.samples[back.samples.size() - 3], -30);  // it ends near value 0
    // The reverse table's compressed entry plays the same values backwards.
    const Bytes coded = MakeSampleFile(SampleKind::Compressed, Bytes(300, 0x90), Rate);
    EXPECT_EQ(Render(coded, Mode(4), Dry, ReverseCryVoice).samples,
              Render(Dc(300, 16), Mode(4), Dry, ReversePlainVoice).samples);
}

TEST(PlaybackRender, ChorusAddsASecondVoiceAtTheSameVolume) {
    const Playback p = Render(Dc(1000, 100), Mode(4));  // echo start, chorus a semitone up
    EXPECT_EQ(p.samples.front(), 2 * (70 * 100 >> 8));
    // The chorus voice ends first: after it, one voice plays on.
    EXPECT_EQ(p.samples.size(), Positions(1000, Rate, 15600));
    const size_t chorusEnd = static_cast<size_t>(std::ceil(1000.0 * (1 << 23) /
                                                           (ChannelFrequency(Rate, {61, 56}) * 627.0)));
    EXPECT_EQ(p.samples[chorusEnd - 3], 2 * (70 * 100 >> 8));
    EXPECT_EQ(p.samples[chorusEnd], 70 * 100 >> 8);
}

TEST(PlaybackRender, SumsWrapInsteadOfClipping) {
    const CryMode loud{0, "loud", 140, 0, 15360, 20, 127, 0, false};
    const Playback p = Render(Dc(20000, 127), loud, {50, false});
    EXPECT_GT(p.figures.wrapped, 0u);
    EXPECT_TRUE(std::any_of(p.samples.begin(), p.samples.end(), [](int8_t v) { return v < 0; }));
    EXPECT_EQ(Render(Dc(20000, 127), Mode(0), {50, false}).figures.wrapped, 0u);
}

TEST(PlaybackRender, EchoStartsEachFrameFromSixAndSevenFramesEarlier) {
    const Playback p = Render(Dc(60000, 100), Mode(0), {50, false});
    EXPECT_EQ(p.samples[5 * FrameSamples], 37);
    EXPECT_EQ(p.samples[6 * FrameSamples], 37 + (2 * 37 * 50 >> 9));
    EXPECT_EQ(p.samples[7 * FrameSamples], 37 + (4 * 37 * 50 >> 9));
    // After the cut the echo rings on, then dies away.
    EXPECT_GT(p.samples.size(), 147u * FrameSamples);
    EXPECT_GT(p.figures.secondsHeard, 140 / FramesPerSecond);
    EXPECT_LT(p.figures.secondsHeard, 200 / FramesPerSecond);
    EXPECT_NE(p.samples[141 * FrameSamples], 0);
    // A strong echo of negative values settles short of 0, and the render
    // ends once the output repeats one frame for good.
    for (int reverb : {100, MaxReverb}) {
        const Playback q = Render(Dc(2000, -100), Mode(0), {reverb, false});
        ASSERT_GT(q.samples.size(), 9u * FrameSamples);
        EXPECT_LT(q.samples.size(), 3000u * FrameSamples) << reverb;
        const auto last = q.samples.end() - FrameSamples;
        EXPECT_TRUE(std::equal(last, q.samples.end(), last - FrameSamples)) << reverb;
        EXPECT_NE(*std::min_element(last, q.samples.end()), 0) << reverb;
    }
    // A reverb out of range is taken as the nearest one.
    EXPECT_EQ(Render(Dc(2000, 90), Mode(2), {1000, false}).samples,
              Render(Dc(2000, 90), Mode(2), {MaxReverb, false}).samples);
    EXPECT_EQ(Render(Dc(2000, 90), Mode(2), {-5, true}).samples, Render(Dc(2000, 90), Mode(2), {0, true}).samples);
    // Stereo interleaves left and right; faint's pan favours the right.
    const Playback faint = Render(Dc(1000, 100), Mode(5), {0, true});
    EXPECT_EQ(faint.samples.size(), 2 * Positions(1000, Rate, 14440));
    EXPECT_LT(faint.samples[0], faint.samples[1]);
}

TEST(PlaybackRender, VoiceByteAndSampleKind) {
    const Bytes plain = Dc(500, 60);
    const Playback silent = Render(plain, Mode(0), {50, false}, CryVoice);
    EXPECT_FALSE(silent.figures.playable);
    EXPECT_TRUE(silent.samples.empty());
    EXPECT_EQ(silent.figures.secondsHeard, 0);
    EXPECT_FALSE(silent.figures.rmsDb);
    EXPECT_FALSE(HeardLoudnessDb({CryVoice, plain}, GameFamily::Third));
    // The uncompressed voice reads a compressed sample's bytes as values.
    const Bytes coded = MakeSampleFile(SampleKind::Compressed, Tone(500, 400, 10512), Rate);
    const PlayedValues raw = ValuesPlayed({PlainVoice, coded});
    ASSERT_TRUE(raw.playable);
    ASSERT_GT(raw.values.size(), 20u);
    EXPECT_EQ(raw.values[0], static_cast<int8_t>(coded[16]));
    EXPECT_EQ(raw.values[20], static_cast<int8_t>(coded[36]));
    // A header cut short renders nothing, and reads nothing past its span.
    EXPECT_FALSE(ValuesPlayed({PlainVoice, std::span(plain).first(15)}).playable);
    const PlayedValues cut = ValuesPlayed({PlainVoice, std::span(plain).first(100)});
    EXPECT_EQ(cut.length, 500u);
    EXPECT_EQ(cut.values.size(), 84u);
}

// The compressed sample plays exactly what it decodes to.
TEST(PlaybackRender, CompressedPlaysItsDecodedValues) {
    const Bytes coded = MakeSampleFile(SampleKind::Compressed, DecayingChirp(3000, 2000, 300, 3, 10512), Rate);
    // The same values stored plain, the one after the length's count included.
    Bytes decoded = DecodeValues(coded, 0).value;
    decoded.push_back(static_cast<uint8_t>(ValuesPlayed({CryVoice, coded}).values.at(3000) ^ 0x80));
    Bytes plain = MakeSample(SampleKind::Uncompressed, decoded, Rate);
    PutLe32(&plain[12], 3000);
    for (const CryMode& m : CryModes(GameFamily::Third)) {
        const Playback a = Render(coded, m, {50, false}, CryVoice);
        EXPECT_EQ(a.samples, Render(plain, m, {50, false}, PlainVoice).samples) << m.name;
        ASSERT_TRUE(a.figures.rmsDb) << m.name;
        EXPECT_LT(*a.figures.rmsDb, -6) << m.name;
    }
    EXPECT_EQ(HeardLoudnessDb({CryVoice, coded}, GameFamily::Third), Render(coded, Mode(0), {}, CryVoice).figures.rmsDb);
}

// Any bytes under any voice byte, in every mode of every game: the render
// stays inside its spans and its figures describe its output.
TEST(PlaybackRender, AnyBytesRenderWithinTheirSpans) {
    std::mt19937 random(7);
    for (int run = 0; run < 200; ++run) {
        Bytes sample(16 + random() % 3000);
        for (uint8_t& b : sample) b = static_cast<uint8_t>(random());
        sample[0] = static_cast<uint8_t>(random() % 3);
        PutLe32(&sample[4], (1000 + random() % 64536) * 1024);
        PutLe32(&sample[12], run % 2 ? random() % 5000 : random());
        const uint8_t voice = static_cast<uint8_t>(run % 5 == 4 ? random() : (run % 4) * 0x10);
        const GameFamily family = static_cast<GameFamily>(run % 3);
        const CryMode& mode = CryModes(family)[static_cast<size_t>(run) % CryModes(family).size()];
        const bool stereo = run % 7 == 0;
        const Playback p = Render(sample, mode, {static_cast<int>(random() % (MaxReverb + 1)), stereo}, voice);
        if (!p.figures.playable) {
            EXPECT_TRUE(p.samples.empty());
            continue;
        }
        EXPECT_EQ(p.samples.size() % (stereo ? 2 : 1), 0u);
        int peak = 0;
        for (int8_t v : p.samples) peak = std::max(peak, std::abs(int(v)));
        EXPECT_EQ(p.figures.peak, peak);
        EXPECT_LE(p.figures.secondsHeard * MixerRate, p.samples.size() / (stereo ? 2.0 : 1.0) + 1e-6);
        EXPECT_LE(p.samples.size(), size_t(3600) * FrameSamples * 2);
    }
}

// The renders of many cries, chirps and random bytes, in every mode of every
// game, at any echo, mono and stereo, folded into one digest of their bytes
// and figures: it was taken from the first, plain mixer, per output sample,
// so that a faster mixer has to play byte for byte what it played.
TEST(PlaybackRender, OutputMatchesThePlainMixersDigest) {
    std::mt19937 random(11);
    uint64_t digest = 14695981039346656037u;
    const auto fold = [&](uint64_t v) {
        for (int k = 0; k < 8; ++k) digest = (digest ^ ((v >> (8 * k)) & 0xFF)) * 1099511628211u;
    };
    for (int run = 0; run < 240; ++run) {
        const bool compressed = run % 3 != 2;
        Bytes sample;
        if (run % 4 == 3) {
            sample.resize(16 + random() % 4000);
            for (uint8_t& b : sample) b = static_cast<uint8_t>(random());
            sample[0] = static_cast<uint8_t>(random() % 3);
            PutLe32(&sample[4], (1000 + random() % 64536) * 1024);
            PutLe32(&sample[12], random() % 6000);
        } else {
            const uint32_t rate = run % 5 == 0 ? 22050 : 10512;
            sample = MakeSampleFile(compressed ? SampleKind::Compressed : SampleKind::Uncompressed,
                                    DecayingChirp(500 + random() % 4000, 200 + random() % 4000, 100 + random() % 2000,
                                                  3, rate, 0.3 + (random() % 8) / 10.0),
                                    rate * 1024);
        }
        const uint8_t voice = static_cast<uint8_t>((compressed ? CryVoice : PlainVoice) | (run % 6 == 1 ? 0x10 : 0));
        const GameFamily family = static_cast<GameFamily>(run % 3);
        const std::span<const CryMode> modes = CryModes(family);
        const CryMode& mode = modes[random() % modes.size()];
        const int reverb = run % 4 == 0 ? 0 : run % 9 == 0 ? MaxReverb : static_cast<int>(random() % (MaxReverb + 1));
        const Playback p = Render(sample, mode, {reverb, run % 5 == 1}, voice);
        for (int8_t v : p.samples) fold(static_cast<uint8_t>(v));
        const PlaybackFigures& f = p.figures;
        fold(p.samples.size());
        fold(uint64_t{f.playable} | uint64_t{f.cut} << 1 | uint64_t(f.peak) << 8 | uint64_t{f.wrapped} << 16);
        fold(static_cast<uint64_t>(std::llround(f.secondsHeard * MixerRate)));
        fold(f.rmsDb ? static_cast<uint64_t>(std::llround(*f.rmsDb * 1e6)) : 1);
    }
    EXPECT_EQ(digest, 2695753297694353404u);
}

// The heard SNR: a perfect sample plays as the uncompressed sample of its
// values, and only what the normal mode plays counts.
TEST(HeardSnr, PerfectValuesAreThoseOfAnUncompressedSample) {
    const Bytes tone = Tone(3000, 440, 10512);
    const PlayedValues perfect = PerfectValues(tone, Rate);
    const Bytes plain = MakeSample(SampleKind::Uncompressed, tone, Rate);
    const PlayedValues stored = ValuesPlayed({PlainVoice, plain});
    EXPECT_EQ(perfect.values, stored.values);
    EXPECT_EQ(perfect.length, stored.length);
    EXPECT_EQ(perfect.rateField, stored.rateField);
    EXPECT_TRUE(std::isinf(*HeardSnrDb(perfect, stored, GameFamily::Third)));
    // Silence has nothing to compare against.
    EXPECT_FALSE(HeardSnrDb(PerfectValues(Bytes(500, 128), Rate), stored, GameFamily::Third));
    EXPECT_FALSE(RenderSnrDb({}, {}));
}

TEST(HeardSnr, ComparesOverTheLongerRender) {
    const std::vector<int8_t> a = {10, -10, 10, -10}, b = {10, -10};
    EXPECT_NEAR(*RenderSnrDb(a, b), 10 * std::log10(400.0 / 200), 1e-9);
    // Played beyond the reference: the reference counts as silence there.
    EXPECT_NEAR(*RenderSnrDb(b, a), 10 * std::log10(200.0 / 200), 1e-9);
}

TEST(HeardSnr, WhatTheGameDoesNotPlayIsNoLoss) {
    // 3 s: the normal mode's hold cuts it at 2.344 s. Noise from 2.5 s on is
    // never heard.
    const uint32_t n = 3 * 10512, heard = 10512 * 5 / 2;
    const Bytes tone = Tone(n, 300, 10512);
    Bytes tail = tone;
    const Bytes noise = Noise(n - heard, 3);
    std::copy(noise.begin(), noise.end(), tail.begin() + heard);
    EXPECT_TRUE(std::isinf(*HeardSnrDb(PerfectValues(tone, Rate), PerfectValues(tail, Rate), GameFamily::Third)));
    EXPECT_LT(MeasureSample(tone, MakeSample(SampleKind::Uncompressed, tail, Rate)).snrDb, 10);
    // The same sound stored at twice the mixer's rate plays much as it does
    // at the mixer's own: both renders are at 13379 Hz.
    const Bytes high = Tone(2 * MixerRateHz, 500, 2 * MixerRateHz), mixer = Tone(MixerRateHz, 500, MixerRateHz);
    const std::optional<double> snr =
        HeardSnrDb(PerfectValues(mixer, MixerRateHz * 1024), PerfectValues(high, 2 * MixerRateHz * 1024), GameFamily::Third);
    EXPECT_GT(*snr, 25);
    // A compressed coding loses what its values lose, no more.
    const Bytes coded = MakeSample(SampleKind::Compressed, Tone(10512, 700, 10512), Rate, EncodeMode::Fast);
    const double heardSnr =
        *HeardSnrDb(PerfectValues(Tone(10512, 700, 10512), Rate), ValuesPlayed({CryVoice, coded}), GameFamily::Third);
    EXPECT_GT(heardSnr, 10);
    EXPECT_FALSE(std::isinf(heardSnr));
}
