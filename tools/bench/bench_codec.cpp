// Codec throughput in samples per second: the in-memory layer, and the file
// shells Compress and Dump over real files in the temporary directory.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "crylib.h"
#include "testdata.h"

// Five seconds of a sweep at the games' rate: long enough to cover many
// blocks, short enough for one sample (at most 65535).
constexpr uint32_t BenchSamples = 5 * 11050;

static const Bytes& BenchSound() {
    static const Bytes sound = Sweep(BenchSamples, 200, 3000);
    return sound;
}

static std::string BenchPath(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

static void ReportSamples(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * BenchSamples);
    state.counters["samples/s"] =
        benchmark::Counter(static_cast<double>(BenchSamples), benchmark::Counter::kIsIterationInvariantRate);
}

static void BM_EncodeSample(benchmark::State& state) {
    const Bytes& sound = BenchSound();
    Bytes sample(SampleSpan(BenchSamples));
    for (auto _ : state) {
        benchmark::DoNotOptimize(EncodeSample(sound, sample));
        benchmark::ClobberMemory();
    }
    ReportSamples(state);
}
BENCHMARK(BM_EncodeSample);

static void BM_DecodeSample(benchmark::State& state) {
    Bytes sample(SampleSpan(BenchSamples));
    EncodeSample(BenchSound(), sample);
    Bytes wav(BenchSamples);
    for (auto _ : state) {
        DecodeSample(sample, 0, wav);
        benchmark::ClobberMemory();
    }
    ReportSamples(state);
}
BENCHMARK(BM_DecodeSample);

static void BM_CompressFile(benchmark::State& state) {
    const std::string wavPath = BenchPath("brevox-bench-in.wav");
    const std::string romPath = BenchPath("brevox-bench.gba");
    WriteFileBytes(wavPath, MakeWav(BenchSound()));
    WriteFileBytes(romPath, Bytes(0x10000, 0xFF));
    for (auto _ : state) {
        CryError error = CryOk;
        Compress(wavPath.c_str(), 0x100, romPath.c_str(), &error);
        if (error != CryOk) state.SkipWithError("Compress failed");
    }
    ReportSamples(state);
    std::filesystem::remove(wavPath);
    std::filesystem::remove(romPath);
}
BENCHMARK(BM_CompressFile);

static void BM_DumpFile(benchmark::State& state) {
    const std::string romPath = BenchPath("brevox-bench-dump.gba");
    const std::string wavPath = BenchPath("brevox-bench-out.wav");
    Bytes rom(SampleSpan(BenchSamples));
    EncodeSample(BenchSound(), rom);
    WriteFileBytes(romPath, rom);
    for (auto _ : state) {
        CryError error = CryOk;
        Dump(romPath.c_str(), 0, wavPath.c_str(), &error);
        if (error != CryOk) state.SkipWithError("Dump failed");
    }
    ReportSamples(state);
    std::filesystem::remove(romPath);
    std::filesystem::remove(wavPath);
}
BENCHMARK(BM_DumpFile);
