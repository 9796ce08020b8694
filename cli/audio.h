// Audio in and out. Input is read with libsndfile (any format it knows),
// mixed down to mono, resampled with libsoxr to the rate the sample will
// declare and quantised to unsigned 8 bits. Builds without those libraries
// (the Windows console build) read only 8-bit mono PCM WAV, unconverted.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Whether this build can convert audio (libsndfile and libsoxr present).
bool CanConvertAudio();

// The samples of `path` as unsigned 8-bit mono at `targetRate` Hz. With
// `raw`, or in a build that cannot convert, the file must be 8-bit mono PCM
// WAV and its bytes are taken as they are, whatever its rate.
Bytes LoadSamples(const std::string& path, double targetRate, bool raw);

// Unsigned 8-bit mono samples in float form, mixed down from interleaved
// frames of `channels` values, and the two conversions on their own.
std::vector<double> MixDown(std::span<const double> frames, int channels);
std::vector<double> Resample(std::span<const double> in, double fromRate, double toRate);
Bytes Quantise(std::span<const double> samples);

// Writes a WAV file of unsigned 8-bit mono samples at `rate` Hz.
bool WriteWav(FILE* stream, std::span<const uint8_t> samples, uint32_t rate);
