// Sample-rate conversion of mono sounds with libsoxr, shared by the command
// line and the browser page so that both make the same cry of a file.
#pragma once

#include <span>
#include <string>
#include <vector>

struct Resampled {
    std::vector<double> samples;
    std::string error;  // libsoxr's reason when it refused (samples then empty)
};

// How closely a conversion keeps the sound: High for what is stored; Draft,
// many times faster (cubic), gives as many values and serves to compare rates.
enum class ResampleQuality { High, Draft };

// Mono samples in float form from `fromRate` to `toRate` Hz. Rates equal once
// rounded to whole Hz leave the samples as they are.
Resampled Resample(std::span<const double> in, double fromRate, double toRate,
                   ResampleQuality quality = ResampleQuality::High);
