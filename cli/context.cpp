#include "context.h"

#include <cstdio>
#include <filesystem>

#include "crylib.h"
#include "romfile.h"
#include "text.h"
#include "words.h"

RomContext OpenRom(const std::string& path, const TableArgs& args, bool needTable) {
    RomContext ctx;
    ctx.path = path;
    ctx.rule = args.species ? IdRule::SpeciesNumber : IdRule::CryNumber;
    ctx.image = ReadWholeFile(path, "ROM");
    TableRequest request;
    if (!args.table.empty()) request.offset = ToFileOffset(ParseHex(args.table, "table offset"));
    if (!args.entries.empty()) {
        const int n = ParseDecimal(args.entries, "--entries");
        if (n < 1) BadUsage("--entries must be at least 1");
        request.entries = n;
    }
    ImageReading reading = ReadImageModel(ctx.image, request);
    ctx.model = std::move(reading.model);
    ctx.shortfall = reading.shortfall;
    ctx.cut = reading.cut;
    if (ctx.model.problem != OpenProblem::None) Fail("'" + path + "': " + DescribeOpenProblem(ctx.model));
    if (needTable && !ctx.model.HasTable()) {
        if (ctx.model.identity.kind == RomKnown)
            Fail("'" + path + "': the release's cry table at " + Hex(ctx.model.identity.tableOffset) +
                 " holds no entries (a moved table) and the scan found none; give --table HEX");
        Fail("no cry table found in '" + path + "' (unknown release, no table signature); give --table HEX");
    }
    return ctx;
}

void RequireOneTarget(const TargetArgs& t) {
    if (!t.id.empty() + !t.index.empty() + !t.offset.empty() != 1) BadUsage("give one of an ID, --index N or --offset HEX");
}

Target ResolveTarget(const RomContext& ctx, const std::string& idText, const std::string& indexText) {
    Target t;
    if (!indexText.empty()) {
        t.index = ParseDecimal(indexText, "index");
        if (t.index < 0 || t.index >= ctx.model.entries)
            Fail(PastTable(ctx.model.table, ctx.model.entries, "index " + indexText));
        return t;
    }
    const int id = ParseDecimal(idText, "ID");
    if (id < 1 || id > LastId) BadUsage("ID " + idText + " is out of range (1 to " + std::to_string(LastId) + ")");
    if (IsPlaceholderId(id, ctx.rule))
        Fail("species " + idText + " has no cry of its own: IDs 252 to 276 share entry 200 with species 201");
    t.id = id;
    t.index = EntryIndex(id, ctx.rule);
    if (t.index >= ctx.model.entries)
        Fail(PastTable(ctx.model.table, ctx.model.entries, "ID " + idText));
    return t;
}

std::string TargetName(const Target& t) {
    return t.id ? "ID " + std::to_string(*t.id) : "entry " + std::to_string(t.index);
}

void WarnOfImage(const RomContext& ctx) {
    if (ctx.cut) std::fprintf(stderr, "warning: %s\n", DescribeImageCut(*ctx.cut).c_str());
}

std::string EntryName(const RomContext& ctx, int index) {
    const std::vector<int> ids = IdsOfIndex(index, ctx.rule);
    if (ids.empty()) return "entry " + std::to_string(index);
    std::string s = ids.size() == 1 ? "ID " : "IDs ";
    for (size_t i = 0; i < ids.size(); ++i) s += (i ? ", " : "") + std::to_string(ids[i]);
    return s;
}

void RequireDistinctFiles(const std::string& rom, const std::string& output) {
    std::error_code error;
    if (std::filesystem::equivalent(rom, output, error))
        Fail("'" + output + "' is the ROM itself; choose another output file");
}
