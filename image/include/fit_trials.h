// Weighing the cries of a pack at the rungs of their rates, for the fit
// (fit.h): each cry's sound converted to a rung's rate, coded, and heard
// against the best the game could play of it. Portable: standard library
// only; the front end brings the resampler, as ConditionSound takes it.
//
// A cry's reference is a perfect sample of its sound at its own rate, or at
// the mixer's when its own is higher: every rung of it, and the sample
// finally stored, are heard against that one render. A rung is weighed on a
// draft conversion coded by the fast coder, many times cheaper than the
// stored conversion and the optimal coder and a close enough guide to which
// step loses the least; the reference's own rate reuses the reference's
// stored conversion instead, which is then also what the cry stores there.
//
// Usage: PackTrials over the pack's sounds; Prepare each cry (distinct cries
// on as many threads at once as the caller likes), FitTrials for the choice,
// then each cry's StoredValues at its chosen rate, coded as the front end
// codes, and HeardSnrDb of that sample.
//
// Error convention: a conversion the resampler refuses gives no values; the
// cry is marked Refused and the front end words it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "conditioning.h"
#include "fit.h"

// One cry of a pack: its sound conditioned up to resampling
// (ConditionBeforeResample) at its own rate, the steps after resampling, the
// kind of its new sample and the rates it may take (FitRates' order).
struct FitSound {
    std::span<const double> mono;
    double rate = 0;
    ConditionOptions options;
    SampleKind kind = SampleKind::Compressed;
    std::vector<uint32_t> rates;
};

// The stored conversion, and the draft that weighs the rungs.
struct FitResamplers {
    Resampler stored, draft;
};

class PackTrials {
public:
    PackTrials(std::vector<FitSound> sounds, GameFamily family, FitResamplers resample);

    // The reference and the rungs every fit that steps at all looks at.
    // Distinct cries may be prepared on many threads at once.
    void Prepare(size_t cry);
    // Cry `cry` at rung `rung` (a RungSource), tried once.
    const FitRung& Try(size_t cry, size_t rung);
    // The cry's values at `hz` as they are stored, and the warnings of that
    // conversion (appended to those before resampling the front end keeps).
    std::vector<uint8_t> StoredValues(size_t cry, uint32_t hz, AudioWarnings& warnings);
    // A sample of cry `cry` heard against its reference; none when the
    // reference is heard as silence, +infinity when they are the same.
    std::optional<double> HeardSnrDb(size_t cry, std::span<const uint8_t> sample) const;
    bool Refused(size_t cry) const { return cries[cry].refused; }
    // The rate `fit` chose for each cry.
    std::vector<uint32_t> RatesChosen(const Fit& fit) const;

    const std::vector<FitSound>& Sounds() const { return sounds; }

private:
    struct Stored {
        std::vector<uint8_t> values;
        AudioWarnings warnings;
    };
    struct Cry {
        uint32_t referenceHz = 0;
        Stored reference;
        Playback heard;
        std::vector<std::optional<FitRung>> tried;
        bool refused = false;
    };

    Stored Convert(size_t cry, uint32_t hz, const Resampler& resample);

    std::vector<FitSound> sounds;
    GameFamily family;
    FitResamplers resample;
    std::vector<Cry> cries;
};

// The fit of the trials' pack (FitPackToImage) for `request`, one change per
// sound in the same order.
Fit FitTrials(ImageBytes image, const ImageModel& model, const EditRequest& request, PackTrials& trials,
              std::optional<uint64_t> budget);
