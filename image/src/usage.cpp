// What the table's samples take, and would take at lower rates.
#include "usage.h"

#include <algorithm>
#include <map>

#include "plan.h"

namespace {

// Each sound the entries of either table point at, with the entries that play it.
std::map<uint32_t, std::vector<int>> PlayedSamples(ImageBytes image, const ImageModel& model) {
    std::map<uint32_t, std::vector<int>> played;
    auto add = [&](uint32_t table, int i) {
        const Entry e = ReadEntry(image, table, i);
        if (!e.pointsIntoRom || !InspectSample(image, e.offset).Sound()) return;
        std::vector<int>& entries = played[e.offset];
        if (std::find(entries.begin(), entries.end(), i) == entries.end()) entries.push_back(i);
    };
    for (int i = 0; i < model.entries; ++i) add(model.table, i);
    for (int i = 0; model.reverse && i < model.reverseEntries; ++i) add(*model.reverse, i);
    for (auto& [offset, entries] : played) std::sort(entries.begin(), entries.end());
    return played;
}

}  // namespace

uint32_t BytesAtRung(SampleKind kind, uint32_t length, uint32_t rateField, uint32_t hz) {
    const bool above = uint64_t{rateField} > uint64_t{hz} * 1024;
    return SampleBytes(kind, above ? ValuesAtRate(length, rateField, hz) : length);
}

TableUsage MeasureUsage(ImageBytes image, const ImageModel& model) {
    TableUsage u;
    if (!model.HasTable()) return u;
    const std::map<uint32_t, std::vector<int>> played = PlayedSamples(image, model);
    std::map<SampleKind, KindUsage> kinds;
    std::map<uint32_t, RateUsage> rates;
    std::map<std::vector<uint8_t>, DuplicateGroup> copies;
    std::vector<const std::vector<uint8_t>*> order;  // the groups by their first copy
    for (uint32_t hz : FitLadder) u.ladder.push_back({hz, 0, 0});
    for (const auto& [offset, entries] : played) {
        const SampleInfo s = InspectSample(image, offset);
        const SampleKind kind = *s.Kind();
        ++u.samples;
        u.bytes += s.extent;
        KindUsage& k = kinds[kind];
        k.kind = kind, ++k.samples, k.bytes += s.extent;
        RateUsage& r = rates[s.Hz()];
        r.hz = s.Hz(), ++r.samples, r.bytes += s.extent;
        for (RungBytes& rung : u.ladder) rung.bytes += BytesAtRung(kind, s.length, s.rateField, rung.hz);
        const auto [it, fresh] = copies.try_emplace({image.begin() + offset, image.begin() + offset + s.extent});
        if (fresh) order.push_back(&it->first);
        DuplicateGroup& g = it->second;
        g.offsets.push_back(offset);
        g.entries.insert(g.entries.end(), entries.begin(), entries.end());
        g.bytes = s.extent;
    }
    for (const SampleFormat& f : SampleFormats())
        if (kinds.count(f.kind)) u.kinds.push_back(kinds[f.kind]);
    for (const auto& [hz, r] : rates) u.rates.push_back(r);
    for (const std::vector<uint8_t>* bytes : order) {
        DuplicateGroup g = copies[*bytes];
        if (g.offsets.size() < 2) continue;
        std::sort(g.entries.begin(), g.entries.end());
        g.entries.erase(std::unique(g.entries.begin(), g.entries.end()), g.entries.end());
        g.saved = uint64_t{g.bytes} * (g.offsets.size() - 1);
        u.duplicateBytes += g.saved;
        u.duplicates.push_back(std::move(g));
    }
    for (RungBytes& rung : u.ladder) rung.freed = u.bytes - std::min(u.bytes, rung.bytes);
    u.freeBytes = PlanEdits(image, model, {}).freeLeft;
    return u;
}
