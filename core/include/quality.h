// quality: how faithfully an encoding mode keeps a sound, measured on the
// values the decoder will actually play.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "crylib.h"

struct EncodeQuality {
    double snrDb;         // signal-to-noise ratio over all n samples, in dB
    int peakError;        // largest |decoded - input| on the signed scale
    uint64_t squaredError;
    uint32_t blocks;
    uint32_t worstBlocks; // blocks where this mode's error is the larger of the two modes'
};

// Encodes `wav` (unsigned 8-bit, n <= MaxSampleLength) with `mode` in memory,
// decodes it back and compares it with the input.
EncodeQuality MeasureEncoding(std::span<const uint8_t> wav, EncodeMode mode);
