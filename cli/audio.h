// Audio in and out. Input is read with libsndfile (any format it knows),
// conditioned by the core (channel, DC, trim), resampled (resample/) to the
// rate the sample will declare, conditioned again (gain, normalise) and
// quantised to unsigned 8 bits.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "audio_options.h"
#include "resample.h"

using Bytes = std::vector<uint8_t>;

struct LoadedAudio {
    Bytes samples;         // unsigned 8-bit mono
    double rate;           // what they are at: the target rate, or the input's own with --keep-rate
    double inputRate;      // the file's own rate
    int inputChannels;     // the file's own channel count
    AudioWarnings warnings;
};

// The samples of `path` as unsigned 8-bit mono at `targetRate` Hz (at the
// file's own rate with args.keepRate), conditioned as `args` asks. With
// `raw` the file must be 8-bit mono PCM WAV whose bytes are taken as they
// are: conditioning options are bad usage, and a WAV more than 1 % off
// `targetRate` is refused unless args.keepRate.
LoadedAudio LoadSamples(const std::string& path, double targetRate, bool raw, const ConditionArgs& args);

// An input read and conditioned up to resampling (channel, DC, trim), from
// which samples at any rate are made: a pack fitted to an image tries each
// cry at several rates.
struct SourceAudio {
    std::string path;
    std::vector<double> mono;
    double rate = 0;       // the file's own rate
    int channels = 0;      // the file's own channel count
    ConditionOptions options;
    AudioWarnings warnings;  // those of the steps before resampling
};
// `highestRate` is the highest rate samples will be made at (for the
// refusal of a file too long to read).
SourceAudio ReadSource(const std::string& path, double highestRate, const ConditionArgs& args);
// The source resampled to `targetRate` and conditioned as its options ask;
// the warnings before resampling and those of this rate. A draft serves to
// compare rates, never to be stored.
LoadedAudio SourceAt(const SourceAudio& source, double targetRate, ResampleQuality quality = ResampleQuality::High);
// Refuses the samples the source gave at `targetRate` when a sound that has
// values gave none there.
void RequireSomeValues(const SourceAudio& source, std::span<const uint8_t> samples, double targetRate);

// Mono samples in float form from `fromRate` to `toRate` Hz, as the page
// resamples them too (resample.h); libsoxr refusing ends the command.
std::vector<double> ResampleOrFail(std::span<const double> in, double fromRate, double toRate,
                                   ResampleQuality quality = ResampleQuality::High);

// Writes a WAV file of unsigned 8-bit mono samples at `rate` Hz.
bool WriteWav(FILE* stream, std::span<const uint8_t> samples, uint32_t rate);
