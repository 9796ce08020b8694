#include "conditioning.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "heard.h"
#include "quality.h"

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double DcWarnLevel = 0.02;  // of full scale
constexpr double RateTolerance = 0.01;

double FromDb(double db) { return std::pow(10.0, db / 20); }

double Energy(std::span<const double> samples) {
    double sum = 0;
    for (double x : samples) sum += x * x;
    return sum;
}


std::vector<double> Scaled(std::span<const double> samples, double factor) {
    std::vector<double> out(samples.size());
    std::transform(samples.begin(), samples.end(), out.begin(), [factor](double x) { return x * factor; });
    return out;
}

}  // namespace

std::vector<double> ChooseChannel(std::span<const double> frames, int channels, ChannelChoice choice,
                                  AudioWarnings& warnings) {
    if (channels < 1) return {};
    const size_t n = frames.size() / channels;
    const int picked = choice == ChannelChoice::Right && channels > 1 ? 1 : 0;
    std::vector<double> mono(n);
    std::vector<double> channelEnergy(channels);
    for (size_t i = 0; i < n; ++i) {
        const auto frame = frames.subspan(i * channels, channels);
        double sum = 0;
        for (int c = 0; c < channels; ++c) {
            sum += frame[c];
            channelEnergy[c] += frame[c] * frame[c];
        }
        mono[i] = choice == ChannelChoice::Mix ? sum / channels : frame[picked];
    }
    if (choice != ChannelChoice::Mix || channels < 2) return mono;
    const double louder = *std::max_element(channelEnergy.begin(), channelEnergy.end());
    const double kept = Energy(mono);
    if (kept < louder / 2)
        warnings.push_back({.code = AudioWarningCode::MixLostEnergy, .channels = channels, .keptPercent = 100 * kept / louder});
    return mono;
}

double MeanLevel(std::span<const double> samples) {
    if (samples.empty()) return 0;
    double sum = 0;
    for (double x : samples) sum += x;
    return sum / double(samples.size());
}

std::vector<double> RemoveDc(std::span<const double> samples, double rate) {
    // With the mean gone the filter starts at rest, so the first samples
    // carry no step; the pole then follows what drift remains.
    const double mean = MeanLevel(samples);
    const double a = 1 / (1 + 2 * Pi * DcCornerHz / rate);
    std::vector<double> out(samples.size());
    double previousIn = 0, previousOut = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double x = samples[i] - mean;
        previousOut = a * (previousOut + x - previousIn);
        previousIn = x;
        out[i] = previousOut;
    }
    return out;
}

std::vector<double> Trim(std::span<const double> samples, double thresholdDb) {
    const double threshold = FromDb(thresholdDb);
    auto loud = [threshold](double x) { return std::abs(x) >= threshold; };
    const auto first = std::find_if(samples.begin(), samples.end(), loud);
    if (first == samples.end()) return {};
    const auto last = std::find_if(samples.rbegin(), samples.rend(), loud).base();
    return {first, last};
}

std::vector<double> ApplyGain(std::span<const double> samples, double db) { return Scaled(samples, FromDb(db)); }

std::vector<double> Normalize(std::span<const double> samples, double peakDb) {
    double peak = 0;
    for (double x : samples) peak = std::max(peak, std::abs(x));
    return peak == 0 ? std::vector<double>(samples.begin(), samples.end()) : Scaled(samples, FromDb(peakDb) / peak);
}

// x * 128 + 128 rounded half away from zero, as std::lround rounds, kept to
// 0..255. A fit quantises every cry at every rate it tries, and lround, a
// library call, took most of that time; the integer part and the exact
// remainder give the same result inline, and the same on every platform
// (the Windows runtime's lround takes -0.49999999999999994 to -1). NaN gives
// 0, as lround's out-of-range result clamped does.
uint8_t QuantiseValue(double x) {
    const double v = x * 128.0;
    if (!(v > -129)) return 0;
    if (v >= 128) return 255;
    const long whole = static_cast<long>(v);
    const double rest = v - static_cast<double>(whole);
    const long rounded = whole + (rest >= 0.5) - (rest <= -0.5);
    return static_cast<uint8_t>(std::clamp(rounded + 128, 0L, 255L));
}

std::vector<uint8_t> Quantise(std::span<const double> samples, AudioWarnings& warnings) {
    // libsndfile scales 8-bit data by 1/128, so an 8-bit input comes back
    // to the very same bytes.
    std::vector<uint8_t> out(samples.size());
    size_t clipped = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double x = samples[i];
        if (std::abs(x) > 1) ++clipped;
        out[i] = QuantiseValue(x);
    }
    if (clipped)
        warnings.push_back({.code = AudioWarningCode::Clipping, .clipped = clipped});
    return out;
}

std::vector<double> ConditionBeforeResample(std::span<const double> frames, int channels, double rate,
                                            const ConditionOptions& options, AudioWarnings& warnings) {
    std::vector<double> mono = ChooseChannel(frames, channels, options.channel, warnings);
    if (options.removeDc) {
        mono = RemoveDc(mono, rate);
    } else if (const double mean = MeanLevel(mono); std::abs(mean) > DcWarnLevel) {
        warnings.push_back({.code = AudioWarningCode::DcOffset, .offsetPercent = 100 * mean});
    }
    if (options.trimDb) mono = Trim(mono, *options.trimDb);
    return mono;
}

std::vector<double> ConditionAfterResample(std::span<const double> samples, const ConditionOptions& options) {
    std::vector<double> out = options.gainDb != 0 ? ApplyGain(samples, options.gainDb)
                                                  : std::vector<double>(samples.begin(), samples.end());
    if (options.normalizeDb) out = Normalize(out, *options.normalizeDb);
    return out;
}

void CheckEncoding(std::span<const uint8_t> samples, EncodeMode mode, AudioWarnings& warnings) {
    CheckEncoding(MeasureEncoding(samples, mode), mode, warnings);
}

void CheckEncoding(const EncodeQuality& q, EncodeMode mode, AudioWarnings& warnings) {
    if (GradeOf(q) != QualityGrade::Poor) return;
    warnings.push_back({.code = AudioWarningCode::PoorEncoding, .mode = mode, .snrDb = q.snrDb, .peakError = q.peakError});
}

bool CheckRawRate(double wavRate, double sampleRate, AudioWarnings& warnings) {
    if (std::abs(wavRate - sampleRate) <= RateTolerance * sampleRate) return false;
    warnings.push_back({.code = AudioWarningCode::RateMismatch, .wavRate = wavRate, .sampleRate = sampleRate});
    return true;
}

namespace {

// Largest 8-bit value magnitude a gained sound may reach: Quantise rounds
// x * 128, and +128 does not exist.
constexpr double MostUnclipped = 127.0 / 128;
// Corrections of the gain after the first estimate: the render's RMS is
// nearly, not exactly, proportional (rounding, the echo's shifts).
constexpr int LoudnessRounds = 4;
constexpr double WrapBackoffDb = 0.5;

struct HeardLevel {
    std::optional<double> rmsDb;
    bool wraps = false;
};

HeardLevel HeardAt(std::span<const double> samples, double rate, double gainDb, GameFamily family) {
    AudioWarnings ignored;
    const std::vector<uint8_t> values = Quantise(ApplyGain(samples, gainDb), ignored);
    const uint32_t rateField = static_cast<uint32_t>(std::lround(rate)) * 1024;
    const PlaybackFigures f = HeardRender(PerfectValues(values, rateField), family).figures;
    return {f.rmsDb, f.wrapped > 0};
}

}  // namespace

LoudnessGain LoudnessGainFor(std::span<const double> samples, double rate, double targetDb, GameFamily family) {
    double peak = 0;
    for (double x : samples) peak = std::max(peak, std::abs(x));
    LoudnessGain g;
    HeardLevel level = HeardAt(samples, rate, 0, family);
    if (peak == 0 || !level.rmsDb) return g;
    double most = 20 * std::log10(MostUnclipped / peak);
    g.gainDb = std::min(targetDb - *level.rmsDb, most);
    for (int round = 0; round < LoudnessRounds; ++round) {
        level = HeardAt(samples, rate, g.gainDb, family);
        if (level.wraps) {
            most = g.gainDb - WrapBackoffDb;
            g.gainDb = most;
            continue;
        }
        if (!level.rmsDb) break;
        const double off = targetDb - *level.rmsDb;
        if (std::abs(off) < LoudnessToleranceDb / 10 || (off > 0 && g.gainDb >= most)) break;
        g.gainDb = std::min(g.gainDb + off, most);
    }
    // A last correction may have raised it into a wrap.
    while ((level = HeardAt(samples, rate, g.gainDb, family)).wraps) g.gainDb -= WrapBackoffDb;
    g.heardDb = level.rmsDb;
    g.limited = g.heardDb && *g.heardDb < targetDb - LoudnessToleranceDb;
    return g;
}

std::vector<uint8_t> ConditionResampled(std::span<const double> samples, double rate, const ConditionOptions& options,
                                        AudioWarnings& warnings) {
    std::vector<double> out = ConditionAfterResample(samples, options);
    if (options.loudnessDb) {
        const LoudnessGain g = LoudnessGainFor(out, rate, *options.loudnessDb, options.family);
        out = ApplyGain(out, g.gainDb);
        if (g.limited)
            warnings.push_back({.code = AudioWarningCode::LoudnessShort, .targetDb = *options.loudnessDb, .heardDb = *g.heardDb});
    }
    return Quantise(out, warnings);
}

std::optional<std::vector<uint8_t>> ConditionSound(std::span<const double> frames, int channels, double rate,
                                                   double toRate, const ConditionOptions& options,
                                                   const Resampler& resample, AudioWarnings& warnings) {
    const std::vector<double> mono = ConditionBeforeResample(frames, channels, rate, options, warnings);
    std::vector<double> resampled;
    if (!resample(mono, rate, toRate, resampled)) return std::nullopt;
    return ConditionResampled(resampled, toRate, options, warnings);
}
