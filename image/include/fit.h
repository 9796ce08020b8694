// Fitting a pack of new cries into the space an edit may use, by choosing
// each one's rate. Portable: standard library only.
//
// The game mixes at 13379 Hz and plays nothing above it, so a cry stored at
// a higher rate costs bytes for sound nobody hears: when a pack does not fit
// at its rates, every cry above 13379 Hz comes down to it first. Then, one
// step at a time, the cry whose next step down the ladder loses the least
// quality as heard per byte it saves goes down one step, until the pack fits
// or every cry stands on its lowest rate.
//
// Usage: FitRates gives a cry's rungs; FitPack chooses one rung per cry from
// figures it asks for lazily (a cry's next rung only once it may step to it),
// against a FitSpace: the bytes the pack may take, and what each new sample
// takes of them. RoomForPack reads that space from an image (its slots, its
// free space, the slots --reclaim gives back); FitPackToImage fits a pack to
// it and checks the choice against the plan those sizes would give.
//
// Error convention: nothing fails; a pack that does not fit even at its
// lowest rungs comes back with fits false and the bytes missing there.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "hearing.h"
#include "image.h"
#include "plan.h"
#include "samplekind.h"

// The rates a cry steps down through, highest first: the rate the games mix
// at, above which they play nothing (MaxUsefulRateHz), the common recording
// rates, the games' 10512 Hz, then lower.
inline constexpr std::array<uint32_t, 7> FitLadder = {MaxUsefulRateHz, 11025, 10512, 9000, 8000, 7000, 6000};
constexpr uint32_t DefaultMinFitRate = 6000;
// Whether a fit may be told to go no lower than `hz`: a rate a sample may
// declare, and none above the mixer's (a fit there could not step at all).
constexpr bool MinFitRateAllowed(uint32_t hz) { return hz >= MinSampleRate && hz <= MaxUsefulRateHz; }

// A cry's rungs: its own rate, then every rate of the ladder below it down
// to `minHz`. A cry already below `minHz` keeps its own rate alone.
std::vector<uint32_t> FitRates(uint32_t ownHz, uint32_t minHz);

// A cry at one rung: its new sample's values and bytes, and how close the
// game's playing of it comes to the best it could play (dB; +infinity when
// it is the same).
struct FitRung {
    uint32_t values = 0;
    uint64_t bytes = 0;
    double heardSnrDb = 0;
};
// Cry `cry` at rung `rung` (an index into its rates).
using RungSource = std::function<FitRung(size_t cry, size_t rung)>;

// What the new samples may take. A sample no larger than its cry's slot
// stays there and takes nothing; any other takes its bytes (rounded up to
// a word when `align`, as the next sample starts at a word), less its slot
// when the slot it leaves is given back (`reclaim`).
struct FitSpace {
    uint64_t capacity = 0;
    std::vector<uint32_t> slots;  // per cry; missing or 0: no slot
    bool align = true;
    bool reclaim = false;
};
uint64_t SpaceTaken(const FitSpace& space, size_t cry, uint64_t bytes);

struct Fit {
    bool fits = false;
    std::vector<size_t> rungs;      // the rung chosen per cry (the lowest when nothing fits)
    std::vector<FitRung> chosen;    // its figures
    uint64_t taken = 0;             // of the space
    uint64_t missing = 0;           // bytes over the capacity at the lowest rungs; 0 when it fits
};

// Whether lower rates could let a refused plan through: it found no free
// space for a new sample. A front end then offers the fit.
bool FitMightHelp(const Plan& plan);

// The lowest and the median of the rates a fit chose (0 for none).
uint32_t LowestRate(std::span<const uint32_t> hz);
uint32_t MedianRate(std::span<const uint32_t> hz);

// Chooses the rungs of cries whose rates are `rates` (each FitRates'
// order). The rungs of a pack that fits as it is are all 0.
Fit FitPack(std::span<const std::vector<uint32_t>> rates, const FitSpace& space, const RungSource& rungOf);

// The space the cries of `request` (their indexes; their samples are not
// looked at) may take in the image: each one's slot, the free space the plan
// would place moved cries in, and whether their slots are reclaimed.
FitSpace RoomForPack(ImageBytes image, const ImageModel& model, const EditRequest& request);

// Fits the pack to the image: FitPack against RoomForPack (or against a
// budget of `budget` bytes for the new samples' total), then the plan that
// samples of the chosen sizes would get; where it cannot place them all (the
// free space comes in runs, a reclaimed slot holds only what fits it), the
// fit is made again with the capacity less the bytes it missed, a few times
// at most. `kinds` gives each cry's kind. Each rung is asked for once.
Fit FitPackToImage(ImageBytes image, const ImageModel& model, const EditRequest& request,
                   std::span<const SampleKind> kinds, std::span<const std::vector<uint32_t>> rates,
                   std::optional<uint64_t> budget, const RungSource& rungOf);
