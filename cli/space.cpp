// space: what the cries of the table in use take of the ROM and what would
// free some: their bytes by kind and by rate, the free space, the samples
// stored apart with the same bytes (what sharing would save), and the bytes
// the whole table would take at each rung of the rate ladder, as a
// rate-fitting import would leave it; and the table's median loudness as
// heard. It reads the ROM and writes nothing.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "command.h"
#include "context.h"
#include "heard_cries.h"
#include "options.h"
#include "output.h"
#include "table_text.h"
#include "text.h"
#include "usage.h"

namespace {

struct SpaceArgs {
    std::string rom;
    TableArgs table;
    bool json = false;
};

std::string Plural(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string EntriesText(const RomContext& ctx, const std::vector<int>& entries) {
    std::string text;
    for (int i : entries) text += (text.empty() ? "" : "; ") + EntryName(ctx, i);
    return text;
}

void PrintUsage(const RomContext& ctx, const TableUsage& u, std::optional<double> medianDb) {
    std::printf("%s\n", TableLine(ctx).c_str());
    std::printf("cries: %s, %s\n", Plural(u.samples, "sample", "samples").c_str(), Plural(u.bytes, "byte", "bytes").c_str());
    for (const KindUsage& k : u.kinds)
        std::printf("  %-14s %5d samples %9llu bytes\n", FormatOf(k.kind).name, k.samples,
                    static_cast<unsigned long long>(k.bytes));
    for (const RateUsage& r : u.rates)
        std::printf("  %8u Hz    %5d samples %9llu bytes\n", r.hz, r.samples, static_cast<unsigned long long>(r.bytes));
    if (medianDb) std::printf("median loudness, heard in the normal mode: %.1f dB\n", *medianDb);
    std::printf("free space: %s\n", Plural(u.freeBytes, "byte", "bytes").c_str());
    std::printf("stored twice or more: %s, %s sharing would save\n",
                Plural(u.duplicates.size(), "group", "groups").c_str(), Plural(u.duplicateBytes, "byte", "bytes").c_str());
    for (const DuplicateGroup& g : u.duplicates)
        std::printf("  %s: %zu copies of %u bytes, %llu saved\n", EntriesText(ctx, g.entries).c_str(), g.offsets.size(),
                    g.bytes, static_cast<unsigned long long>(g.saved));
    std::printf("the table at lower rates (each cry above the rate resampled to it):\n");
    for (const RungBytes& r : u.ladder)
        std::printf("  %8u Hz %9llu bytes, %9llu freed\n", r.hz, static_cast<unsigned long long>(r.bytes),
                    static_cast<unsigned long long>(r.freed));
}

int RunSpace(const SpaceArgs& args) {
    const RomContext ctx = OpenRom(args.rom, args.table, true);
    WarnOfImage(ctx);
    const TableUsage usage = MeasureUsage(ctx.image, ctx.model);
    const std::vector<std::optional<HeardFigures>> heard = TableHeardOnEachCore(ctx);
    const std::optional<double> medianDb = MedianLoudnessDb(heard);
    if (args.json) {
        Json j = Json::Object({{"rom", args.rom}, {"rule", RuleName(ctx.rule)}, {"median_loudness_db", medianDb}});
        j.Merge(TableJson(ctx.model, ctx.shortfall, ctx.cut));
        j.Merge(UsageJson(usage, ctx.rule));
        PrintJson(j);
        return ExitOk;
    }
    PrintUsage(ctx, usage, medianDb);
    return ExitOk;
}

void AddSpaceOptions(CLI::App* cmd, SpaceArgs& args) {
    AddRomOptions(cmd, args.rom, args.json);
    AddTableOptions(cmd, args.table);
}

}  // namespace

Command SpaceCommand() {
    return MakeCommand(nullptr, "space", "Bytes the cries take by kind and rate, free space, duplicates, lower rates",
                       AddSpaceOptions, RunSpace);
}
