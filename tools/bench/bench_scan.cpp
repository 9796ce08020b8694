// The cry-table scan over a 32 MiB image file, each run including the open:
// FindTable, which reads by blocks, against FindTableByWords, which reads one
// 4-byte word per call. Two images: random bytes with no entry signature, and
// the same with a signature 4 KiB before the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "fileshells.h"
#include "testdata.h"

namespace {

constexpr uint32_t ImageSize = 32u << 20;
constexpr uint32_t LateEntryAt = ImageSize - 4096;

// Written once per process into the temporary directory.
std::string ImagePath(bool withEntry) {
    static const std::string paths[2] = {
        [] {
            const std::string path = (std::filesystem::temp_directory_path() / "brevox-bench-scan.bin").string();
            WriteFileBytes(path, Noise(ImageSize, 1));
            return path;
        }(),
        [] {
            const std::string path =
                (std::filesystem::temp_directory_path() / "brevox-bench-scan-entry.bin").string();
            Bytes image = Noise(ImageSize, 1);
            const uint8_t entry[CryEntrySize] = {0x20, 0x3C, 0x00, 0x00, 0x00, 0x00, 0x40, 0x08,
                                                 0xFF, 0x00, 0xFF, 0x00};
            std::copy(entry, entry + CryEntrySize, image.begin() + LateEntryAt);
            WriteFileBytes(path, image);
            return path;
        }(),
    };
    return paths[withEntry ? 1 : 0];
}

void Scan(benchmark::State& state, int (*scan)(FILE*), bool withEntry) {
    const std::string path = ImagePath(withEntry);
    const int expected = withEntry ? int(LateEntryAt) : -1;
    for (auto _ : state) {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (f == nullptr) {
            state.SkipWithError("cannot open the image");
            break;
        }
        const int found = scan(f);
        std::fclose(f);
        if (found != expected) {
            state.SkipWithError("wrong scan result");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * ImageSize);
}

void BM_FindTable_NoEntry(benchmark::State& state) { Scan(state, FindTable, false); }
void BM_FindTable_EntryNearEnd(benchmark::State& state) { Scan(state, FindTable, true); }
void BM_FindTableByWords_NoEntry(benchmark::State& state) { Scan(state, FindTableByWords, false); }
void BM_FindTableByWords_EntryNearEnd(benchmark::State& state) { Scan(state, FindTableByWords, true); }

}  // namespace

BENCHMARK(BM_FindTable_NoEntry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindTable_EntryNearEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindTableByWords_NoEntry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindTableByWords_EntryNearEnd)->Unit(benchmark::kMillisecond);
