#include "context.h"

#include <cstdio>
#include <filesystem>

#include "crylib.h"
#include "romfile.h"
#include "text.h"

const char* FoundBy(RomKind kind) {
    switch (kind) {
        case RomKnown: return "known release";
        case RomScanned: return "table scan";
        case RomUnknown: return "none";
    }
    return "none";
}

RomContext OpenRom(const std::string& path, const TableArgs& args, bool needTable) {
    RomContext ctx;
    ctx.path = path;
    ctx.rule = args.species ? IdRule::SpeciesNumber : IdRule::CryNumber;
    // ROM addresses reach 64 MiB (26 bits); anything larger is no GBA image,
    // and is refused before it is read into memory.
    std::error_code error;
    uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && size > uintmax_t{RomAddressMask} + 1)
        Fail("'" + path + "' is larger than 64 MiB: not a GBA ROM image");
    ctx.image = ReadWholeFile(path, "ROM");
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) Fail("cannot open ROM '" + path + "'");
    ctx.identity = IdentifyRom(f.get());

    if (!args.table.empty()) {
        ctx.table = ParseHex(args.table, "table offset");
        ctx.hasTable = true;
    } else if (ctx.identity.kind != RomUnknown) {
        ctx.table = ctx.identity.tableOffset;
        ctx.hasTable = true;
    }
    if (ctx.hasTable && uint64_t{ctx.table} + CryEntrySize > ctx.image.size())
        Fail("cry table " + Hex(ctx.table) + " lies beyond the end of '" + path + "'");
    if (needTable && !ctx.hasTable)
        Fail("no cry table found in '" + path + "' (unknown release, no table signature); give --table HEX");
    if (ctx.hasTable) ctx.reverse = FindReverseTable(ctx.image, ctx.table);
    return ctx;
}

int CheckedId(const std::string& text) {
    int id = ParseId(text);
    if (id < 1 || id > LastId) BadUsage("ID " + text + " is out of range (1 to " + std::to_string(LastId) + ")");
    return id;
}

int TableExtent(const Bytes& rom, uint32_t tableOffset) {
    int n = 0;
    while (n < TableEntries && ReadEntry(rom, tableOffset, n).pointsIntoRom) ++n;
    return n;
}
