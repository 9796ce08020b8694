// Heard figures: renders of a perfect and a coded sample, compared.
#include "heard.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr uint8_t SignFlip = 0x80;  // unsigned value <-> signed played value

}  // namespace

PlayedValues PerfectValues(std::span<const uint8_t> values, uint32_t rateField) {
    PlayedValues p;
    p.playable = true;
    p.rateField = rateField;
    p.length = static_cast<uint32_t>(values.size());
    // The value past the last reads 0, as an uncompressed sample's loop value.
    p.values.resize(values.size() + 1);
    std::transform(values.begin(), values.end(), p.values.begin(),
                   [](uint8_t v) { return static_cast<int8_t>(v ^ SignFlip); });
    return p;
}

Playback HeardRender(const PlayedValues& values, GameFamily family) {
    return RenderValues(values, false, CryModes(family)[0]);
}

std::optional<double> RenderSnrDb(std::span<const int8_t> reference, std::span<const int8_t> coded) {
    uint64_t signal = 0, error = 0;
    const size_t n = std::max(reference.size(), coded.size());
    for (size_t i = 0; i < n; ++i) {
        const int r = i < reference.size() ? reference[i] : 0, c = i < coded.size() ? coded[i] : 0;
        signal += static_cast<uint64_t>(r * r);
        error += static_cast<uint64_t>((r - c) * (r - c));
    }
    if (signal == 0) return std::nullopt;
    if (error == 0) return std::numeric_limits<double>::infinity();
    return 10 * std::log10(static_cast<double>(signal) / static_cast<double>(error));
}

std::optional<double> HeardSnrDb(const PlayedValues& reference, const PlayedValues& coded, GameFamily family) {
    return RenderSnrDb(HeardRender(reference, family).samples, HeardRender(coded, family).samples);
}
