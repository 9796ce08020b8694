// brevox-cli as a whole process: list and dump-all over a synthetic 16 MiB
// ROM of 412 cries, list --json over one of 388 in the games' layout (its
// cries heard as the game plays them), and import of a pack of 388 cries (as
// it is, and fitted by its rates with --fit), start-up, reading,
// the reverse-table search and the writes included. Each iteration runs the
// built program once; cpu_ms adds up its time on every core.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "fit.h"
#include "image.h"
#include "testdata.h"

#ifdef BREVOX_CLI_PATH

namespace {

namespace fs = std::filesystem;

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

// import --fit: 388 cries at 22050 Hz, 16-bit, into an image in the games'
// layout where they do not fit at 13379 Hz, against a plain import of the
// same pack at the highest single rate of the ladder that fits (the simplest
// alternative). Counters: the rates --fit chose (lowest, median), the new
// samples' bytes, and the worst and median SNR as heard of both choices, as
// brevox-cli reports them (--fit --rate R --min-rate R gives the one-rate
// choice its heard figures against the same reference).
constexpr uint32_t PackRate = 22050;

// Half a second to a second of sound, some dark (low tones, which lose
// little at a lower rate), some bright (noise bursts, fast chirps), as 16-bit
// values.
Bytes PackCry(int i) {
    std::mt19937 rng(static_cast<uint32_t>(i));
    const uint32_t n = PackRate / 2 + (i * 53) % (PackRate / 2);
    const double base = 150 + (i * 37) % 400, top = i % 3 == 0 ? 6000 : i % 3 == 1 ? 2500 : 900;
    const double noise = i % 4 == 0 ? 0.3 : 0.02;
    std::normal_distribution<double> white(0, 1);
    Bytes data(2 * n);
    double phase = 0;
    for (uint32_t k = 0; k < n; ++k) {
        const double t = double(k) / n;
        phase += 2 * 3.14159265358979 * (base + (top - base) * t) / PackRate;
        const double v = (std::sin(phase) + noise * white(rng)) * std::exp(-3 * t) * 0.6;
        PutLe16(&data[2 * k], static_cast<uint16_t>(static_cast<int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32000))));
    }
    return MakeWav(data, PackRate, 1, 16);
}

struct Setup {
    fs::path dir, pristine, cries;
    uint32_t oneRate = 0;  // the highest ladder rate at which every cry fits
};

int FitCli(const std::string& args, const fs::path& out = "/dev/null") {
    return std::system(("'" + std::string(BREVOX_CLI_PATH) + "' " + args + " >'" + out.string() + "' 2>/dev/null").c_str());
}

const Setup& Pack() {
    static const Setup setup = [] {
        Setup s;
        s.dir = fs::temp_directory_path() / "brevox-bench-fit";
        s.cries = s.dir / "cries";
        fs::create_directories(s.cries);
        RomPlan plan;
        plan.layout = RomLayout::Game;
        plan.size = 2 << 20;
        for (int i = 0; i < GameTableEntries; ++i)
            plan.cries.push_back(DecayingChirp(5000 + (i * 37) % 600, 1500 + i, 300 + i % 200, 3, 10512));
        s.pristine = s.dir / "pack.gba";
        WriteFileBytes(s.pristine.string(), MakeRom(plan));
        for (int i = 0; i < GameTableEntries; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "cry-%03d.wav", i + 1);
            WriteFileBytes((s.cries / name).string(), PackCry(i));
        }
        for (uint32_t hz : FitLadder)
            if (FitCli("import --dry-run --rate " + std::to_string(hz) + " '" + s.pristine.string() + "' '" + s.cries.string() + "'") == 0) {
                s.oneRate = hz;
                break;
            }
        return s;
    }();
    return setup;
}

std::string FileText(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every number that follows "key": in the JSON text (nulls left out).
std::vector<double> Numbers(const std::string& json, const std::string& key) {
    std::vector<double> found;
    const std::string needle = "\"" + key + "\":";
    for (size_t at = json.find(needle); at != std::string::npos; at = json.find(needle, at + 1)) {
        const char* start = json.c_str() + at + needle.size();
        char* end = nullptr;
        const double v = std::strtod(start, &end);
        if (end != start) found.push_back(v);
    }
    return found;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}
double Worst(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

// Each iteration imports into a fresh copy of the image; the last run's JSON
// is kept in `json`.
void RunImport(benchmark::State& state, const std::string& options, const fs::path& json) {
    const Setup& s = Pack();
    if (!s.oneRate) return state.SkipWithError("no single rate of the ladder fits the pack");
    const std::string rom = (s.dir / "work.gba").string();
    RunCommand(state, "cp '" + s.pristine.string() + "' '" + rom + "' && '" + BREVOX_CLI_PATH + "' import --json " +
                          options + " '" + rom + "' '" + s.cries.string() + "' >'" + json.string() + "' 2>/dev/null");
}

void BM_CliImportFit(benchmark::State& state) {
    const Setup& s = Pack();
    const fs::path json = s.dir / "fit.json";
    RunImport(state, "--fit --rate " + std::to_string(PackRate), json);
    const std::string fit = FileText(json);
    const std::vector<double> heard = Numbers(fit, "snr_heard_db");
    state.counters["bytes"] = Numbers(fit, "bytes").empty() ? 0 : Numbers(fit, "bytes").back();
    state.counters["lowest_hz"] = Numbers(fit, "lowest_rate").empty() ? 0 : Numbers(fit, "lowest_rate")[0];
    state.counters["median_hz"] = Numbers(fit, "median_rate").empty() ? 0 : Numbers(fit, "median_rate")[0];
    state.counters["worst_heard_db"] = Worst(heard);
    state.counters["median_heard_db"] = Median(heard);
    // The one-rate choice, measured against the same reference.
    const fs::path one = s.dir / "one.json";
    const std::string hz = std::to_string(s.oneRate);
    FitCli("import --json --dry-run --fit --rate " + hz + " --min-rate " + hz + " '" + s.pristine.string() + "' '" +
            s.cries.string() + "'",
        one);
    const std::vector<double> flat = Numbers(FileText(one), "snr_heard_db");
    state.counters["one_rate_hz"] = s.oneRate;
    state.counters["one_rate_worst_db"] = Worst(flat);
    state.counters["one_rate_median_db"] = Median(flat);
}
BENCHMARK(BM_CliImportFit)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The same pack, imported plainly at the one rate that fits.
void BM_CliImportOneRate(benchmark::State& state) {
    const Setup& s = Pack();
    RunImport(state, "--rate " + std::to_string(s.oneRate), s.dir / "plain.json");
    state.counters["one_rate_hz"] = s.oneRate;
}
BENCHMARK(BM_CliImportOneRate)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);


}  // namespace

#endif
