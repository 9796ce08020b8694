#include "fitting.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "fit_trials.h"
#include "parallel.h"
#include "text.h"

namespace {

// The command line's resampler at `quality`, as the fit takes it; libsoxr
// refusing ends the command, or the cry's reading on a worker thread.
Resampler ResamplerAt(ResampleQuality quality) {
    return [quality](std::span<const double> in, double from, double to, std::vector<double>& out) {
        out = ResampleOrFail(in, from, to, quality);
        return true;
    };
}

}  // namespace

PackFit FitSources(const RomContext& ctx, const EditRequest& request, const std::vector<FitSource>& sources,
                   std::optional<uint64_t> budget, std::optional<EncodeMode> encodeWith, bool progress) {
    std::vector<FitSound> sounds;
    for (const FitSource& s : sources)
        sounds.push_back({s.audio.mono, s.audio.rate, s.audio.options, s.kind, s.rates});
    PackTrials trials(std::move(sounds), FamilyOfCode(ctx.model.identity.code),
                      {ResamplerAt(ResampleQuality::High), ResamplerAt(ResampleQuality::Draft)});
    std::vector<std::string> failed = WorkOnEach(sources.size(), [&](size_t i) { trials.Prepare(i); }, progress);
    for (const std::string& f : failed)
        if (!f.empty()) Fail(f);
    PackFit pack;
    pack.fit = FitTrials(ctx.image, ctx.model, request, trials, budget);
    if (!pack.fit.fits) return pack;
    pack.rates = trials.RatesChosen(pack.fit);
    if (!encodeWith) return pack;
    pack.cries.resize(sources.size());
    const EncodeMode mode = *encodeWith;
    failed = WorkOnEach(
        sources.size(),
        [&](size_t i) {
            const FitSource& s = sources[i];
            FittedCry& c = pack.cries[i];
            const uint32_t hz = pack.rates[i];
            c.warnings = s.audio.warnings;
            const Bytes values = trials.StoredValues(i, hz, c.warnings);
            RequireSomeValues(s.audio, values, hz);
            c.cry = EncodeCry(values, s.kind, mode, hz * 1024, s.audio.path);
            c.heardSnrDb = trials.HeardSnrDb(i, c.cry.sample);
            CheckEncoding(c.cry.quality, mode, c.warnings);
        },
        progress);
    for (const std::string& f : failed)
        if (!f.empty()) Fail(f);
    return pack;
}
