#include "fitting.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "heard.h"
#include "hearing.h"
#include "parallel.h"
#include "playback.h"
#include "text.h"

namespace {

struct Trials {
    const std::vector<FitSource>& sources;
    GameFamily family;
    std::vector<Playback> references;            // per cry
    std::vector<std::vector<std::optional<FitRung>>> tried;  // per cry and rung

    // The best the game could play of the input: a perfect sample at the
    // input's own rate, or at the mixer's when the input's is higher. Every
    // rung of a cry, and every choice of rates, is measured against it.
    static uint32_t ReferenceRate(const FitSource& s) {
        return static_cast<uint32_t>(std::lround(std::min<double>(s.audio.rate, MaxUsefulRateHz)));
    }

    Playback Heard(std::span<const uint8_t> sample, SampleKind kind) const {
        return HeardRender(ValuesPlayed({.voice = CryVoiceByte(kind), .sample = sample}), family);
    }

    // Against the reference; a cry heard as silence loses nothing.
    double HeardSnr(size_t cry, std::span<const uint8_t> sample) const {
        const FitSource& s = sources[cry];
        return RenderSnrDb(references[cry].samples, Heard(sample, s.kind).samples)
            .value_or(std::numeric_limits<double>::infinity());
    }

    void Reference(size_t cry) {
        const FitSource& s = sources[cry];
        const uint32_t hz = ReferenceRate(s);
        references[cry] = HeardRender(PerfectValues(SourceAt(s.audio, hz).samples, hz * 1024), family);
    }

    // A rung is weighed on a draft of the resampling, as many values as the
    // conversion stored gives and many times faster: its losses rank the
    // steps, and the rate chosen is converted again in full.
    const FitRung& Try(size_t cry, size_t rung) {
        std::optional<FitRung>& t = tried[cry][rung];
        if (t) return *t;
        const FitSource& s = sources[cry];
        const uint32_t hz = s.rates[rung];
        const Bytes draft = SourceAt(s.audio, hz, ResampleQuality::Draft).samples;
        const uint32_t values = static_cast<uint32_t>(draft.size());
        t = FitRung{values, SampleBytes(s.kind, values), std::numeric_limits<double>::infinity()};
        // Above the mixer's rate only the bytes count: every such cry comes
        // down from there before any step is weighed.
        if (hz <= MaxUsefulRateHz)
            t->heardSnrDb = HeardSnr(cry, MakeSample(s.kind, draft, hz * 1024, EncodeMode::Fast));
        return *t;
    }
};

}  // namespace

PackFit FitSources(const RomContext& ctx, const EditRequest& request, const std::vector<FitSource>& sources,
                   std::optional<uint64_t> budget, std::optional<EncodeMode> encodeWith, bool progress) {
    Trials trials{sources, FamilyOfCode(ctx.model.identity.code), std::vector<Playback>(sources.size()), {}};
    for (const FitSource& s : sources) trials.tried.emplace_back(s.rates.size());
    // Every cry's first two rungs are looked at whenever the pack does not
    // fit as it is: on every core at once. Later rungs only when asked.
    std::vector<std::string> failed = WorkOnEach(
        sources.size(),
        [&](size_t i) {
            trials.Reference(i);
            for (size_t r = 0; r < std::min<size_t>(2, sources[i].rates.size()); ++r) trials.Try(i, r);
        },
        progress);
    for (const std::string& f : failed)
        if (!f.empty()) Fail(f);
    std::vector<SampleKind> kinds;
    std::vector<std::vector<uint32_t>> rates;
    for (const FitSource& s : sources) {
        kinds.push_back(s.kind);
        rates.push_back(s.rates);
    }
    PackFit pack;
    pack.fit = FitPackToImage(ctx.image, ctx.model, request, kinds, rates, budget,
                              [&](size_t cry, size_t rung) { return trials.Try(cry, rung); });
    if (!pack.fit.fits) return pack;
    pack.cries.resize(sources.size());
    for (size_t i = 0; i < sources.size(); ++i) pack.cries[i].hz = sources[i].rates[pack.fit.rungs[i]];
    if (!encodeWith) return pack;
    const EncodeMode mode = *encodeWith;
    failed = WorkOnEach(
        sources.size(),
        [&](size_t i) {
            const FitSource& s = sources[i];
            FittedCry& c = pack.cries[i];
            const LoadedAudio audio = SourceAt(s.audio, c.hz);
            c.cry = EncodeCry(audio.samples, s.kind, mode, c.hz * 1024, s.audio.path);
            c.heardSnrDb = trials.HeardSnr(i, c.cry.sample);
            c.warnings = audio.warnings;
            CheckEncoding(c.cry.quality, mode, c.warnings);
        },
        progress);
    for (const std::string& f : failed)
        if (!f.empty()) Fail(f);
    return pack;
}

uint32_t LowestRate(const PackFit& pack) {
    uint32_t lowest = 0;
    for (const FittedCry& c : pack.cries) lowest = lowest ? std::min(lowest, c.hz) : c.hz;
    return lowest;
}

uint32_t MedianRate(const PackFit& pack) {
    std::vector<uint32_t> hz;
    for (const FittedCry& c : pack.cries) hz.push_back(c.hz);
    if (hz.empty()) return 0;
    std::nth_element(hz.begin(), hz.begin() + hz.size() / 2, hz.end());
    return hz[hz.size() / 2];
}
