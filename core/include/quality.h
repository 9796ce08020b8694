// quality: how faithfully an encoding mode keeps a sound, measured on the
// values the decoder will actually play.
//
// Each 64-sample block is coded exactly as EncodeSample codes it (the last one
// padded with silence, which is not measured), decoded back and compared with
// the input on the signed scale (silence 0). Nothing limits the length here:
// a sound too long to store can still be measured.
//
// Error convention: nothing fails; an empty sound measures as exact.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "crylib.h"

struct EncodeQuality {
    // 10 log10(signal energy / squaredError), both summed over the n samples
    // on the signed scale. +infinity when the coding is exact (squaredError 0,
    // e.g. silence or an empty sound).
    double snrDb;
    int peakError;          // largest |decoded - input|, 0..255
    uint64_t squaredError;  // sum of (decoded - input)^2
    uint32_t blocks;        // blocks that hold samples: ceil(n / 64)
    // Blocks where this mode's squared error is strictly larger than the other
    // mode's; ties count for neither. Best never loses a block, so its count
    // is 0 and Fast's is the number of blocks the best coder improves.
    uint32_t worstBlocks;
};

// How well an encoding keeps a sound, in four grades every front end words
// the same: Exact (no error), Good (an SNR of 30 dB or more and no value off
// by more than 64 steps), Fair (10 dB or more), Poor (below 10 dB, which the
// encoding warns of).
enum class QualityGrade { Exact, Good, Fair, Poor };
QualityGrade GradeOf(const EncodeQuality& quality);
// The grade's name, as machine output spells it ("Fair").
const char* GradeName(QualityGrade grade);

// Encodes `wav` (unsigned 8-bit samples) with `mode` and with the other mode,
// in memory, decodes both and reports `mode`'s figures.
EncodeQuality MeasureEncoding(std::span<const uint8_t> wav, EncodeMode mode);

// The figures of a sample already made, of either kind (as MakeSample writes it), against
// the `wav` it was made from, without coding anything again; worstBlocks is
// not measured (0).
EncodeQuality MeasureSample(std::span<const uint8_t> wav, std::span<const uint8_t> sample);
