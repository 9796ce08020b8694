// The BPS writer on images in the games' layout of 16 and 32 MiB: the patch
// of one new cry, and of 388 (every cry replaced by a longer one, those that
// outgrow their slots moved to free space), as --patch and the page write
// them. Reports the patch's size and the bytes the edit changed.
#include <benchmark/benchmark.h>

#include <map>
#include <utility>

#include "bps.h"
#include "image.h"
#include "plan.h"
#include "testdata.h"

namespace {

struct Edit {
    Bytes before, after;
};

const Edit& EditOf(uint32_t mib, int cries) {
    static std::map<std::pair<uint32_t, int>, Edit> edits;
    auto [it, fresh] = edits.try_emplace({mib, cries});
    if (!fresh) return it->second;
    RomPlan layout;
    layout.layout = RomLayout::Game;
    layout.size = mib << 20;
    for (int i = 0; i < GameTableEntries; ++i)
        layout.cries.push_back(DecayingChirp(5000 + (i * 37) % 600, 1500 + i, 300 + i % 200, 3, 10512));
    Edit& edit = it->second;
    edit.before = MakeRom(layout);
    EditRequest request;
    for (int i = 0; i < cries; ++i) {
        const Bytes sound = DecayingChirp(4000 + (i * 53) % 3000, 900 + i, 200 + i % 150, 3, 10512);
        CryChange change;
        change.index = cries == 1 ? 24 : i;
        change.sample.resize(SampleExtent(static_cast<uint32_t>(sound.size())));
        EncodeSample(sound, change.sample, EncodeMode::Fast);
        request.cries.push_back(std::move(change));
    }
    const Plan plan = PlanEdits(edit.before, OpenImage(edit.before), request);
    edit.after = edit.before;
    if (!plan.Ok() || !ApplyPlan(plan, edit.after)) edit.after.clear();
    return edit;
}

void BM_BpsPatch(benchmark::State& state) {
    const Edit& edit = EditOf(static_cast<uint32_t>(state.range(0)), static_cast<int>(state.range(1)));
    if (edit.after.empty()) {
        state.SkipWithError("the edit does not fit the image");
        return;
    }
    size_t bytes = 0;
    for (auto _ : state) {
        const Bytes patch = MakeBps(edit.before, edit.after);
        bytes = patch.size();
        benchmark::DoNotOptimize(patch.data());
    }
    size_t changed = 0;
    for (size_t i = 0; i < edit.before.size(); ++i) changed += edit.before[i] != edit.after[i];
    state.counters["patch_bytes"] = static_cast<double>(bytes);
    state.counters["changed_bytes"] = static_cast<double>(changed);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(edit.before.size()));
}
BENCHMARK(BM_BpsPatch)
    ->ArgNames({"MiB", "cries"})
    ->Args({16, 1})
    ->Args({16, GameTableEntries})
    ->Args({32, 1})
    ->Args({32, GameTableEntries})
    ->Unit(benchmark::kMillisecond);

}  // namespace
