// Choosing the rate of each cry of a pack: the rungs, the cost of a sample
// in the space, and the greedy descent.
#include <algorithm>
#include <limits>
#include <set>
#include <utility>

#include "fit.h"

namespace {

constexpr double Never = std::numeric_limits<double>::infinity();

// The quality a step from `from` to `to` dB loses; a step between two exact
// renders loses nothing.
double Loss(double from, double to) { return from == to ? 0 : from - to; }

struct Descent {
    std::span<const std::vector<uint32_t>> rates;
    const FitSpace& space;
    const RungSource& rungOf;
    Fit fit;
    std::vector<FitRung> next;  // per cry, its next rung's figures, when it has one
    std::set<std::pair<double, size_t>> queue;  // (loss per byte saved, cry)

    bool HasNext(size_t cry) const { return fit.rungs[cry] + 1 < rates[cry].size(); }
    uint64_t Taken(size_t cry, const FitRung& r) const { return SpaceTaken(space, cry, r.bytes); }

    // The loss per byte saved of the cry's next step; one that saves no
    // byte comes last.
    double Cost(size_t cry) const {
        const uint64_t now = Taken(cry, fit.chosen[cry]), then = Taken(cry, next[cry]);
        if (then >= now) return Never;
        return Loss(fit.chosen[cry].heardSnrDb, next[cry].heardSnrDb) / double(now - then);
    }

    void Queue(size_t cry) {
        if (!HasNext(cry)) return;
        next[cry] = rungOf(cry, fit.rungs[cry] + 1);
        queue.insert({Cost(cry), cry});
    }

    void Step(size_t cry) {
        fit.taken = fit.taken - Taken(cry, fit.chosen[cry]) + Taken(cry, next[cry]);
        fit.chosen[cry] = next[cry];
        ++fit.rungs[cry];
    }

    bool Fits() const { return fit.taken <= space.capacity; }

    void Run() {
        const size_t n = rates.size();
        fit.rungs.assign(n, 0);
        next.resize(n);
        for (size_t i = 0; i < n; ++i) {
            fit.chosen.push_back(rungOf(i, 0));
            fit.taken += Taken(i, fit.chosen.back());
        }
        if (Fits()) return Done();
        // Nothing above the mixer's rate is heard: those bytes go first, all of them.
        for (size_t i = 0; i < n; ++i)
            if (rates[i].front() > MaxUsefulRateHz && HasNext(i)) {
                next[i] = rungOf(i, 1);
                Step(i);
            }
        for (size_t i = 0; i < n && !Fits(); ++i) Queue(i);
        while (!Fits() && !queue.empty()) {
            const size_t cry = queue.begin()->second;
            queue.erase(queue.begin());
            Step(cry);
            Queue(cry);
        }
        Done();
    }

    void Done() {
        fit.fits = Fits();
        fit.missing = fit.fits ? 0 : fit.taken - space.capacity;
    }
};

uint32_t AlignUp4(uint64_t v) { return static_cast<uint32_t>((v + 3) & ~uint64_t{3}); }

}  // namespace

std::vector<uint32_t> FitRates(uint32_t ownHz, uint32_t minHz) {
    std::vector<uint32_t> rates = {ownHz};
    for (uint32_t hz : FitLadder)
        if (hz < ownHz && hz >= minHz) rates.push_back(hz);
    return rates;
}

uint64_t SpaceTaken(const FitSpace& space, size_t cry, uint64_t bytes) {
    const uint64_t slot = cry < space.slots.size() ? space.slots[cry] : 0;
    if (bytes <= slot) return 0;
    const uint64_t taken = space.align ? AlignUp4(bytes) : bytes;
    return space.reclaim ? taken - slot : taken;
}

bool FitMightHelp(const Plan& plan) {
    return std::any_of(plan.problems.begin(), plan.problems.end(),
                       [](const Problem& p) { return p.kind == PlanProblem::NoFreeSpace; });
}

uint32_t LowestRate(std::span<const uint32_t> hz) { return hz.empty() ? 0 : *std::min_element(hz.begin(), hz.end()); }

uint32_t MedianRate(std::span<const uint32_t> hz) {
    if (hz.empty()) return 0;
    std::vector<uint32_t> sorted(hz.begin(), hz.end());
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    return sorted[sorted.size() / 2];
}

Fit FitPack(std::span<const std::vector<uint32_t>> rates, const FitSpace& space, const RungSource& rungOf) {
    Descent d{rates, space, rungOf, {}, {}, {}};
    d.Run();
    return d.fit;
}
