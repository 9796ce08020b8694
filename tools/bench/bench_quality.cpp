// Encoder quality and speed per sound, greedy ("fast") against optimal
// ("best"): the generated quality set of the test data plus a spoken sentence.
// Each run encodes the whole sound (samples/s) and reports as counters the
// mode's signal-to-noise ratio, its peak error and the blocks it loses to the
// other mode; the best run adds its gain over the greedy one.
//
// The speech is made when the benchmark starts: espeak-ng speaks the sentence
// and sox turns it into 8-bit unsigned mono at 11050 Hz (the test and demo
// groups of scripts/deps.sh). Without them the speech runs are skipped.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "crylib.h"
#include "quality.h"
#include "testdata.h"
#include "wavlib.h"

namespace {

constexpr const char* Sentence =
    "A cry rang out over the tall grass, rose once more, and faded into the evening wind.";

// The spoken sentence as unsigned samples, or nothing when a tool is missing
// or fails. Everything is made in a private temporary folder, removed after.
Bytes MakeSpeech() {
    if (std::system("espeak-ng --version > /dev/null 2>&1") != 0) return {};
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("brevox-speech-" + std::to_string(std::random_device{}()));
    std::error_code ec;
    if (!fs::create_directory(dir, ec)) return {};
    const std::string spoken = (dir / "spoken.wav").string(), wav = (dir / "speech.wav").string();
    // -D: no dither, so the set is the same at every run.
    const std::string command = "espeak-ng -w '" + spoken + "' '" + Sentence + "' && sox '" + spoken +
                                "' -D -r 11050 -b 8 -c 1 -e unsigned-integer '" + wav + "'";
    Bytes samples;
    if (std::system(command.c_str()) == 0) {
        const Bytes file = ReadFileBytes(wav);
        WavInfo info;
        if (ParseWavInfo(file.data(), file.size(), &info) == WavOk) {
            const auto data = file.begin() + info.dataOffset;
            samples.assign(data, data + std::min<uint32_t>(info.dataSize, MaxSampleLength));
        }
    }
    fs::remove_all(dir, ec);
    return samples;
}

const Bytes& Speech() {
    static const Bytes speech = MakeSpeech();
    return speech;
}

void EncodeSound(benchmark::State& state, const Bytes& wav, EncodeMode mode) {
    if (wav.empty()) {
        state.SkipWithError("no speech: espeak-ng or sox is missing (scripts/deps.sh test demo)");
        return;
    }
    Bytes sample(SampleExtent(static_cast<uint32_t>(wav.size())));
    for (auto _ : state) {
        benchmark::DoNotOptimize(EncodeSample(wav, sample, mode));
        benchmark::ClobberMemory();
    }
    const EncodeQuality q = MeasureEncoding(wav, mode);
    state.counters["samples/s"] =
        benchmark::Counter(static_cast<double>(wav.size()), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["snr_dB"] = q.snrDb;
    state.counters["peak"] = q.peakError;
    state.counters["worst_blocks"] = q.worstBlocks;
    if (mode == EncodeMode::Best) {
        // When the greedy coder is already exact, so is the best one: no gain.
        const EncodeQuality fast = MeasureEncoding(wav, EncodeMode::Fast);
        state.counters["gain_dB"] = fast.squaredError == 0 ? 0 : q.snrDb - fast.snrDb;
    }
}

// Registers the fast and best runs of one sound; `sound` is called only when
// a run starts, so filtering the speech out never starts espeak-ng.
void Register(const std::string& name, std::function<const Bytes&()> sound) {
    for (const auto& [mode, label] : {std::pair{EncodeMode::Fast, "fast"}, std::pair{EncodeMode::Best, "best"}}) {
        benchmark::RegisterBenchmark(("Quality/" + name + "/" + label).c_str(),
                                     [sound, m = mode](benchmark::State& state) { EncodeSound(state, sound(), m); })
            ->Unit(benchmark::kMillisecond);
    }
}

const bool Registered = [] {
    static const std::vector<NamedSound> generated = QualitySet();
    Register("speech", Speech);
    for (const NamedSound& s : generated) Register(s.name, [&s]() -> const Bytes& { return s.wav; });
    return true;
}();

}  // namespace
