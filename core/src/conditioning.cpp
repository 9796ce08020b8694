#include "conditioning.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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

std::vector<uint8_t> Quantise(std::span<const double> samples, AudioWarnings& warnings) {
    // libsndfile scales 8-bit data by 1/128, so an 8-bit input comes back
    // to the very same bytes.
    std::vector<uint8_t> out(samples.size());
    size_t clipped = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double x = samples[i];
        if (std::abs(x) > 1) ++clipped;
        out[i] = static_cast<uint8_t>(std::clamp(std::lround(x * 128.0) + 128, 0L, 255L));
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

std::optional<std::vector<uint8_t>> ConditionSound(std::span<const double> frames, int channels, double rate,
                                                   double toRate, const ConditionOptions& options,
                                                   const Resampler& resample, AudioWarnings& warnings) {
    const std::vector<double> mono = ConditionBeforeResample(frames, channels, rate, options, warnings);
    std::vector<double> resampled;
    if (!resample(mono, rate, toRate, resampled)) return std::nullopt;
    return Quantise(ConditionAfterResample(resampled, options), warnings);
}
