// dump-all: every cry of the table into a directory, one WAV per entry named
// as import reads them back (cry-NNN.wav, species-NNN.wav, index-NNNN.wav);
// entries with no sample are skipped and named.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>

#include "command.h"
#include "context.h"
#include "options.h"
#include "output.h"
#include "sample_wav.h"
#include "text.h"
#include "words.h"

namespace {

struct DumpAllArgs {
    std::string rom;
    std::string dir;
    std::optional<uint32_t> rate;
    bool dialogHeader = false;
    TableArgs table;
    bool json = false;
};

// What dump-all did, cry by cry, from which its text and its JSON are rendered.
struct DumpAll {
    struct Dumped {
        EntryRow row;
        std::string path;
        uint32_t rate = 0;
        SampleInfo sample;
    };
    struct Skipped {
        EntryRow row;
        Problem reason;
    };
    std::vector<Dumped> written;
    std::vector<Skipped> skipped;
};

Json DumpAllJson(const DumpAllArgs& args, const DumpAll& d, IdRule rule) {
    Json written = Json::Array(), skipped = Json::Array();
    for (const auto& w : d.written)
        written.Push(Json::Object(
            {{"id", w.row.id}, {"index", w.row.index}, {"file", w.path}, {"rate", w.rate}, {"sample", SampleJson(w.sample)}}));
    for (const auto& k : d.skipped)
        skipped.Push(Json::Object({{"id", k.row.id},
                                   {"index", k.row.index},
                                   {"reason", DescribeProblem(k.reason, "")},
                                   {"problem", ProblemJson(k.reason, rule)}}));
    return Json::Object({{"dir", args.dir}, {"written", written}, {"skipped", skipped}});
}

void PrintDumpAll(const DumpAllArgs& args, const DumpAll& d) {
    std::printf("dumped %zu cries to %s", d.written.size(), args.dir.c_str());
    if (!d.skipped.empty()) {
        std::string names;
        for (const auto& k : d.skipped)
            names += (names.empty() ? "" : ", ") +
                     (k.row.id ? std::to_string(*k.row.id) : "index " + std::to_string(k.row.index)) + " (" +
                     DescribeProblem(k.reason, "") + ")";
        std::printf("; skipped %zu with no sample: %s", d.skipped.size(), names.c_str());
    }
    std::printf("\n");
}

int RunDumpAll(const DumpAllArgs& args) {
    CheckDumpRate(args.rate, args.dialogHeader);
    const RomContext ctx = OpenRom(args.rom, args.table, true);
    WarnOfImage(ctx);
    std::error_code error;
    std::filesystem::create_directories(args.dir, error);
    if (error) Fail("cannot create directory '" + args.dir + "': " + error.message());

    const bool progress = IsTerminal(stderr);
    DumpAll d;
    const std::vector<EntryRow> rows = EntryRows(ctx.model, ctx.rule);
    int done = 0;
    for (const EntryRow& r : rows) {
        if (progress) ShowProgress(++done, static_cast<int>(rows.size()));
        const Entry e = ReadEntry(ctx.image, ctx.model.table, r.index);
        const std::optional<Problem> problem =
            e.pointsIntoRom ? DumpProblem(ctx, e.offset, r.index, args.dialogHeader) : Problem{.kind = PlanProblem::EntryNotInImage, .index = r.index};
        if (problem) {
            d.skipped.push_back({r, *problem});
            continue;
        }
        const SampleInfo s = InspectSample(ctx.image, e.offset);
        const std::string path = (std::filesystem::path(args.dir) / (CryFileStem(r, ctx.rule) + ".wav")).string();
        const uint32_t rate = DumpRate(s, args.rate, args.dialogHeader);
        WriteSampleWav(ctx.image, s, rate, args.dialogHeader, path);
        d.written.push_back({r, path, rate, s});
    }
    if (args.json) PrintJson(DumpAllJson(args, d, ctx.rule));
    else PrintDumpAll(args, d);
    if (d.written.empty()) Fail("no cry of '" + args.rom + "' could be dumped");
    return ExitOk;
}

void AddDumpAllOptions(CLI::App* cmd, DumpAllArgs& args) {
    AddRomOptions(cmd, args.rom, args.json);
    cmd->add_option("DIR", args.dir, "Directory for the WAV files (created if missing)")->required();
    cmd->add_option("--rate", args.rate, "Resample to this rate in Hz (default: each sample's own)");
    cmd->add_flag("--dialog-header", args.dialogHeader, "The values under the dialog's 11050 Hz header");
    AddTableOptions(cmd, args.table);
}

}  // namespace

Command DumpAllCommand() {
    return MakeCommand(nullptr, "dump-all", "Decode every cry into a directory", AddDumpAllOptions, RunDumpAll);
}
