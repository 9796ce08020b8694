// Free space, and the bytes an edit must leave alone.
#include <algorithm>
#include <array>
#include <cstring>

#include "image.h"

// The FF tail is most of a games' image: it is walked back a chunk at a time.
constexpr size_t TailChunk = 64;

Span FreeTail(ImageBytes image) {
    static const std::array<uint8_t, TailChunk> Erased = [] {
        std::array<uint8_t, TailChunk> a;
        a.fill(0xFF);
        return a;
    }();
    size_t end = image.size();
    while (end >= TailChunk && std::memcmp(&image[end - TailChunk], Erased.data(), TailChunk) == 0) end -= TailChunk;
    while (end > 0 && image[end - 1] == 0xFF) --end;
    const uint32_t start = static_cast<uint32_t>(std::min<uint64_t>((uint64_t{end} + 3) & ~uint64_t{3}, image.size()));
    return {start, static_cast<uint32_t>(image.size())};
}

std::vector<Span> FreeRuns(ImageBytes image, Span range, uint32_t minSize) {
    std::vector<Span> runs;
    const uint64_t limit = std::min<uint64_t>(range.end, image.size());
    uint64_t i = (uint64_t{range.start} + 3) & ~uint64_t{3};
    while (i < limit) {
        if (image[i] != 0xFF) {
            i = (i + 4) & ~uint64_t{3};
            continue;
        }
        uint64_t j = i;
        while (j < limit && image[j] == 0xFF) ++j;
        if (j - i >= std::max<uint32_t>(minSize, 1)) runs.push_back({static_cast<uint32_t>(i), static_cast<uint32_t>(j)});
        i = (j + 4) & ~uint64_t{3};
    }
    return runs;
}

std::vector<Span> ProtectedSpans(ImageBytes image, const ImageModel& model) {
    std::vector<Span> spans = {{0, static_cast<uint32_t>(std::min<uint64_t>(RomHeaderSize, image.size()))}};
    if (!model.HasTable()) return spans;
    spans.push_back(model.TableBytes());
    if (model.reverse) spans.push_back(model.ReverseBytes());
    auto addSamplesOf = [&](uint32_t table, int entries) {
        for (int i = 0; i < entries; ++i) {
            const Entry e = ReadEntry(image, table, i);
            if (!e.pointsIntoRom) continue;
            const SampleInfo s = InspectSample(image, e.offset);
            if (s.Sound()) spans.push_back(s.Bytes());
        }
    };
    addSamplesOf(model.table, model.entries);
    if (model.reverse) addSamplesOf(*model.reverse, model.reverseEntries);
    std::sort(spans.begin(), spans.end(), [](Span a, Span b) { return a.start < b.start || (a.start == b.start && a.end < b.end); });
    return spans;
}
