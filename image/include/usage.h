// What the cries of the table in use take of an image, and what they would
// take stored otherwise: their bytes by kind and by rate, the free space, the
// samples stored apart whose bytes are the same, and the bytes of the whole
// table at each rung of a ladder of lower rates. Pure: the image is only read.
//
// Every sample is counted once, however many entries of either table play it.
#pragma once

#include <cstdint>
#include <vector>

#include "fit.h"
#include "image.h"

// The bytes a sample of `length` values of `kind` declaring `rateField` takes
// resampled to `hz` when its rate is above it, else as it is.
uint32_t BytesAtRung(SampleKind kind, uint32_t length, uint32_t rateField, uint32_t hz);

struct KindUsage {
    SampleKind kind = SampleKind::Compressed;
    int samples = 0;
    uint64_t bytes = 0;
};

struct RateUsage {
    uint32_t hz = 0;  // whole Hz
    int samples = 0;
    uint64_t bytes = 0;
};

// Samples stored apart whose bytes (header and data) are the same: the
// entries that play any of them, the copies' offsets, the bytes of one copy,
// and the bytes storing one copy alone would save.
struct DuplicateGroup {
    std::vector<int> entries;
    std::vector<uint32_t> offsets;
    uint32_t bytes = 0;
    uint64_t saved = 0;
};

// The bytes every sample would take at one rung, and how many fewer than now.
struct RungBytes {
    uint32_t hz = 0;
    uint64_t bytes = 0;
    uint64_t freed = 0;
};

struct TableUsage {
    int samples = 0;               // distinct sounds the entries of both tables point at
    uint64_t bytes = 0;            // their bytes, as far as the last byte each one reads
    std::vector<KindUsage> kinds;  // in SampleFormats order, kinds no sample has left out
    std::vector<RateUsage> rates;  // lowest first
    uint64_t freeBytes = 0;        // the free space a plan may use (its freeLeft)
    std::vector<DuplicateGroup> duplicates;  // in the order of their first copy
    uint64_t duplicateBytes = 0;   // what storing each group once would save
    std::vector<RungBytes> ladder; // one per FitLadder rung
};

// Empty for an image with no table.
TableUsage MeasureUsage(ImageBytes image, const ImageModel& model);
