// repoint: an ID's entry pointed at a sample already in the image, planned
// and checked like every write before the ROM is replaced.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "command.h"
#include "context.h"
#include "options.h"
#include "output.h"
#include "text.h"
#include "writing.h"

namespace {

struct RepointArgs {
    std::string rom;
    std::string id;
    std::string index;
    std::string target;
    bool force = false;
    TableArgs table;
    WriteArgs write;
    bool json = false;
};

// With --index the one positional argument after the ROM is the offset.
RepointArgs RepointArgsOf(const RepointArgs& given) {
    RepointArgs args = given;
    if (!args.index.empty() && args.target.empty()) std::swap(args.id, args.target);
    if (args.target.empty()) BadUsage("give the sample offset HEX to point at");
    if (args.id.empty() == args.index.empty()) BadUsage("give an ID or --index N");
    return args;
}

void RefuseRepointUnlessOk(const RomContext& ctx, const Plan& plan) {
    if (plan.Ok()) return;
    std::string text = PlanProblems(ctx, plan);
    for (const Problem& p : plan.problems)
        if (p.kind == PlanProblem::NotASample) text += "; use --force to repoint anyway";
    FailPlan(ctx, plan, text);
}

int RunRepoint(const RepointArgs& given) {
    const RepointArgs args = RepointArgsOf(given);
    const RomContext ctx = OpenRom(args.rom, args.table, true);
    const Target target = ResolveTarget(ctx, args.id, args.index);
    EditRequest request;
    request.repoints.push_back({target.index, ToFileOffset(ParseHex(args.target, "offset")), args.force});
    const Plan plan = PlanEdits(ctx.image, ctx.model, request);
    PrintPlanWarnings(ctx, plan);
    RefuseRepointUnlessOk(ctx, plan);
    const Written written = CommitPlan(ctx, args.write, plan);
    if (args.json) {
        Json j = Json::Object({{"rom", args.rom},
                               {"id", target.id},
                               {"index", target.index},
                               {"offset", plan.cries.front().newOffset},
                               {"plan", PlanJson(ctx, plan)}});
        j.Merge(WrittenJson(args.write, written));
        PrintJson(j);
    } else {
        PrintUpdates(plan);
        std::printf("%s\n", Outcome(ctx, args.write, written).c_str());
    }
    return ExitOk;
}

void AddRepointOptions(CLI::App* cmd, RepointArgs& args) {
    AddRomOptions(cmd, args.rom, args.json);
    cmd->add_option("ID", args.id, "Cry ID (1-411); empty with --index");
    cmd->add_option("--index", args.index, "Table index (0-based) instead of an ID");
    cmd->add_option("HEX", args.target, "Sample offset (hex) or ROM address");
    cmd->add_flag("--force", args.force, "Repoint even where no sample lies");
    AddTableOptions(cmd, args.table);
    AddWriteOptions(cmd, args.write);
}

}  // namespace

Command RepointCommand() {
    return MakeCommand(nullptr, "repoint", "Point an ID's entry at another sample", AddRepointOptions, RunRepoint);
}
