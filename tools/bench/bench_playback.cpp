// The playback model: every mode of every cry of an image in the games'
// layout (388 cries of half a second to a second and a half at 10512 Hz),
// against a plain decode of the same cries, and the heard SNR of each cry
// against its decoded values. One core; figures, not limits.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <vector>

#include "heard.h"
#include "image.h"
#include "playback.h"
#include "testdata.h"

namespace {

struct BenchImage {
    Bytes image;
    ImageModel model;
};

const BenchImage& Image() {
    static const BenchImage b = [] {
        RomPlan plan;
        plan.layout = RomLayout::Game;
        plan.size = 16 << 20;
        for (int i = 0; i < GameTableEntries; ++i)
            plan.cries.push_back(DecayingChirp(5000 + (i * 97) % 10000, 1500 + i, 300 + i % 200, 3, 10512));
        BenchImage made{MakeRom(plan), {}};
        made.model = OpenImage(made.image);
        return made;
    }();
    return b;
}

PlayedEntry EntryOf(const BenchImage& b, uint32_t table, int index) {
    const Entry e = ReadEntry(b.image, table, index);
    return {static_cast<uint8_t>(e.firstWord), std::span<const uint8_t>(b.image).subspan(e.offset)};
}

// Every cry decoded once, as dump does: the work the render is compared with.
size_t DecodeAll(const BenchImage& b) {
    size_t values = 0;
    for (int i = 0; i < b.model.entries; ++i)
        values += DecodeToUnsigned(b.image, InspectSample(b.image, ReadEntry(b.image, b.model.table, i).offset)).size();
    return values;
}

// CPU seconds of the work: the machine is shared, so wall time says little.
double SecondsOf(const std::function<void()>& work) {
    const std::clock_t start = std::clock();
    work();
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

// The fastest of a few decodes of the whole table.
double DecodeSeconds() {
    static const double seconds = [] {
        double best = 1e9;
        for (int run = 0; run < 20; ++run)
            best = std::min(best, SecondsOf([] { benchmark::DoNotOptimize(DecodeAll(Image())); }));
        return best;
    }();
    return seconds;
}

void BM_PlaybackDecodeAll(benchmark::State& state) {
    const BenchImage& b = Image();
    for (auto _ : state) benchmark::DoNotOptimize(DecodeAll(b));
    state.counters["cries"] = b.model.entries;
}
BENCHMARK(BM_PlaybackDecodeAll)->Unit(benchmark::kMillisecond);

// Each mode renders the entry it plays from its bytes, as render does;
// with `shared`, the modes that play the same entry share one reading.
void RenderEntry(const BenchImage& b, int i, bool shared) {
    const PlayedEntry cry = EntryOf(b, b.model.table, i), reverse = EntryOf(b, *b.model.reverse, i);
    const std::span<const CryMode> modes = CryModes(GameFamily::Third);
    if (!shared) {
        for (const CryMode& m : modes) benchmark::DoNotOptimize(RenderCry(m.reverse ? reverse : cry, m));
        return;
    }
    const PlayedValues ahead = ValuesPlayed(cry), back = ValuesPlayed(reverse);
    for (const CryMode& m : modes)
        benchmark::DoNotOptimize(RenderValues(m.reverse ? back : ahead, PlaysBackwards((m.reverse ? reverse : cry).voice), m));
}

void RenderAllModes(benchmark::State& state, bool shared) {
    const BenchImage& b = Image();
    const std::span<const CryMode> modes = CryModes(GameFamily::Third);
    double seconds = 0;
    for (auto _ : state) {
        seconds += SecondsOf([&] {
            for (int i = 0; i < b.model.entries; ++i) RenderEntry(b, i, shared);
        });
    }
    const double perRun = seconds / static_cast<double>(state.iterations());
    state.counters["renders"] = static_cast<double>(b.model.entries * modes.size());
    state.counters["x_decode"] = perRun / DecodeSeconds();
    state.counters["x_decode_per_mode"] = perRun / DecodeSeconds() / static_cast<double>(modes.size());
}

void BM_PlaybackRenderAllModes(benchmark::State& state) { RenderAllModes(state, false); }
BENCHMARK(BM_PlaybackRenderAllModes)->Unit(benchmark::kMillisecond);

void BM_PlaybackRenderAllModesSharedReading(benchmark::State& state) { RenderAllModes(state, true); }
BENCHMARK(BM_PlaybackRenderAllModesSharedReading)->Unit(benchmark::kMillisecond);

// The heard SNR of every cry against a perfect sample of its own values, as
// an import measures each new sample (a rate search many times over).
void BM_PlaybackHeardSnr(benchmark::State& state) {
    const BenchImage& b = Image();
    std::vector<PlayedValues> perfect, coded;
    for (int i = 0; i < b.model.entries; ++i) {
        const SampleInfo s = InspectSample(b.image, ReadEntry(b.image, b.model.table, i).offset);
        perfect.push_back(PerfectValues(DecodeToUnsigned(b.image, s), s.rateField));
        coded.push_back(ValuesPlayed(EntryOf(b, b.model.table, i)));
    }
    double seconds = 0;
    for (auto _ : state) {
        seconds += SecondsOf([&] {
            for (size_t i = 0; i < perfect.size(); ++i)
                benchmark::DoNotOptimize(HeardSnrDb(perfect[i], coded[i], GameFamily::Third));
        });
    }
    state.counters["per_cry_us"] = seconds / static_cast<double>(state.iterations() * perfect.size()) * 1e6;
}
BENCHMARK(BM_PlaybackHeardSnr)->Unit(benchmark::kMillisecond);

}  // namespace
