// The commands that write the ROM: encode and repoint. Both check every
// argument and compute the whole new image in memory first; the ROM is then
// replaced in one step (romfile.h), or left alone under --dry-run.
#include <cmath>
#include <cstdio>
#include <vector>

#include "audio.h"
#include "commands.h"
#include "context.h"
#include "crylib.h"
#include "output.h"
#include "romfile.h"
#include "text.h"

using nlohmann::json;

namespace {

struct PointerUpdate {
    const char* table;  // "cry" or "reverse"
    uint32_t at;        // file offset of the pointer word
    uint32_t from, to;
};

struct Region {
    uint64_t start, end;
    const char* what;
};

// What the image must keep whatever the command: its header and the tables.
std::vector<Region> ProtectedRegions(const RomContext& ctx) {
    std::vector<Region> regions = {{0, RomHeaderSize, "the ROM header"}};
    if (ctx.hasTable)
        regions.push_back({ctx.table, ctx.table + uint64_t{CryEntrySize} * TableExtent(ctx.image, ctx.table),
                           "the cry table"});
    if (ctx.reverse)
        regions.push_back({*ctx.reverse, *ctx.reverse + uint64_t{CryEntrySize} * TableExtent(ctx.image, *ctx.reverse),
                           "the reverse table"});
    return regions;
}

const Region* Overlap(const std::vector<Region>& regions, uint64_t start, uint64_t end) {
    for (const Region& r : regions)
        if (start < r.end && r.start < end) return &r;
    return nullptr;
}

void CheckAligned(uint32_t offset) {
    if (offset % 4 != 0) Fail("offset " + Hex(offset) + " is not word-aligned; the game reads samples at multiples of 4");
}

// Refuses a span that leaves the image or touches what it must keep.
void CheckSpan(const RomContext& ctx, uint32_t offset, uint32_t span) {
    CheckAligned(offset);
    if (uint64_t{offset} + span > ctx.image.size())
        Fail("a sample of " + std::to_string(span) + " bytes at " + Hex(offset) + " would run past the end of the ROM (" +
             Hex(static_cast<uint32_t>(ctx.image.size())) + ")");
    std::vector<Region> regions = ProtectedRegions(ctx);
    if (const Region* r = Overlap(regions, offset, uint64_t{offset} + span))
        Fail("a sample of " + std::to_string(span) + " bytes at " + Hex(offset) + " would overwrite " + r->what);
}

Entry IdEntry(const RomContext& ctx, const std::string& idText) {
    int id = CheckedId(idText);
    if (IsPlaceholderId(id, ctx.rule))
        Fail("species " + idText + " has no cry of its own: IDs 252 to 276 share entry 200 with species 201");
    Entry e = ReadEntry(ctx.image, ctx.table, EntryIndex(id, ctx.rule));
    if (!e.inFile) Fail("the entry of ID " + idText + " lies past the end of the ROM");
    return e;
}

// The entry's pointer, and the reverse table's entry when it is in step.
std::vector<PointerUpdate> RepointUpdates(const RomContext& ctx, const Entry& e, uint32_t newOffset) {
    uint32_t to = RomAddressBase | newOffset;
    std::vector<PointerUpdate> updates = {{"cry", e.pointerPos, e.pointer, to}};
    if (ctx.reverse) {
        Entry r = ReadEntry(ctx.image, *ctx.reverse, e.index);
        if (r.inFile && r.pointer == e.pointer) updates.push_back({"reverse", r.pointerPos, r.pointer, to});
    }
    return updates;
}

bool AllFree(const Bytes& rom, uint32_t offset, uint32_t span) {
    for (uint32_t i = 0; i < span; ++i)
        if (rom[offset + i] != 0xFF) return false;
    return true;
}

// The first free run inside [start, end) that touches nothing protected.
uint32_t FindPlace(const RomContext& ctx, uint32_t span, uint32_t start, uint32_t end) {
    std::vector<Region> regions = ProtectedRegions(ctx);
    uint32_t from = start;
    while (auto found = FindFreeSpace(ctx.image, span, from, end)) {
        const Region* r = Overlap(regions, *found, uint64_t{*found} + span);
        if (!r) return *found;
        from = static_cast<uint32_t>(r->end);
    }
    Fail("no free space for " + std::to_string(span) + " bytes (a word-aligned run of FF bytes) between " +
         Hex(start) + " and " + Hex(end));
}

json UpdatesJson(const std::vector<PointerUpdate>& updates) {
    json list = json::array();
    for (const PointerUpdate& u : updates) list.push_back({{"table", u.table}, {"at", u.at}, {"from", u.from}, {"to", u.to}});
    return list;
}

void PrintUpdates(const std::vector<PointerUpdate>& updates) {
    for (const PointerUpdate& u : updates)
        std::printf("%s table pointer at %s: %s -> %s\n", u.table, Hex(u.at).c_str(), HexWord(u.from).c_str(),
                    HexWord(u.to).c_str());
}

// Applies the changes to a copy of the image and replaces the ROM with it,
// after keeping a backup when asked; under --dry-run writes nothing.
void Commit(const RomContext& ctx, const WriteArgs& write, std::optional<uint32_t> sampleOffset, const Bytes& sample,
            const std::vector<PointerUpdate>& updates) {
    if (write.dryRun) return;
    Bytes image = ctx.image;
    if (sampleOffset) std::copy(sample.begin(), sample.end(), image.begin() + *sampleOffset);
    for (const PointerUpdate& u : updates) WriteU32(image, u.at, u.to);
    if (write.backup) ReplaceFileBytes(BackupPath(ctx.path), ctx.image);
    ReplaceFileBytes(ctx.path, image);
}

std::string Outcome(const RomContext& ctx, const WriteArgs& write) {
    if (write.dryRun) return "dry run: nothing written";
    return "wrote " + ctx.path + (write.backup ? " (old image in " + BackupPath(ctx.path) + ")" : "");
}

void CheckFreeRangeArgs(const EncodeArgs& args) {
    if ((!args.freeStart.empty() || !args.freeEnd.empty()) && !args.repointFree)
        BadUsage("--free-start and --free-end go with --repoint-free");
    if (args.repointFree && args.id.empty()) BadUsage("--repoint-free needs an ID, whose entry it repoints");
    if (args.repointFree && args.force) BadUsage("--repoint-free and --force exclude each other");
}

}  // namespace

int RunEncode(const EncodeArgs& args) {
    CheckFreeRangeArgs(args);
    if (args.id.empty() == args.offset.empty()) BadUsage("give either an ID or --offset HEX");
    bool byId = !args.id.empty();
    RomContext ctx = OpenRom(args.rom, args.table, byId);
    EncodeMode mode = args.quality == "fast" ? EncodeMode::Fast : EncodeMode::Best;

    uint32_t rateField = EncoderRateField();
    double rate = rateField / 1024.0;
    Bytes samples = LoadSamples(args.input, rate, args.raw);
    if (samples.empty()) Fail("'" + args.input + "' holds no audio");
    if (samples.size() > MaxSampleLength)
        Fail("'" + args.input + "' gives " + std::to_string(samples.size()) + " samples at " +
             std::to_string(std::lround(rate)) + " Hz; a cry holds at most " + std::to_string(MaxSampleLength));
    uint32_t span = SampleExtent(static_cast<uint32_t>(samples.size()));
    Bytes sample(span);
    if (EncodeSample(samples, sample, mode) != span) Fail("the encoder refused '" + args.input + "'");

    uint32_t offset;
    uint32_t replaced = 0;  // span of the sample written over, 0 when none
    std::vector<PointerUpdate> updates;
    if (args.repointFree) {
        Entry e = IdEntry(ctx, args.id);
        uint32_t start = args.freeStart.empty() ? 0 : ToFileOffset(ParseHex(args.freeStart, "--free-start"));
        uint32_t end = args.freeEnd.empty() ? static_cast<uint32_t>(ctx.image.size())
                                            : ToFileOffset(ParseHex(args.freeEnd, "--free-end"));
        if (start >= end) BadUsage("--free-start must lie below --free-end");
        offset = FindPlace(ctx, span, start, end);
        updates = RepointUpdates(ctx, e, offset);
    } else if (byId) {
        Entry e = IdEntry(ctx, args.id);
        if (!e.pointsIntoRom)
            Fail("the entry of ID " + args.id + " does not point into the ROM (" + HexWord(e.pointer) +
                 "); use --repoint-free");
        offset = e.offset;
    } else {
        offset = ToFileOffset(ParseHex(args.offset, "offset"));
    }
    CheckSpan(ctx, offset, span);
    if (!args.repointFree) {
        SampleInfo old = InspectSample(ctx.image, offset);
        if (old.Sound()) {
            replaced = old.span;
            if (span > replaced && !args.force)
                Fail("the new sample needs " + std::to_string(span) + " bytes but the one at " + Hex(offset) +
                     " holds " + std::to_string(replaced) + "; use --repoint-free, or --force to overwrite what follows");
        } else if (!args.force && !AllFree(ctx.image, offset, span)) {
            Fail(Hex(offset) + " holds neither a sample nor free space for " + std::to_string(span) +
                 " bytes; use --force to write there anyway");
        }
    }
    Commit(ctx, args.write, offset, sample, updates);

    const char* modeName = mode == EncodeMode::Best ? "best" : "fast";
    if (args.json) {
        PrintJson({{"rom", args.rom},       {"input", args.input},   {"offset", offset},
                          {"span", span},          {"replaced_span", replaced}, {"length", samples.size()},
                          {"rate", rate},          {"quality", modeName},   {"pointers", UpdatesJson(updates)},
                          {"dry_run", args.write.dryRun}, {"backup", args.write.backup && !args.write.dryRun}});
        return ExitOk;
    }
    std::printf("%s: %zu samples at %.0f Hz (%.3f s), quality %s\n", args.input.c_str(), samples.size(), rate,
                samples.size() / rate, modeName);
    std::printf("sample: %u bytes at %s", span, Hex(offset).c_str());
    if (replaced) std::printf(" (replaces a sample of %u bytes)", replaced);
    std::printf("\n");
    PrintUpdates(updates);
    std::printf("%s\n", Outcome(ctx, args.write).c_str());
    return ExitOk;
}

int RunRepoint(const RepointArgs& args) {
    RomContext ctx = OpenRom(args.rom, args.table, true);
    Entry e = IdEntry(ctx, args.id);
    uint32_t target = ToFileOffset(ParseHex(args.target, "offset"));
    CheckAligned(target);
    SampleInfo s = InspectSample(ctx.image, target);
    if (!s.headerInFile) Fail("offset " + Hex(target) + " lies past the end of the ROM");
    if (!s.Sound() && !args.force)
        Fail(Hex(target) + " holds no sample as the encoder writes them; use --force to repoint anyway");
    std::vector<PointerUpdate> updates = RepointUpdates(ctx, e, target);
    Commit(ctx, args.write, std::nullopt, {}, updates);
    if (args.json) {
        PrintJson({{"rom", args.rom},
                          {"id", CheckedId(args.id)},
                          {"index", e.index},
                          {"offset", target},
                          {"pointers", UpdatesJson(updates)},
                          {"dry_run", args.write.dryRun},
                          {"backup", args.write.backup && !args.write.dryRun}});
        return ExitOk;
    }
    PrintUpdates(updates);
    std::printf("%s\n", Outcome(ctx, args.write).c_str());
    return ExitOk;
}
