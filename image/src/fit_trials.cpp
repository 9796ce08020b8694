// A pack's cries weighed at their rungs: the reference, the draft trials and
// the stored conversion.
#include "fit_trials.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "heard.h"
#include "hearing.h"
#include "samplekind.h"

namespace {

// The rungs every fit that steps at all looks at: a cry's own rate, the next
// one down (the mixer's, for a cry above it) and the one below.
constexpr size_t RungsPrepared = 3;

uint32_t ReferenceRate(const FitSound& s) {
    return static_cast<uint32_t>(std::lround(std::min<double>(s.rate, MaxUsefulRateHz)));
}

}  // namespace

PackTrials::PackTrials(std::vector<FitSound> s, GameFamily f, FitResamplers r)
    : sounds(std::move(s)), family(f), resample(std::move(r)), cries(sounds.size()) {
    for (size_t i = 0; i < sounds.size(); ++i) {
        cries[i].referenceHz = ReferenceRate(sounds[i]);
        cries[i].tried.resize(sounds[i].rates.size());
    }
}

PackTrials::Stored PackTrials::Convert(size_t cry, uint32_t hz, const Resampler& with) {
    const FitSound& s = sounds[cry];
    std::vector<double> resampled;
    Stored out;
    if (!with(s.mono, s.rate, hz, resampled)) {
        cries[cry].refused = true;
        return out;
    }
    out.values = ConditionResampled(resampled, hz, s.options, out.warnings);
    return out;
}

void PackTrials::Prepare(size_t cry) {
    Cry& c = cries[cry];
    c.reference = Convert(cry, c.referenceHz, resample.stored);
    c.heard = HeardRender(PerfectValues(c.reference.values, c.referenceHz * 1024), family);
    for (size_t r = 0; r < std::min(RungsPrepared, c.tried.size()); ++r) Try(cry, r);
}

const FitRung& PackTrials::Try(size_t cry, size_t rung) {
    Cry& c = cries[cry];
    std::optional<FitRung>& t = c.tried[rung];
    if (t) return *t;
    const FitSound& s = sounds[cry];
    const uint32_t hz = s.rates[rung];
    const std::vector<uint8_t> values = hz == c.referenceHz ? c.reference.values : Convert(cry, hz, resample.draft).values;
    const uint32_t n = static_cast<uint32_t>(values.size());
    t = FitRung{n, SampleBytes(s.kind, n), std::numeric_limits<double>::infinity()};
    // Above the mixer's rate only the bytes count: every such cry comes down
    // from there before any step is weighed.
    if (hz <= MaxUsefulRateHz)
        t->heardSnrDb = HeardSnrDb(cry, MakeSample(s.kind, values, hz * 1024, EncodeMode::Fast))
                            .value_or(std::numeric_limits<double>::infinity());
    return *t;
}

std::vector<uint8_t> PackTrials::StoredValues(size_t cry, uint32_t hz, AudioWarnings& warnings) {
    Cry& c = cries[cry];
    Stored s = hz == c.referenceHz ? c.reference : Convert(cry, hz, resample.stored);
    warnings.insert(warnings.end(), s.warnings.begin(), s.warnings.end());
    return std::move(s.values);
}

std::vector<uint32_t> PackTrials::RatesChosen(const Fit& fit) const {
    std::vector<uint32_t> hz;
    for (size_t i = 0; i < sounds.size(); ++i) hz.push_back(sounds[i].rates[fit.rungs[i]]);
    return hz;
}

std::optional<double> PackTrials::HeardSnrDb(size_t cry, std::span<const uint8_t> sample) const {
    const FitSound& s = sounds[cry];
    return RenderSnrDb(cries[cry].heard.samples,
                       HeardRender(ValuesPlayed({.voice = CryVoiceByte(s.kind), .sample = sample}), family).samples);
}

Fit FitTrials(ImageBytes image, const ImageModel& model, const EditRequest& request, PackTrials& trials,
              std::optional<uint64_t> budget) {
    std::vector<SampleKind> kinds;
    std::vector<std::vector<uint32_t>> rates;
    for (const FitSound& s : trials.Sounds()) {
        kinds.push_back(s.kind);
        rates.push_back(s.rates);
    }
    return FitPackToImage(image, model, request, kinds, rates, budget,
                          [&](size_t cry, size_t rung) { return trials.Try(cry, rung); });
}
