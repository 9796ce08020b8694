// identify: the release an image is, its game code and revision, and where
// its cry table lies, with what the code's words say of it.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "command.h"
#include "context.h"
#include "options.h"
#include "output.h"
#include "table_text.h"
#include "text.h"
#include "words.h"
#include "writing.h"

namespace {

struct IdentifyArgs {
    std::string rom;
    TableArgs table;
    bool json = false;
};

// Refuses, before anything is said of its release, a file with no table
// and no GBA header: a picture, an empty file.
void RequireGbaImage(const RomContext& ctx) {
    if (ctx.model.HasTable() || HasGbaHeader(ctx.image)) return;
    if (ctx.image.size() < RomHeaderSize)
        Fail("'" + ctx.path + "' is no GBA image: it holds " + std::to_string(ctx.image.size()) +
             " bytes, fewer than the " + std::to_string(RomHeaderSize) + " of a GBA header");
    Fail("'" + ctx.path + "' is no GBA image: its header lacks the byte every GBA header holds (" +
         Hex(HeaderFixedValue) + " at " + Hex(HeaderFixedOfs) + ")");
}

// What identify says when the release is known but its table is not where
// the release keeps it: the image ends before it, or the table has moved.
void PrintReleaseTable(const RomContext& ctx) {
    const RomIdentity& id = ctx.model.identity;
    if (id.tableOffset >= ctx.image.size())
        std::printf("the image holds %zu bytes and ends before the release's cry table at %s: it is cut short\n",
                    ctx.image.size(), Hex(id.tableOffset).c_str());
    else
        std::printf("the release's cry table at %s holds no entries: the table has moved\n", Hex(id.tableOffset).c_str());
}

// "at 0x1A4, 0x2B0" for the code's pointer words, or nothing.
std::string PointersText(const std::vector<uint32_t>& words) {
    if (words.empty()) return "";
    std::string text = words.size() == 1 ? " (pointed at by the word at " : " (pointed at by the words at ";
    for (size_t i = 0; i < words.size(); ++i) text += (i ? ", " : "") + Hex(words[i]);
    return text + ")";
}

// What identify says of the tables beyond their place: the code's words
// that reach them, the release's table left unused, competing tables.
void PrintTableNotes(const RomContext& ctx) {
    const ImageModel& m = ctx.model;
    if (const std::string shortfall = ShortfallText(ctx.shortfall); !shortfall.empty())
        std::printf("%s\n", shortfall.c_str());
    if (!m.tablePointers.empty()) std::printf("cry table%s\n", PointersText(m.tablePointers).c_str());
    if (!m.reversePointers.empty()) std::printf("reverse table%s\n", PointersText(m.reversePointers).c_str());
    if (m.unusedTable)
        std::printf("the cry table at %s is no longer used: the code points at %s\n",
                    Hex(*m.unusedTable).c_str(), Hex(m.table).c_str());
    if (m.Ambiguous())
        std::printf("the code points at %zu cry tables (%s): commands that write need --table HEX\n", m.competing.size(),
                    CompetingTables(ctx).c_str());
}

int RunIdentify(const IdentifyArgs& args) {
    RomContext ctx = OpenRom(args.rom, args.table, false);
    RequireGbaImage(ctx);
    const RomIdentity& id = ctx.model.identity;
    const bool moved = ctx.model.source == TableSource::Moved ||
                       (id.kind == RomKnown && ctx.model.source == TableSource::None && id.tableOffset < ctx.image.size());
    const bool cut = id.kind == RomKnown && id.tableOffset >= ctx.image.size();
    if (args.json) {
        Json j = Json::Object({{"rom", args.rom}});
        j.Merge(IdentityJson(ctx.model));
        j.Set("table_moved", moved);
        j.Merge(TableJson(ctx.model, ctx.shortfall, ctx.cut));
        if (!ctx.model.HasTable()) {
            // One document, the identity with the failure in it.
            const std::string error = "no cry table found in '" + args.rom + "'";
            j.Set("error", error);
            j.Set("status", ExitFailure);
            PrintJson(j);
            std::fprintf(stderr, "brevox-cli: %s\n", error.c_str());
            return ExitFailure;
        }
        PrintJson(j);
    } else {
        std::printf("release:   %s\n", Cp1252ToUtf8(id.label).c_str());
        std::printf("game code: %s\n", PrintableBytes(id.code, ctx.image.size() >= GameCodeOfs + 4 ? 4 : 0).c_str());
        if (id.revision >= 0) std::printf("revision:  %d\n", id.revision);
        if (ctx.cut) std::printf("%s\n", DescribeImageCut(*ctx.cut).c_str());
        if ((moved || cut) && !ctx.model.unusedTable) PrintReleaseTable(ctx);
        if (ctx.model.HasTable()) {
            std::printf("%s\n", TableLine(ctx).c_str());
            PrintTableNotes(ctx);
        }
    }
    if (!ctx.model.HasTable()) Fail("no cry table found in '" + args.rom + "'");
    return ExitOk;
}

void AddIdentifyOptions(CLI::App* cmd, IdentifyArgs& args) {
    AddRomOptions(cmd, args.rom, args.json);
    AddTableOptions(cmd, args.table);
}

}  // namespace

Command IdentifyCommand() {
    return MakeCommand(nullptr, "identify", "Name the release and find its cry table", AddIdentifyOptions, RunIdentify);
}
