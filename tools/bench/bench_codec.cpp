// Codec throughput in samples per second: the in-memory layer, and the file
// shells Compress and Dump over real files in the temporary directory.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "fileshells.h"
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
}

static void BM_EncodeSample(benchmark::State& state) {
    const Bytes& sound = BenchSound();
    Bytes sample(SampleExtent(BenchSamples));
    for (auto _ : state) {
        benchmark::DoNotOptimize(EncodeSample(sound, sample));
        benchmark::ClobberMemory();
    }
    ReportSamples(state);
}
BENCHMARK(BM_EncodeSample);

static Bytes BenchSample() {
    Bytes sample(SampleExtent(BenchSamples));
    EncodeSample(BenchSound(), sample);
    return sample;
}

static void BM_DecodeSample(benchmark::State& state) {
    const Bytes sample = BenchSample();
    Bytes wav(BenchSamples);
    for (auto _ : state) {
        DecodeSample(sample, 0, wav);
        benchmark::ClobberMemory();
    }
    ReportSamples(state);
}
BENCHMARK(BM_DecodeSample);

// Times one file shell call per iteration: `input` is written once, the
// output file is opened, written and closed by every call.
template <class Shell>
static void RunFileShell(benchmark::State& state, const Bytes& input, Shell shell) {
    const std::string in = BenchPath("brevox-bench-codec.in");
    const std::string out = BenchPath("brevox-bench-codec.out");
    WriteFileBytes(in, input);
    for (auto _ : state) {
        if (shell(in.c_str(), out.c_str()) != CryOk) state.SkipWithError("the file shell failed");
    }
    ReportSamples(state);
    std::filesystem::remove(in);
    std::filesystem::remove(out);
}

static void BM_CompressFile(benchmark::State& state) {
    RunFileShell(state, MakeWav(BenchSound()), [](const char* wav, const char* rom) {
        CryError error = CryOk;
        Compress(wav, 0, rom, &error);
        return error;
    });
}
BENCHMARK(BM_CompressFile)->UseRealTime();

static void BM_DumpFile(benchmark::State& state) {
    RunFileShell(state, BenchSample(), [](const char* rom, const char* wav) {
        CryError error = CryOk;
        Dump(rom, 0, wav, &error);
        return error;
    });
}
BENCHMARK(BM_DumpFile)->UseRealTime();
