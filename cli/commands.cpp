// The commands that only read the ROM: identify, list, dump, dump-all, and
// the quality report, which reads only an audio file.
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "audio.h"
#include "commands.h"
#include "context.h"
#include "crylib.h"
#include "output.h"
#include "quality.h"
#include "romfile.h"
#include "text.h"

using nlohmann::json;

namespace {

const char* KindName(const SampleInfo& s) {
    if (!s.headerInFile) return "none";
    if (s.kind == SampleCompressed) return "compressed";
    if (s.kind == SampleUncompressed) return "uncompressed";
    return "unknown";
}

json ReverseJson(const RomContext& ctx) { return ctx.reverse ? json(*ctx.reverse) : json(nullptr); }

// Why the sample cannot be dumped, or empty when it can.
std::string DumpProblem(const SampleInfo& s, bool rateGiven) {
    if (!s.headerInFile) return "no sample at " + Hex(s.offset) + ": past the end of the ROM";
    if (!s.KnownKind())
        return "no sample at " + Hex(s.offset) + ": header bytes 0-1 hold " + std::to_string(s.kind) + ", not 0 or 1";
    if (!s.spanInFile)
        return "sample at " + Hex(s.offset) + " (" + std::to_string(s.length) + " samples) runs past the end of the ROM";
    if (!rateGiven && std::lround(s.Rate()) == 0)
        return "sample at " + Hex(s.offset) + " declares no rate; give --rate";
    return {};
}

uint32_t DumpRate(const SampleInfo& s, const std::optional<uint32_t>& rate) {
    return rate ? *rate : static_cast<uint32_t>(std::lround(s.Rate()));
}

void WriteSampleWav(const Bytes& rom, const SampleInfo& s, uint32_t rate, const std::string& path) {
    Bytes samples = DecodeToUnsigned(rom, s);
    ReplaceOptions options;
    options.sync = false;  // a dump is made again in a moment; dump-all would sync hundreds of files
    ReplaceFileContents(path, [&](FILE* f) { return WriteWav(f, samples, rate); }, options);
}

void CheckRate(const std::optional<uint32_t>& rate) {
    if (rate && (*rate < 1 || *rate > 1000000)) BadUsage("--rate must lie between 1 and 1000000 Hz");
}

// A bar of 40 cells on standard error, redrawn in place.
void ShowProgress(int done, int total) {
    int cells = done * 40 / total;
    std::fprintf(stderr, "\r[%.*s%*s] %d/%d", cells, "########################################", 40 - cells, "",
                 done, total);
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace

int RunIdentify(const IdentifyArgs& args) {
    RomContext ctx = OpenRom(args.rom, TableArgs{}, false);
    const RomIdentity& id = ctx.identity;
    std::string label = Cp1252ToUtf8(id.label);
    if (args.json) {
        PrintJson({{"rom", args.rom},
                   {"label", label},
                   {"code", id.code},
                   {"revision", id.revision >= 0 ? json(id.revision) : json(nullptr)},
                   {"found_by", id.kind == RomKnown ? "known" : id.kind == RomScanned ? "scan" : "none"},
                   {"table", ctx.hasTable ? json(ctx.table) : json(nullptr)},
                   {"reverse_table", ReverseJson(ctx)}});
    } else {
        std::printf("release:   %s\n", label.c_str());
        std::printf("game code: %s\n", id.code);
        if (id.revision >= 0) std::printf("revision:  %d\n", id.revision);
        if (ctx.hasTable) std::printf("cry table: %s (%s)\n", Hex(ctx.table).c_str(), FoundBy(id.kind));
        if (ctx.reverse) std::printf("reverse table: %s\n", Hex(*ctx.reverse).c_str());
    }
    if (!ctx.hasTable) Fail("no cry table found in '" + args.rom + "'");
    return ExitOk;
}

int RunList(const ListArgs& args) {
    RomContext ctx = OpenRom(args.rom, args.table, true);
    json rows = json::array();
    if (!args.json) {
        std::printf("cry table %s (%s), %s IDs\n", Hex(ctx.table).c_str(),
                    args.table.table.empty() ? FoundBy(ctx.identity.kind) : "given", RuleName(ctx.rule));
        if (ctx.reverse) std::printf("reverse table %s\n", Hex(*ctx.reverse).c_str());
        std::printf("%4s %5s %-10s %-9s %-12s %6s %7s %6s %-5s%s\n", "ID", "index", "pointer", "offset", "kind",
                    "length", "seconds", "span", "sound", ctx.reverse ? " reverse" : "");
    }
    for (int id = 1; id <= LastId; ++id) {
        Entry e = ReadEntry(ctx.image, ctx.table, EntryIndex(id, ctx.rule));
        SampleInfo s = e.pointsIntoRom ? InspectSample(ctx.image, e.offset) : SampleInfo{};
        bool sound = e.pointsIntoRom && s.Sound();
        std::optional<bool> inStep;
        if (ctx.reverse) {
            Entry r = ReadEntry(ctx.image, *ctx.reverse, e.index);
            inStep = r.inFile && e.inFile && r.pointer == e.pointer;
        }
        if (args.json) {
            json row = {{"id", id},         {"index", e.index},
                        {"pointer", e.inFile ? json(e.pointer) : json(nullptr)},
                        {"pointer_in_file", e.pointsIntoRom},
                        {"sound", sound}};
            if (e.pointsIntoRom) {
                row["offset"] = e.offset;
                row["kind"] = KindName(s);
                row["length"] = s.length;
                row["rate"] = s.Rate();
                row["seconds"] = s.Seconds();
                row["span"] = s.span;
                row["sample_in_file"] = s.headerInFile && s.spanInFile;
                row["header_as_encoder"] = s.headerAsEncoder;
            }
            if (inStep) row["reverse_in_step"] = *inStep;
            rows.push_back(row);
            continue;
        }
        std::string reverse = inStep ? (*inStep ? " in step" : " differs") : "";
        if (!e.pointsIntoRom) {
            std::printf("%4d %5d %-10s %-9s %-12s %6s %7s %6s %-5s%s\n", id, e.index,
                        e.inFile ? HexWord(e.pointer).c_str() : "-", "-", "none", "-", "-", "-", "no", reverse.c_str());
            continue;
        }
        std::printf("%4d %5d %-10s %-9s %-12s %6u %7.3f %6u %-5s%s\n", id, e.index, HexWord(e.pointer).c_str(),
                    Hex(e.offset).c_str(), KindName(s), s.length, s.Seconds(), s.span, sound ? "yes" : "no",
                    reverse.c_str());
    }
    if (args.json)
        PrintJson({{"rom", args.rom},
                   {"rule", RuleName(ctx.rule)},
                   {"table", ctx.table},
                   {"reverse_table", ReverseJson(ctx)},
                   {"entries", rows}});
    return ExitOk;
}

int RunDump(const DumpArgs& args) {
    CheckRate(args.rate);
    if (args.id.empty() == args.offset.empty()) BadUsage("give either an ID or --offset HEX");
    bool byId = !args.id.empty();
    RomContext ctx = OpenRom(args.rom, args.table, byId);
    uint32_t offset;
    if (byId) {
        Entry e = ReadEntry(ctx.image, ctx.table, EntryIndex(CheckedId(args.id), ctx.rule));
        if (!e.pointsIntoRom)
            Fail("entry " + std::to_string(e.index) + " of ID " + args.id + " does not point into the ROM (" +
                 (e.inFile ? HexWord(e.pointer) : std::string("past the end")) + ")");
        offset = e.offset;
    } else {
        offset = ToFileOffset(ParseHex(args.offset, "offset"));
    }
    SampleInfo s = InspectSample(ctx.image, offset);
    std::string problem = DumpProblem(s, args.rate.has_value());
    if (!problem.empty()) Fail(problem);
    uint32_t rate = DumpRate(s, args.rate);
    WriteSampleWav(ctx.image, s, rate, args.out);
    if (args.json) {
        PrintJson({{"file", args.out}, {"offset", offset}, {"kind", KindName(s)}, {"length", s.length}, {"rate", rate}});
    } else {
        std::printf("wrote %s: %u samples at %u Hz (%.3f s), %s sample at %s\n", args.out.c_str(), s.length, rate,
                    s.length / static_cast<double>(rate), KindName(s), Hex(offset).c_str());
    }
    return ExitOk;
}

int RunDumpAll(const DumpAllArgs& args) {
    CheckRate(args.rate);
    RomContext ctx = OpenRom(args.rom, args.table, true);
    std::error_code error;
    std::filesystem::create_directories(args.dir, error);
    if (error) Fail("cannot create directory '" + args.dir + "': " + error.message());

    const char* prefix = ctx.rule == IdRule::SpeciesNumber ? "species" : "cry";
    bool progress = IsTerminal(stderr);
    json written = json::array(), skipped = json::array();
    std::string skippedIds;
    for (int id = 1; id <= LastId; ++id) {
        if (progress) ShowProgress(id, LastId);
        if (IsPlaceholderId(id, ctx.rule)) continue;
        Entry e = ReadEntry(ctx.image, ctx.table, EntryIndex(id, ctx.rule));
        SampleInfo s = InspectSample(ctx.image, e.offset);
        std::string problem = e.pointsIntoRom ? DumpProblem(s, args.rate.has_value())
                                              : "entry does not point into the ROM";
        if (!problem.empty()) {
            skipped.push_back({{"id", id}, {"reason", problem}});
            skippedIds += (skippedIds.empty() ? "" : ", ") + std::to_string(id);
            continue;
        }
        char name[32];
        std::snprintf(name, sizeof name, "%s-%03d.wav", prefix, id);
        std::string path = (std::filesystem::path(args.dir) / name).string();
        uint32_t rate = DumpRate(s, args.rate);
        WriteSampleWav(ctx.image, s, rate, path);
        written.push_back({{"id", id}, {"file", path}, {"offset", e.offset}, {"length", s.length}, {"rate", rate}});
    }
    if (args.json) {
        PrintJson({{"dir", args.dir}, {"written", written}, {"skipped", skipped}});
    } else {
        std::printf("dumped %zu cries to %s", written.size(), args.dir.c_str());
        if (!skipped.empty()) std::printf("; skipped %zu IDs with no sample: %s", skipped.size(), skippedIds.c_str());
        std::printf("\n");
    }
    if (written.empty()) Fail("no cry of '" + args.rom + "' could be dumped");
    return ExitOk;
}

int RunQuality(const QualityArgs& args) {
    double rate = EncoderRateField() / 1024.0;
    Bytes samples = LoadSamples(args.input, rate, args.raw);
    if (samples.empty()) Fail("'" + args.input + "' holds no audio");
    struct Mode {
        const char* name;
        EncodeQuality q;
    } modes[] = {{"best", MeasureEncoding(samples, EncodeMode::Best)},
                 {"fast", MeasureEncoding(samples, EncodeMode::Fast)}};
    if (args.json) {
        json j = {{"input", args.input}, {"length", samples.size()}, {"rate", rate}};
        for (const Mode& m : modes)
            j[m.name] = {{"snr_db", m.q.snrDb},
                         {"peak_error", m.q.peakError},
                         {"blocks", m.q.blocks},
                         {"worst_blocks", m.q.worstBlocks}};
        PrintJson(j);
        return ExitOk;
    }
    std::printf("%s: %zu samples at %.0f Hz (%.3f s), %u blocks\n", args.input.c_str(), samples.size(), rate,
                samples.size() / rate, modes[0].q.blocks);
    std::printf("%-5s %9s %11s %13s\n", "mode", "SNR (dB)", "peak error", "worst blocks");
    for (const Mode& m : modes) std::printf("%-5s %9.2f %11d %13u\n", m.name, m.q.snrDb, m.q.peakError, m.q.worstBlocks);
    return ExitOk;
}
