// dump: one cry, named by ID, table index or sample offset, decoded to an
// 8-bit mono WAV file.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "command.h"
#include "context.h"
#include "options.h"
#include "output.h"
#include "sample_wav.h"
#include "text.h"
#include "writing.h"

namespace {

struct DumpArgs {
    std::string rom;
    TargetArgs target;
    std::string out;
    std::optional<uint32_t> rate;  // resample to this rate; default: the sample's own
    bool dialogHeader = false;     // the sample's values under the dialog's 11050 Hz header
    TableArgs table;
    bool json = false;
};

// The offset of the sample the arguments name, and the entry when they name one.
uint32_t DumpOffset(const RomContext& ctx, const DumpArgs& args, std::optional<Target>& target) {
    if (!args.target.offset.empty()) return ToFileOffset(ParseHex(args.target.offset, "offset"));
    target = ResolveTarget(ctx, args.target.id, args.target.index);
    const Entry e = ReadEntry(ctx.image, ctx.model.table, target->index);
    if (!e.pointsIntoRom)
        Fail("the entry of " + TargetName(*target) + " does not point into the ROM (" +
             (e.inFile ? HexWord(e.pointer) : std::string("past the end")) + ")");
    return e.offset;
}

int RunDump(const DumpArgs& args) {
    CheckDumpRate(args.rate, args.dialogHeader);
    RequireOneTarget(args.target);
    RomContext ctx = OpenRom(args.rom, args.table, args.target.offset.empty());
    RequireDistinctFiles(args.rom, args.out);
    std::optional<Target> target;
    const uint32_t offset = DumpOffset(ctx, args, target);
    if (const std::optional<Problem> problem = DumpProblem(ctx, offset, target ? target->index : -1, args.dialogHeader)) {
        Plan refused;
        refused.problems.push_back(*problem);
        FailPlan(ctx, refused, DumpRefusal(ctx, *problem));
    }
    WarnOfImage(ctx);
    const SampleInfo s = InspectSample(ctx.image, offset);
    const uint32_t rate = DumpRate(s, args.rate, args.dialogHeader);
    const size_t written = WriteSampleWav(ctx.image, s, rate, args.dialogHeader, args.out);
    if (args.json) {
        PrintJson(Json::Object({{"file", args.out},
                                {"values", written},
                                {"id", target ? Json(target->id) : Json()},
                                {"index", target ? Json(target->index) : Json()},
                                {"rate", rate},
                                {"sample", SampleJson(s)}}));
    } else {
        std::printf("wrote %s: %zu samples at %u Hz (%.3f s), %s sample of %u values at %u Hz at %s\n",
                    args.out.c_str(), written, rate, written / static_cast<double>(rate), SampleKindName(s), s.length,
                    s.Hz(), Hex(offset).c_str());
    }
    return ExitOk;
}

void AddDumpOptions(CLI::App* cmd, DumpArgs& args) {
    AddRomOptions(cmd, args.rom, args.json);
    cmd->add_option("ID", args.target.id, "Cry ID (1-411)");
    cmd->add_option("--index", args.target.index, "Table index (0-based) instead of an ID");
    cmd->add_option("--offset", args.target.offset, "Sample offset (hex) instead of an ID");
    cmd->add_option("-o,--output", args.out, "WAV file to write")->required();
    cmd->add_option("--rate", args.rate, "Resample to this rate in Hz, pitch and duration kept (default: the sample's own)");
    cmd->add_flag("--dialog-header", args.dialogHeader,
                  "The sample's own values under an 11050 Hz header, as the dialog writes them (plays 5 % fast)");
    AddTableOptions(cmd, args.table);
}

}  // namespace

Command DumpCommand() {
    return MakeCommand(nullptr, "dump", "Decode one cry to an 8-bit mono WAV file", AddDumpOptions, RunDump);
}
