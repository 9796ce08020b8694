// heard: a new sample as the player will hear it, measured against what a
// perfect sample of the same sound would give. Portable: standard library
// only.
//
// The SNR of the stored values says how faithfully a sample keeps its input;
// it counts as loss what the game cannot play anyway (detail above half the
// mixer's rate, a tail past the hold). The heard SNR compares the two renders
// instead: the coded sample and a perfect (uncompressed) sample of the input,
// both played in the family's normal mode with the usual echo, at the mixer's
// rate, so that samples stored at different rates compare too.
//
// Usage: PerfectValues reads input values as an uncompressed sample would
// play them, ValuesPlayed (playback.h) a coded sample; HeardSnrDb compares
// the two. Where one input is compared with many codings, HeardRender it once
// and compare renders with RenderSnrDb.
//
// Error convention: nothing fails. None where the reference is heard as
// silence, +infinity where both renders are the same.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "playback.h"

// The values an uncompressed sample of `values` (unsigned 8-bit) declaring
// `rateField` plays, as ValuesPlayed reads them from the sample's bytes.
PlayedValues PerfectValues(std::span<const uint8_t> values, uint32_t rateField);

// What every heard figure measures: the values played forwards in the
// family's normal mode, with the usual echo, at the mixer's rate.
Playback HeardRender(const PlayedValues& values, GameFamily family);

// 10 log10(energy of `reference` / energy of the difference), over the
// longer of the two, the shorter padded with silence.
std::optional<double> RenderSnrDb(std::span<const int8_t> reference, std::span<const int8_t> coded);

// The SNR of `coded`'s heard render against `reference`'s.
std::optional<double> HeardSnrDb(const PlayedValues& reference, const PlayedValues& coded, GameFamily family);
