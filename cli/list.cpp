// list: one row per entry of the cry table: its ID, index, pointer word, the
// sample it points at (offset, kind, length, duration, bytes) and, where the
// image has a reverse table, whether that one's entry is in step. The JSON
// adds each cry as heard in the normal mode.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "command.h"
#include "context.h"
#include "heard_cries.h"
#include "options.h"
#include "output.h"
#include "table_text.h"
#include "text.h"
#include "words.h"

namespace {

struct ListArgs {
    std::string rom;
    TableArgs table;
    bool json = false;
};

void PrintRow(const RomContext& ctx, const EntryRow& r) {
    const Entry e = ReadEntry(ctx.image, ctx.model.table, r.index);
    const std::string id = r.id ? std::to_string(*r.id) : "-";
    std::string reverse;
    if (ctx.model.reverse)
        reverse = r.index < ctx.model.reverseEntries ? (ReverseInStep(ctx.image, ctx.model, r.index) ? " in step" : " differs")
                                                     : " -";
    if (!e.pointsIntoRom) {
        std::printf("%4s %5d %-10s %-9s %-12s %6s %7s %6s%s\n", id.c_str(), r.index,
                    e.inFile ? HexWord(e.pointer).c_str() : "-", "-", "none", "-", "-", "-", reverse.c_str());
        return;
    }
    const SampleInfo s = InspectSample(ctx.image, e.offset);
    if (!s.Sound()) {
        std::printf("%4s %5d %-10s %-9s %-12s %6s %7s %6s%s\n", id.c_str(), r.index, HexWord(e.pointer).c_str(),
                    Hex(e.offset).c_str(), "invalid", "-", "-", "-", reverse.c_str());
        return;
    }
    std::printf("%4s %5d %-10s %-9s %-12s %6u %7.3f %6u%s\n", id.c_str(), r.index, HexWord(e.pointer).c_str(),
                Hex(e.offset).c_str(), SampleKindName(s), s.length, s.Seconds(), s.extent, reverse.c_str());
}

int RunList(const ListArgs& args) {
    RomContext ctx = OpenRom(args.rom, args.table, true);
    const std::vector<EntryRow> rows = EntryRows(ctx.model, ctx.rule);
    if (args.json) {
        const std::vector<std::optional<HeardFigures>> heard = TableHeardOnEachCore(ctx);
        Json entries = Json::Array();
        for (const EntryRow& r : rows) {
            Json e = EntryJson(ctx, r);
            e.Set("heard", HeardJson(heard[static_cast<size_t>(r.index)]));
            entries.Push(e);
        }
        Json j = Json::Object({{"rom", args.rom}, {"rule", RuleName(ctx.rule)}});
        j.Merge(TableJson(ctx.model, ctx.shortfall, ctx.cut));
        j.Set("entries", entries);
        PrintJson(j);
        return ExitOk;
    }
    std::printf("%s, %s IDs\n", TableLine(ctx).c_str(), RuleName(ctx.rule));
    if (const std::string shortfall = ShortfallText(ctx.shortfall); !shortfall.empty())
        std::printf("%s\n", shortfall.c_str());
    if (ctx.cut) std::printf("%s\n", DescribeImageCut(*ctx.cut).c_str());
    std::printf("%4s %5s %-10s %-9s %-12s %6s %7s %6s%s\n", "ID", "index", "pointer", "offset", "kind", "length",
                "seconds", "bytes", ctx.model.reverse ? " reverse" : "");
    for (const EntryRow& r : rows) PrintRow(ctx, r);
    return ExitOk;
}

void AddListOptions(CLI::App* cmd, ListArgs& args) {
    AddRomOptions(cmd, args.rom, args.json);
    AddTableOptions(cmd, args.table);
}

}  // namespace

Command ListCommand() {
    return MakeCommand(nullptr, "list", "One row per ID: entry, sample offset, length, soundness", AddListOptions, RunList);
}
