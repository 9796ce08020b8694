// What fitting a pack to an image needs of the command line: each cry's
// source read once, weighed at its rates (PackTrials, image/fit_trials.h)
// on every core, and the rates chosen encoded.
#pragma once

#include <optional>
#include <vector>

#include "audio.h"
#include "context.h"
#include "fit.h"
#include "writing.h"

// One cry of a pack: its source conditioned up to resampling, the kind of
// its new sample and the rates it may take (FitRates' order).
struct FitSource {
    SourceAudio audio;
    SampleKind kind = SampleKind::Compressed;
    std::vector<uint32_t> rates;
};

// A cry at the rate chosen for it, encoded.
struct FittedCry {
    EncodedCry cry;
    AudioWarnings warnings;  // the source's, its rate's and its encoding's
    std::optional<double> heardSnrDb;  // against a perfect sample at the input's rate, 13379 Hz at most
};

struct PackFit {
    Fit fit;
    std::vector<uint32_t> rates;   // the rate chosen per source, when the pack fits
    std::vector<FittedCry> cries;  // one per source, when the pack fits and is encoded
};

// Fits `sources` (one per change of `request`, in its order) to the image,
// or to `budget` bytes for the new samples' total, then encodes the rates
// chosen with `encodeWith` (none: the rates are all that is asked). Nothing
// is encoded when the pack does not fit.
PackFit FitSources(const RomContext& ctx, const EditRequest& request, const std::vector<FitSource>& sources,
                   std::optional<uint64_t> budget, std::optional<EncodeMode> encodeWith, bool progress);
