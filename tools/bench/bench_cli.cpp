// brevox-cli as a whole process: list and dump-all over a synthetic 16 MiB
// ROM of 412 cries, list --json over one of 388 in the games' layout (its
// cries heard as the game plays them), and import of a pack of 388 cries, start-up, reading,
// the reverse-table search and the writes included. Each iteration runs the
// built program once; cpu_ms adds up its time on every core.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "image.h"
#include "testdata.h"

#ifdef BREVOX_CLI_PATH

namespace {

constexpr int BenchCries = 412;

// Half a second to a second and a half per cry, as the games' cries run.
const std::string& BenchRom() {
    static const std::string path = [] {
        RomPlan plan;
        plan.size = 16 << 20;
        for (int i = 0; i < BenchCries; ++i)
            plan.cries.push_back(DecayingChirp(5000 + (i * 97) % 10000, 1500 + i, 300 + i % 200));
        std::string p = (std::filesystem::temp_directory_path() / "brevox-bench-cli.gba").string();
        WriteFileBytes(p, MakeRom(plan));
        return p;
    }();
    return path;
}

// An image in the games' layout of their 388 cries, 16 MiB, for list --json,
// which renders each cry as the game plays it.
const std::string& GamesRom() {
    static const std::string path = [] {
        RomPlan plan;
        plan.layout = RomLayout::Game;
        plan.size = 16 << 20;
        for (int i = 0; i < GameTableEntries; ++i)
            plan.cries.push_back(DecayingChirp(5000 + (i * 97) % 10000, 1500 + i, 300 + i % 200, 3, GameSampleRate));
        std::string p = (std::filesystem::temp_directory_path() / "brevox-bench-cli-games.gba").string();
        WriteFileBytes(p, MakeRom(plan));
        return p;
    }();
    return path;
}

// The processor time of every child waited for so far, user and system.
double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs cmd once per iteration; the counter cpu_ms is the processor time the
// program took per run, on every core it used.
void RunCommand(benchmark::State& state, const std::string& cmd) {
    const double before = ChildCpuSeconds();
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError(("failed: " + cmd).c_str());
            break;
        }
    }
    state.counters["cpu_ms"] =
        benchmark::Counter((ChildCpuSeconds() - before) * 1e3, benchmark::Counter::kAvgIterations);
}

void RunCli(benchmark::State& state, const std::string& args) {
    RunCommand(state, std::string("'") + BREVOX_CLI_PATH + "' " + args + " >/dev/null");
}

void BM_CliList(benchmark::State& state) { RunCli(state, "list '" + BenchRom() + "'"); }
BENCHMARK(BM_CliList)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CliListJson(benchmark::State& state) { RunCli(state, "list --json '" + BenchRom() + "'"); }
BENCHMARK(BM_CliListJson)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CliListJsonGames(benchmark::State& state) { RunCli(state, "list --json '" + GamesRom() + "'"); }
BENCHMARK(BM_CliListJsonGames)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CliDumpAll(benchmark::State& state) {
    const std::string dir = (std::filesystem::temp_directory_path() / "brevox-bench-cli-cries").string();
    RunCli(state, "dump-all '" + BenchRom() + "' '" + dir + "'");
    std::filesystem::remove_all(dir);
    state.counters["cries"] = BenchCries;
}
BENCHMARK(BM_CliDumpAll)->Unit(benchmark::kMillisecond)->UseRealTime();

// A pack of 388 cries of about half a second each, as dump-all writes them
// from an image in the games' layout, imported as a whole process: every
// file read and encoded with the best coder, one plan, the image written.
void BM_CliImportPack(benchmark::State& state) {
    namespace fs = std::filesystem;
    static const fs::path dir = fs::temp_directory_path() / "brevox-bench-import";
    static const std::string pristine = [] {
        RomPlan plan;
        plan.layout = RomLayout::Game;
        plan.size = 16 << 20;
        for (int i = 0; i < GameTableEntries; ++i)
            plan.cries.push_back(DecayingChirp(5000 + (i * 37) % 600, 1500 + i, 300 + i % 200, 3, 10512));
        fs::create_directories(dir);
        const std::string p = (dir / "pack.gba").string();
        WriteFileBytes(p, MakeRom(plan));
        std::system(("'" + std::string(BREVOX_CLI_PATH) + "' dump-all '" + p + "' '" + (dir / "cries").string() +
                     "' >/dev/null")
                        .c_str());
        return p;
    }();
    const std::string rom = (dir / "work.gba").string();
    const std::string cmd = "cp '" + pristine + "' '" + rom + "' && '" + BREVOX_CLI_PATH + "' import '" + rom + "' '" +
                            (dir / "cries").string() + "' >/dev/null";
    RunCommand(state, cmd);
    state.counters["cries"] = GameTableEntries;
}
BENCHMARK(BM_CliImportPack)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

#endif
