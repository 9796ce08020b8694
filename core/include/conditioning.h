// conditioning: preparing recorded audio for the 8-bit cry format, and the
// warnings that say when a recording loses sound on the way.
//
// Samples are floats on libsndfile's scale: full scale is 1.0, and an 8-bit
// input comes in as (byte - 128) / 128. The steps run in a fixed order:
// channel, DC, trim (ConditionBeforeResample, at the input's rate), then the
// caller resamples with whatever it has, then gain or normalise
// (ConditionAfterResample), then Quantise. Each step takes spans and returns
// new vectors, appending its warnings to the list it is given. With every
// option off the result is the plain mixdown and quantisation, so a dumped
// cry read back gives the same bytes.
//
// Error convention: nothing fails or throws; what a user should know about
// the sound comes back as AudioWarnings, numbers with a code, which each
// front end words in its own language.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "crylib.h"
#include "playback.h"
#include "quality.h"

enum class ChannelChoice { Mix, Left, Right };

struct ConditionOptions {
    ChannelChoice channel = ChannelChoice::Mix;
    bool removeDc = false;
    std::optional<double> trimDb;       // trim edges quieter than this (dBFS)
    double gainDb = 0;
    std::optional<double> normalizeDb;  // peak to this many dB (<= 0) after the gain
    // The loudness as heard (LoudnessGainFor) to bring the sound to, in
    // `family`'s normal mode, after the gain and normalisation.
    std::optional<double> loudnessDb;
    GameFamily family = GameFamily::Third;
};

enum class AudioWarningCode { MixLostEnergy, Clipping, DcOffset, PoorEncoding, RateMismatch, LoudnessShort };

// What a warning says, in numbers; each front end words it. Only the fields
// its code names are set.
struct AudioWarning {
    AudioWarningCode code;
    int channels = 0;           // MixLostEnergy: channels mixed
    double keptPercent = 0;     // MixLostEnergy: energy kept, % of the louder channel's
    uint64_t clipped = 0;       // Clipping: samples beyond full scale
    double offsetPercent = 0;   // DcOffset: the mean, % of full scale
    EncodeMode mode = EncodeMode::Best;  // PoorEncoding
    double snrDb = 0;           // PoorEncoding
    int peakError = 0;          // PoorEncoding: 8-bit steps
    double wavRate = 0;         // RateMismatch: the WAV's rate
    double sampleRate = 0;      // RateMismatch: the rate its bytes would play at
    double targetDb = 0;        // LoudnessShort: the loudness asked for, as heard
    double heardDb = 0;         // LoudnessShort: the loudness reached, the most the 8 bits allow
};
using AudioWarnings = std::vector<AudioWarning>;

// How far short of its target a matched loudness may stay unwarned (dB).
constexpr double LoudnessToleranceDb = 0.5;

// Defaults the command line shows.
constexpr double DefaultTrimDb = -50;
constexpr double DefaultNormalizeDb = -1;

// One mono signal from interleaved frames of `channels` values: the first,
// the second (the first when there is only one) or their mean. Warns when
// the mean keeps less than half the energy of the louder channel.
std::vector<double> ChooseChannel(std::span<const double> frames, int channels, ChannelChoice choice,
                                  AudioWarnings& warnings);

// The mean value as a fraction of full scale (0 for no samples).
double MeanLevel(std::span<const double> samples);

// The mean taken out, then a one-pole high-pass with its corner at
// DcCornerHz, far below what a cry holds, for offsets that drift.
constexpr double DcCornerHz = 15;
std::vector<double> RemoveDc(std::span<const double> samples, double rate);

// The samples from the first to the last whose magnitude reaches `thresholdDb`.
std::vector<double> Trim(std::span<const double> samples, double thresholdDb);

// Every sample scaled by `db`.
std::vector<double> ApplyGain(std::span<const double> samples, double db);

// Scaled so that the peak magnitude is `peakDb`; silence stays as it is.
std::vector<double> Normalize(std::span<const double> samples, double peakDb);

// Unsigned 8-bit values, x * 128 + 128 rounded (half away from zero). Warns
// of the samples beyond full scale, which are clipped.
uint8_t QuantiseValue(double x);
std::vector<uint8_t> Quantise(std::span<const double> samples, AudioWarnings& warnings);

// Channel, DC (removed, or a warning when the mean exceeds 2 % of full
// scale) and trim, on the input at its own `rate`.
std::vector<double> ConditionBeforeResample(std::span<const double> frames, int channels, double rate,
                                            const ConditionOptions& options, AudioWarnings& warnings);

// Gain, then normalisation, on the resampled signal.
std::vector<double> ConditionAfterResample(std::span<const double> samples, const ConditionOptions& options);

// Gain, normalisation, the loudness asked for (a LoudnessShort warning
// where the limit leaves it more than LoudnessTolerance short) and
// quantisation of a signal resampled to `rate`: the
// steps after resampling, for a front end that makes one input into samples
// at several rates.
std::vector<uint8_t> ConditionResampled(std::span<const double> samples, double rate, const ConditionOptions& options,
                                        AudioWarnings& warnings);

// The gain that brings the loudness of `samples` (at `rate` Hz) as the
// player hears it, the RMS of its render in the family's normal mode
// (HeardRender), to `targetDb`, and the loudness it reaches. The gain is
// limited so that no value clips when quantised and no sum of the normal
// mode wraps: a quiet cry with a loud peak stays short of the target
// (`limited`). Silence takes no gain and has no loudness.
struct LoudnessGain {
    double gainDb = 0;
    std::optional<double> heardDb;
    bool limited = false;
};
LoudnessGain LoudnessGainFor(std::span<const double> samples, double rate, double targetDb, GameFamily family);

// Converts a sound with the resampler a front end has: the one pipeline of
// the command line and the page. `resample` turns mono samples at `from` Hz
// into samples at `to` Hz, false when it refuses the rates. The unsigned 8-bit
// values at `toRate`, or nothing when the resampler refused.
using Resampler = std::function<bool(std::span<const double> in, double from, double to, std::vector<double>& out)>;
std::optional<std::vector<uint8_t>> ConditionSound(std::span<const double> frames, int channels, double rate,
                                                   double toRate, const ConditionOptions& options,
                                                   const Resampler& resample, AudioWarnings& warnings);

// Warns when `mode` would keep the quantised samples poorly: a Poor grade
// (GradeOf), an SNR below 10 dB.
void CheckEncoding(std::span<const uint8_t> samples, EncodeMode mode, AudioWarnings& warnings);
// The same for figures already measured.
void CheckEncoding(const EncodeQuality& quality, EncodeMode mode, AudioWarnings& warnings);

// Warns when a WAV taken without resampling declares a rate more than 1 %
// away from the rate its sample will be played at. Returns whether it does.
bool CheckRawRate(double wavRate, double sampleRate, AudioWarnings& warnings);
