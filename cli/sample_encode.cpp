// sample encode: audio into the files in which source builds keep each
// sample, holding exactly its bytes in the image (samplekind.h: header,
// values, the loop value after them): one file, or a whole directory on
// every core, all or nothing.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "audio.h"
#include "command.h"
#include "options.h"
#include "output.h"
#include "parallel.h"
#include "romfile.h"
#include "text.h"
#include "words.h"
#include "writing.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* SampleFileExtension = ".bin";
constexpr uint32_t DefaultSampleRate = GameRateField / 1024;

// A sound into a sample file, or each file of IN_DIR into OUT_DIR/NAME.bin.
struct SampleEncodeArgs {
    std::string input;
    std::string output;
    std::optional<uint32_t> rate;  // default: the games' 10512 Hz
    std::string kind = "compressed";
    std::string quality = "best";
    bool raw = false;
    ConditionArgs condition;
    std::string preview;  // a WAV of what the game will play; a directory for a directory
    bool json = false;
};

// One sound to encode and where its sample (and preview) go.
struct Job {
    std::string input;
    std::string output;
    std::string preview;  // empty: none
    // Filled by the encoding:
    EncodedCry cry;
    AudioWarnings warnings;
};

void Encode(Job& job, const SampleEncodeArgs& args) {
    RequireSeparateOutput(job.output, {job.input});
    RequireSeparateOutput(job.preview, {job.input, job.output});
    const EncodeMode mode = ModeOf(args.quality);
    const NewSample wanted{*KindOf(args.kind), args.rate.value_or(DefaultSampleRate) * 1024};
    LoadedAudio audio = LoadSamples(job.input, wanted.Rate(), args.raw, args.condition);
    job.cry = EncodeCry(audio.samples, wanted.kind, mode, LoadedRateField(audio, wanted, args.condition.keepRate),
                        job.input, SampleLayout::File);
    CheckEncoding(job.cry.quality, mode, audio.warnings);
    job.warnings = audio.warnings;
}

// A job per regular file of the input directory (hidden files aside), in
// name order, each to OUT_DIR/NAME.bin.
std::vector<Job> DirectoryJobs(const SampleEncodeArgs& args) {
    std::error_code error;
    std::vector<fs::path> inputs;
    for (const fs::directory_entry& f : fs::directory_iterator(args.input, error))
        if (f.is_regular_file(error) && f.path().filename().string()[0] != '.') inputs.push_back(f.path());
    if (error) Fail("cannot read directory '" + args.input + "': " + error.message());
    if (inputs.empty()) Fail("'" + args.input + "' holds no sound files");
    std::sort(inputs.begin(), inputs.end());
    std::map<std::string, std::string> byOutput;
    std::vector<Job> jobs;
    for (const fs::path& in : inputs) {
        const std::string stem = in.stem().string();
        Job job{in.string(), (fs::path(args.output) / (stem + SampleFileExtension)).string(), "", {}, {}};
        if (!args.preview.empty()) job.preview = (fs::path(args.preview) / (stem + ".wav")).string();
        if (!byOutput.emplace(job.output, job.input).second)
            Fail("'" + byOutput[job.output] + "' and '" + job.input + "' would both be written to '" + job.output + "'");
        jobs.push_back(job);
    }
    return jobs;
}

// Encodes every job on every core; refuses, naming every problem, when any
// fails.
void EncodeAll(std::vector<Job>& jobs, const SampleEncodeArgs& args) {
    const std::vector<std::string> problems =
        WorkOnEach(jobs.size(), [&](size_t i) { Encode(jobs[i], args); }, IsTerminal(stderr));
    std::string text;
    size_t count = 0;
    for (size_t i = 0; i < jobs.size(); ++i)
        if (!problems[i].empty()) {
            text += "\n  " + fs::path(jobs[i].input).filename().string() + ": " + problems[i];
            ++count;
        }
    if (count) Fail("nothing written: " + std::to_string(count) + " problem" + (count == 1 ? "" : "s") + text);
}

void CreateDirectory(const std::string& dir) {
    if (dir.empty()) return;
    std::error_code error;
    fs::create_directories(dir, error);
    if (error) Fail("cannot create directory '" + dir + "': " + error.message());
}

Json JobJson(const Job& job) {
    return Json::Object({{"input", job.input},
                         {"output", job.output},
                         {"preview", job.preview.empty() ? Json() : Json(job.preview)},
                         {"kind", FormatOf(job.cry.kind).name},
                         {"rate", job.cry.rateField / 1024},
                         {"length", job.cry.values},
                         {"bytes", job.cry.sample.size()},
                         {"snr_db", job.cry.quality.snrDb},
                         {"warnings", WarningsJson(job.warnings, WarningText)}});
}

int RunSampleEncode(const SampleEncodeArgs& args) {
    CheckSampleRate(args.rate);
    std::error_code error;
    const bool directory = fs::is_directory(args.input, error);
    std::vector<Job> jobs;
    if (directory) {
        jobs = DirectoryJobs(args);
        EncodeAll(jobs, args);
        CreateDirectory(args.output);
        CreateDirectory(args.preview);
    } else {
        jobs.push_back({args.input, args.output, args.preview, {}, {}});
        Encode(jobs.front(), args);
    }
    for (const Job& job : jobs) {
        if (job.warnings.empty()) continue;
        if (directory) std::fprintf(stderr, "%s:\n", job.input.c_str());
        PrintWarnings(job.warnings);
    }
    for (const Job& job : jobs) {
        if (!job.preview.empty()) WritePreview(job.preview, job.cry.sample);
        ReplaceFileBytes(job.output, job.cry.sample);
    }
    if (args.json) {
        if (!directory) {
            PrintJson(JobJson(jobs.front()));
            return ExitOk;
        }
        Json list = Json::Array();
        for (const Job& job : jobs) list.Push(JobJson(job));
        PrintJson(Json::Object({{"input", args.input}, {"output", args.output}, {"samples", list}}));
        return ExitOk;
    }
    for (const Job& job : jobs) {
        const EncodedCry& c = job.cry;
        std::printf("wrote %s: %s sample of %u values at %u Hz (%.3f s), %zu bytes, quality %s, SNR %s\n",
                    job.output.c_str(), FormatOf(c.kind).name, c.values, c.rateField / 1024,
                    c.values / (c.rateField / 1024.0), c.sample.size(), ModeName(ModeOf(args.quality)),
                    SnrText(c.quality.snrDb).c_str());
    }
    return ExitOk;
}

void AddSampleEncodeOptions(CLI::App* cmd, SampleEncodeArgs& args) {
    cmd->footer(std::string(AudioNote()) +
                "\nThe file holds the header (kind, rate x 1024, loop start 0, length S) and S + 1 values, "
                "the last one silence. A directory gives OUT_DIR/NAME.bin per file, or nothing when any "
                "file fails.");
    cmd->add_option("IN", args.input, "Audio file, or a directory of them")->required();
    cmd->add_option("OUT", args.output, "Sample file (.bin), or a directory for a directory")->required();
    AddKindOption(cmd, args.kind, "(default: compressed)");
    cmd->add_option("--rate", args.rate, "Rate the sample declares and is resampled to, in Hz (default 10512)");
    AddQualityOption(cmd, args.quality, "best (least error, default) or fast (greedy)");
    cmd->add_flag("--raw", args.raw, "Take an 8-bit mono WAV's bytes as they are, unconverted");
    cmd->add_option("--preview", args.preview,
                    "Write what the game will play to this WAV (a directory of them for a directory)");
    AddConditionOptions(cmd, args.condition);
    AddJsonOption(cmd, args.json);
}

}  // namespace

Command SampleEncodeCommand() {
    return MakeCommand("sample", "encode", "Encode an audio file into a sample file, or every file of IN_DIR into OUT_DIR",
                       AddSampleEncodeOptions, RunSampleEncode);
}
