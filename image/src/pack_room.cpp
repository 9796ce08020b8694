// The space an image gives a pack of new cries, and a fit to it checked
// against the plan it would get.
#include <algorithm>
#include <map>

#include "fit.h"

namespace {

// Planned again at most this many times with less capacity before a fit
// that the plan cannot place is given up.
constexpr int FitAttempts = 8;

// A sample of `kind` holding `values` values of silence: the bytes, not the
// sound, are what a plan places.
std::vector<uint8_t> SilentSample(SampleKind kind, uint32_t values) {
    return MakeSample(kind, std::vector<uint8_t>(values, 0x80), GameRateField, EncodeMode::Fast);
}

// The request with every cry's sample replaced by silence of that many values.
// Silences of one length are identical, and the real samples are not: they
// are not to share one copy.
EditRequest Sized(const EditRequest& request, std::span<const SampleKind> kinds, std::span<const uint32_t> values) {
    EditRequest sized = request;
    sized.share = false;
    for (size_t k = 0; k < sized.cries.size(); ++k) sized.cries[k].sample = SilentSample(kinds[k], values[k]);
    return sized;
}

// The bytes of the new samples the plan found no free space for.
uint64_t BytesMissed(const Plan& plan) {
    uint64_t missed = 0;
    for (const Problem& p : plan.problems)
        if (p.kind == PlanProblem::NoFreeSpace) missed += (p.bytes + 3) & ~uint64_t{3};
    return missed;
}

}  // namespace

FitSpace RoomForPack(ImageBytes image, const ImageModel& model, const EditRequest& request) {
    // A one-value sample stays in any slot that holds a sound, so the plan
    // moves only the cries that have none, or whose sample other entries
    // still play (the edit moves them alone), and tells each slot's bytes.
    const std::vector<SampleKind> kinds(request.cries.size(), SampleKind::Compressed);
    const std::vector<uint32_t> one(request.cries.size(), 1);
    EditRequest probe = Sized(request, kinds, one);
    probe.reclaim = false;
    const Plan plan = PlanEdits(image, model, probe);
    FitSpace space;
    space.reclaim = request.reclaim;
    space.capacity = plan.freeLeft + plan.bytesUsed;
    std::map<int, uint32_t> slots;
    for (const CryPlan& c : plan.cries) slots[c.index] = c.moved ? 0 : c.oldBytes;
    for (const CryChange& c : request.cries) space.slots.push_back(slots.count(c.index) ? slots[c.index] : 0);
    return space;
}

Fit FitPackToImage(ImageBytes image, const ImageModel& model, const EditRequest& request,
                   std::span<const SampleKind> kinds, std::span<const std::vector<uint32_t>> rates,
                   std::optional<uint64_t> budget, const RungSource& rungOf) {
    std::map<std::pair<size_t, size_t>, FitRung> asked;
    const RungSource once = [&](size_t cry, size_t rung) {
        const auto key = std::make_pair(cry, rung);
        if (!asked.count(key)) asked[key] = rungOf(cry, rung);
        return asked[key];
    };
    FitSpace space = budget ? FitSpace{.capacity = *budget, .slots = {}, .align = false, .reclaim = false}
                            : RoomForPack(image, model, request);
    Fit fit;
    for (int attempt = 0; attempt < FitAttempts; ++attempt) {
        fit = FitPack(rates, space, once);
        if (!fit.fits) return fit;
        std::vector<uint32_t> values;
        for (const FitRung& r : fit.chosen) values.push_back(r.values);
        const uint64_t missed = BytesMissed(PlanEdits(image, model, Sized(request, kinds, values)));
        // Other problems are the plan's own to tell.
        if (missed == 0) return fit;
        const uint64_t placed = std::min(space.capacity, fit.taken);
        space.capacity = placed > missed ? placed - missed : 0;
        fit.fits = false;
        fit.missing = missed;
    }
    return fit;
}
