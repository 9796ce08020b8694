// The choice of rates for a pack, against a small model: random packs of a
// few cries with made-up rung figures, each fit checked against a plain
// rescan of every cry at every step, an exhaustive search for whether any
// choice fits, and the rules that hold whatever the figures (nothing above
// 13379 Hz while another cry went lower; no rung asked for twice or before
// its cry may step to it). Then RoomForPack and FitPackToImage on images in
// the games' layout and in a hacks' one, checked by planning the result, and
// the trials that weigh real sounds at their rungs.
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <random>

#include "fit.h"
#include "fit_trials.h"
#include "heard.h"
#include "request.h"
#include "testdata.h"

namespace {

constexpr double Exact = std::numeric_limits<double>::infinity();

struct Pack {
    std::vector<std::vector<uint32_t>> rates;
    std::vector<std::vector<FitRung>> rungs;
    FitSpace space;
};

Pack RandomPack(std::mt19937& rng) {
    const uint32_t own[] = {22050, 16000, 13379, 12000, 11025, 9000, 5000};
    Pack p;
    const size_t n = 1 + rng() % 5;
    uint64_t top = 0;
    for (size_t i = 0; i < n; ++i) {
        p.rates.push_back(FitRates(own[rng() % 7], rng() % 2 ? DefaultMinFitRate : 8000));
        std::vector<FitRung> rungs;
        uint64_t bytes = 2000 + rng() % 3000;
        double snr = rng() % 5 == 0 ? Exact : 20 + rng() % 20;
        for (size_t r = 0; r < p.rates.back().size(); ++r) {
            rungs.push_back({static_cast<uint32_t>(bytes), bytes, snr});
            bytes -= 1 + rng() % 400;
            if (rng() % 4) snr = snr == Exact && rng() % 2 ? Exact : std::min(snr, 40.0) - double(rng() % 8) + 1;
        }
        top += rungs.front().bytes;
        p.rungs.push_back(rungs);
        p.space.slots.push_back(rng() % 3 == 0 ? static_cast<uint32_t>(1500 + rng() % 2000) : 0);
    }
    p.space.align = rng() % 2;
    p.space.reclaim = rng() % 2;
    p.space.capacity = rng() % (top + 1);
    return p;
}

uint64_t Taken(const Pack& p, const std::vector<size_t>& at) {
    uint64_t sum = 0;
    for (size_t i = 0; i < at.size(); ++i) sum += SpaceTaken(p.space, i, p.rungs[i][at[i]].bytes);
    return sum;
}

// The same rule, the whole pack looked at again before every step.
std::vector<size_t> PlainDescent(const Pack& p) {
    std::vector<size_t> at(p.rates.size(), 0);
    if (Taken(p, at) <= p.space.capacity) return at;
    for (size_t i = 0; i < at.size(); ++i)
        if (p.rates[i][0] > 13379 && p.rates[i].size() > 1) at[i] = 1;
    while (Taken(p, at) > p.space.capacity) {
        std::optional<size_t> best;
        double bestCost = 0;
        for (size_t i = 0; i < at.size(); ++i) {
            if (at[i] + 1 >= p.rates[i].size()) continue;
            const FitRung &a = p.rungs[i][at[i]], &b = p.rungs[i][at[i] + 1];
            const uint64_t now = SpaceTaken(p.space, i, a.bytes), then = SpaceTaken(p.space, i, b.bytes);
            const double loss = a.heardSnrDb == b.heardSnrDb ? 0 : a.heardSnrDb - b.heardSnrDb;
            const double cost = then >= now ? Exact : loss / double(now - then);
            if (!best || cost < bestCost) best = i, bestCost = cost;
        }
        if (!best) break;
        ++at[*best];
    }
    return at;
}

// Whether any choice of rungs fits, tried one by one.
bool AnyChoiceFits(const Pack& p, std::vector<size_t>& at, size_t cry = 0) {
    if (cry == at.size()) return Taken(p, at) <= p.space.capacity;
    for (at[cry] = 0; at[cry] < p.rates[cry].size(); ++at[cry])
        if (AnyChoiceFits(p, at, cry + 1)) return true;
    return false;
}

TEST(FitRates, LadderBelowOwnRateDownToTheMinimum) {
    EXPECT_EQ(FitRates(22050, 6000), (std::vector<uint32_t>{22050, 13379, 11025, 10512, 9000, 8000, 7000, 6000}));
    EXPECT_EQ(FitRates(10512, 8000), (std::vector<uint32_t>{10512, 9000, 8000}));
    EXPECT_EQ(FitRates(12000, 10000), (std::vector<uint32_t>{12000, 11025, 10512}));
    EXPECT_EQ(FitRates(5000, 6000), (std::vector<uint32_t>{5000}));
}

TEST(FitPack, RandomPacksAgainstAPlainDescent) {
    std::mt19937 rng(7);
    for (int run = 0; run < 2000; ++run) {
        const Pack p = RandomPack(rng);
        std::map<std::pair<size_t, size_t>, int> asked;
        std::vector<size_t> lowest;
        for (const auto& r : p.rates) lowest.push_back(r.size() - 1);
        const Fit fit = FitPack(p.rates, p.space, [&](size_t cry, size_t rung) {
            ++asked[{cry, rung}];
            return p.rungs[cry][rung];
        });
        SCOPED_TRACE("run " + std::to_string(run));
        ASSERT_EQ(fit.rungs, PlainDescent(p));
        std::vector<size_t> any(p.rates.size());
        EXPECT_EQ(fit.fits, AnyChoiceFits(p, any));
        EXPECT_EQ(fit.taken, Taken(p, fit.rungs));
        if (!fit.fits) {
            EXPECT_EQ(fit.rungs, lowest);
            EXPECT_EQ(fit.missing, Taken(p, lowest) - p.space.capacity);
        }
        bool above = false, below = false;
        for (size_t i = 0; i < fit.rungs.size(); ++i) {
            above |= p.rates[i][fit.rungs[i]] > 13379;
            below |= p.rates[i][fit.rungs[i]] < std::min<uint32_t>(13379, p.rates[i][0]);
            EXPECT_EQ(fit.chosen[i].bytes, p.rungs[i][fit.rungs[i]].bytes);
        }
        EXPECT_FALSE(above && below);
        for (const auto& [key, times] : asked) {
            EXPECT_EQ(times, 1);
            EXPECT_LE(key.second, fit.rungs[key.first] + 1);
        }
    }
}

// Cries of `base` values at 10512 Hz, at each rung as many values as the
// rate gives and a quality that falls with it.
FitRung RungAt(uint32_t base, uint32_t hz, SampleKind kind) {
    const uint32_t values = base * hz / 10512;
    return {values, SampleBytes(kind, values), hz / 500.0};
}

constexpr uint32_t GameBase = 8000, HackBase = 600;

struct Fitted {
    Fit fit;
    Plan plan;
};

Fitted FitToImage(const Bytes& image, const std::vector<int>& indexes, uint32_t base, bool reclaim,
                  std::optional<uint64_t> budget = {}) {
    const ImageModel model = OpenImage(image);
    EditRequest request;
    request.reclaim = reclaim;
    std::vector<SampleKind> kinds;
    std::vector<std::vector<uint32_t>> rates;
    for (int index : indexes) {
        CryChange c;
        c.index = index;
        request.cries.push_back(c);
        kinds.push_back(DefaultsForEntry(image, model, index).kind);
        rates.push_back(FitRates(22050, DefaultMinFitRate));
    }
    Fitted f;
    f.fit = FitPackToImage(image, model, request, kinds, rates, budget,
                           [&](size_t cry, size_t rung) { return RungAt(base, rates[cry][rung], kinds[cry]); });
    for (size_t k = 0; k < indexes.size(); ++k)
        request.cries[k].sample = MakeSample(kinds[k], Bytes(f.fit.chosen[k].values, 0x80),
                                             rates[k][f.fit.rungs[k]] * 1024, EncodeMode::Fast);
    f.plan = PlanEdits(image, model, request);
    return f;
}

TEST(FitPackToImage, GamesLayoutFitsAndPlans) {
    const Bytes image = MakeRom(GameRomPlan(60));
    std::vector<int> all;
    for (int i = 0; i < 60; ++i) all.push_back(i);
    for (bool reclaim : {false, true}) {
        const Fitted f = FitToImage(image, all, GameBase, reclaim);
        ASSERT_TRUE(f.fit.fits);
        EXPECT_TRUE(f.plan.Ok());
        // Not every cry had to go to the lowest rung, nor could all stay at 13379 Hz.
        EXPECT_NE(std::count(f.fit.rungs.begin(), f.fit.rungs.end(), 1), 60);
        EXPECT_NE(std::count(f.fit.rungs.begin(), f.fit.rungs.end(), 7), 60);
    }
    const Fitted budgeted = FitToImage(image, all, GameBase, false, 300000);
    ASSERT_TRUE(budgeted.fit.fits);
    uint64_t total = 0;
    for (const FitRung& r : budgeted.fit.chosen) total += r.bytes;
    EXPECT_LE(total, 300000u);
    const Fitted tooSmall = FitToImage(image, all, GameBase, false, 1000);
    EXPECT_FALSE(tooSmall.fit.fits);
    EXPECT_GT(tooSmall.fit.missing, 0u);
}

TEST(FitPackToImage, HacksLayoutFitsAndPlans) {
    const HackRom hack = MakeHackRom(MixedHackPlan());
    const ImageModel model = OpenImage(hack.rom);
    std::vector<int> all;
    for (int i = 0; i < model.entries; ++i) all.push_back(i);
    const Fitted f = FitToImage(hack.rom, all, HackBase, true);
    ASSERT_TRUE(f.fit.fits);
    EXPECT_TRUE(f.plan.Ok());
}

// A resampler that keeps every `step`th value and counts its calls by rate;
// it refuses 7000 Hz when told to.
struct CountingResampler {
    std::map<uint32_t, int>& calls;
    bool refuse7000 = false;
    bool operator()(std::span<const double> in, double from, double to, std::vector<double>& out) const {
        ++calls[static_cast<uint32_t>(to)];
        if (refuse7000 && to == 7000) return false;
        out.clear();
        for (double at = 0; at < in.size(); at += from / to) out.push_back(in[static_cast<size_t>(at)]);
        return true;
    }
};

TEST(PackTrials, ReferenceRungStoredOtherRungsDraftedEachOnce) {
    std::vector<double> sound(22050 / 2);
    for (size_t i = 0; i < sound.size(); ++i) sound[i] = 0.6 * std::sin(i * 0.21) * std::exp(-3.0 * i / sound.size());
    std::map<uint32_t, int> stored, draft;
    const auto trialsOf = [&](bool refuse7000) {
        std::vector<FitSound> sounds;
        for (SampleKind kind : {SampleKind::Compressed, SampleKind::Uncompressed})
            sounds.push_back({sound, 22050, {}, kind, FitRates(22050, DefaultMinFitRate)});
        return PackTrials(sounds, GameFamily::Third, {CountingResampler{stored}, CountingResampler{draft, refuse7000}});
    };
    PackTrials trials = trialsOf(false);
    for (size_t cry = 0; cry < 2; ++cry) {
        trials.Prepare(cry);
        const std::vector<uint32_t>& rates = trials.Sounds()[cry].rates;
        for (size_t rung = 0; rung < rates.size(); ++rung) trials.Try(cry, rung), trials.Try(cry, rung);
        // 13379 Hz is weighed on the stored conversion, which the cry stores there too.
        AudioWarnings warnings;
        const Bytes at13379 = trials.StoredValues(cry, 13379, warnings);
        const SampleKind kind = trials.Sounds()[cry].kind;
        EXPECT_EQ(trials.Try(cry, 1).values, at13379.size());
        EXPECT_EQ(trials.Try(cry, 1).heardSnrDb, trials.HeardSnrDb(cry, MakeSample(kind, at13379, 13379 * 1024, EncodeMode::Fast)));
        // A perfect sample at the reference's rate is heard as the reference.
        if (kind == SampleKind::Uncompressed) {
            EXPECT_EQ(trials.HeardSnrDb(cry, MakeSample(kind, at13379, 13379 * 1024, EncodeMode::Fast)),
                      std::numeric_limits<double>::infinity());
        }
        // Each rung weighs less the lower it goes; its figures are the bytes its values take.
        for (size_t rung = 1; rung < rates.size(); ++rung) {
            EXPECT_LT(trials.Try(cry, rung).values, trials.Try(cry, rung - 1).values);
            EXPECT_EQ(trials.Try(cry, rung).bytes, SampleBytes(kind, trials.Try(cry, rung).values));
        }
        EXPECT_EQ(trials.StoredValues(cry, 8000, warnings).size(), trials.Try(cry, 5).values);
    }
    EXPECT_EQ(stored, (std::map<uint32_t, int>{{8000, 2}, {13379, 2}}));
    for (uint32_t hz : {11025u, 10512u, 9000u, 8000u, 7000u, 6000u}) EXPECT_EQ(draft[hz], 2) << hz;
    EXPECT_EQ(draft.count(13379), 0u);
    EXPECT_FALSE(trials.Refused(0));
    Fit chosen;
    chosen.rungs = {1, 5};
    EXPECT_EQ(trials.RatesChosen(chosen), (std::vector<uint32_t>{13379, 8000}));
    // A conversion the resampler refuses marks the cry.
    PackTrials refusing = trialsOf(true);
    refusing.Prepare(0);
    refusing.Try(0, 6);
    EXPECT_TRUE(refusing.Refused(0));
    EXPECT_FALSE(refusing.Refused(1));
}

TEST(FitRates, LowestAndMedian) {
    EXPECT_EQ(LowestRate(std::vector<uint32_t>{9000, 6000, 13379}), 6000u);
    EXPECT_EQ(MedianRate(std::vector<uint32_t>{9000, 6000, 13379}), 9000u);
    EXPECT_EQ(LowestRate(std::vector<uint32_t>{}), 0u);
    EXPECT_EQ(MedianRate(std::vector<uint32_t>{}), 0u);
}

}  // namespace
