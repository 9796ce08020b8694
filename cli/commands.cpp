// The commands that only read the ROM: identify, list, dump, dump-all, and
// the quality report, which reads only an audio file.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "audio.h"
#include "commands.h"
#include "context.h"
#include "crylib.h"
#include "options.h"
#include "output.h"
#include "quality.h"
#include "romfile.h"
#include "text.h"
#include "wavlib.h"
#include "writing.h"

namespace {

// Why the sample cannot be dumped, or empty when it can.
// A sample that declares no rate cannot be resampled; only the dialog's
// header, which ignores it, can be given to it.
std::string DumpProblem(const SampleInfo& s, bool dialogHeader) {
    if (!s.headerInFile) return "no sample at " + Hex(s.offset) + ": past the end of the ROM";
    if (!s.KnownKind())
        return "no sample at " + Hex(s.offset) + ": header byte 0 holds " + std::to_string(s.type) + ", not 0 or 1";
    if (!s.extentInFile)
        return "sample at " + Hex(s.offset) + " (" + std::to_string(s.length) + " values) runs past the end of the ROM";
    if (!dialogHeader && s.Hz() == 0)
        return "sample at " + Hex(s.offset) + " declares no rate; give --dialog-header";
    return {};
}

// The rate the dialog's WAV files declare for the sample's 10512 Hz values:
// its header was written for 11050 Hz and never changed, so those files play
// about 5 % fast and high.
constexpr uint32_t DialogHeaderRate = WavRate;

uint32_t DumpRate(const SampleInfo& s, const std::optional<uint32_t>& rate, bool dialogHeader) {
    return dialogHeader ? DialogHeaderRate : rate ? *rate : s.Hz();
}

// The sample's values at `rate`: as they are at its own rate or under the
// dialog's header; otherwise resampled, so that pitch and duration stay.
Bytes DumpValues(const Bytes& rom, const SampleInfo& s, uint32_t rate, bool dialogHeader) {
    Bytes values = DecodeToUnsigned(rom, s);
    if (dialogHeader || rate == s.Hz()) return values;
    std::vector<double> x(values.size());
    std::transform(values.begin(), values.end(), x.begin(), [](uint8_t v) { return (v - 128) / 128.0; });
    AudioWarnings clipped;  // resampling may overshoot full scale by a step; it is clipped
    return Quantise(ResampleOrFail(x, s.Rate(), rate), clipped);
}

// Writes the WAV; returns how many values it holds.
size_t WriteSampleWav(const Bytes& rom, const SampleInfo& s, uint32_t rate, bool dialogHeader, const std::string& path) {
    const Bytes samples = DumpValues(rom, s, rate, dialogHeader);
    ReplaceOptions options;
    options.sync = false;  // a dump is made again in a moment; dump-all would sync hundreds of files
    ReplaceFileContents(path, [&](FILE* f) { return WriteWav(f, samples, rate); }, options);
    return samples.size();
}

void CheckRate(const std::optional<uint32_t>& rate, bool dialogHeader) {
    if (rate && (*rate < 1 || *rate > 1000000)) BadUsage("--rate must lie between 1 and 1000000 Hz");
    if (rate && dialogHeader) BadUsage("--rate and --dialog-header exclude each other");
}

// "at 0x1A4, 0x2B0" for the code's pointer words, or nothing.
std::string PointersText(const std::vector<uint32_t>& words) {
    if (words.empty()) return "";
    std::string text = words.size() == 1 ? " (pointed at by the word at " : " (pointed at by the words at ";
    for (size_t i = 0; i < words.size(); ++i) text += (i ? ", " : "") + Hex(words[i]);
    return text + ")";
}

std::string TableLine(const RomContext& ctx) {
    std::string line = "cry table " + Hex(ctx.model.table) + " (" + SourceName(ctx.model.source) + "), " +
                       std::to_string(ctx.model.entries) + " entries";
    if (ctx.model.reverse)
        line += "; reverse table " + Hex(*ctx.model.reverse) + ", " + std::to_string(ctx.model.reverseEntries) + " entries";
    return line;
}

// Why the table stops short of the games' size, or nothing.
std::string ShortfallText(const TableShortfall& s) {
    if (s.stop == TableStop::None) return "";
    std::string text = "the cry table stops after " + std::to_string(s.index) + " entries, short of the games' " +
                       std::to_string(GameTableEntries) + ": entry " + std::to_string(s.index) + " at " + Hex(s.at);
    switch (s.stop) {
        case TableStop::ImageEnd: text += " runs past the end of the image"; break;
        case TableStop::VoiceWord: text += " starts with " + HexWord(s.word) + ", no voice word"; break;
        case TableStop::Pointer: text += " points at " + HexWord(s.word) + ", outside the image"; break;
        case TableStop::LastWord: text += " ends with " + HexWord(s.word) + ", not FF 00 FF 00"; break;
        case TableStop::None: break;
    }
    if (s.resumes > 0)
        text += "; " + std::to_string(s.resumes) + " entries after it carry the words again (--entries " +
                std::to_string(s.index + 1 + s.resumes) + " reads them)";
    return text;
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

}  // namespace

int RunIdentify(const IdentifyArgs& args) {
    RomContext ctx = OpenRom(args.rom, TableArgs{}, false);
    const RomIdentity& id = ctx.model.identity;
    const std::string label = Cp1252ToUtf8(id.label);
    const std::string code = PrintableBytes(id.code, ctx.image.size() >= GameCodeOfs + 4 ? 4 : 0);
    const bool moved = ctx.model.source == TableSource::Moved ||
                       (id.kind == RomKnown && ctx.model.source == TableSource::None);
    if (args.json) {
        Json j = Json::Object({{"rom", args.rom},
                               {"label", label},
                               {"code", code},
                               {"revision", id.revision >= 0 ? Json(id.revision) : Json()},
                               {"release_table", id.kind == RomKnown ? Json(id.tableOffset) : Json()},
                               {"table_moved", moved}});
        j.Merge(TableJson(ctx.model, ctx.shortfall));
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
        std::printf("release:   %s\n", label.c_str());
        std::printf("game code: %s\n", code.c_str());
        if (id.revision >= 0) std::printf("revision:  %d\n", id.revision);
        if (moved && !ctx.model.unusedTable)
            std::printf("the release's cry table at %s holds no entries: the table has moved\n",
                        Hex(id.tableOffset).c_str());
        if (ctx.model.HasTable()) {
            std::printf("%s\n", TableLine(ctx).c_str());
            PrintTableNotes(ctx);
        }
    }
    if (!ctx.model.HasTable()) Fail("no cry table found in '" + args.rom + "'");
    return ExitOk;
}

int RunList(const ListArgs& args) {
    RomContext ctx = OpenRom(args.rom, args.table, true);
    const std::vector<EntryRow> rows = EntryRows(ctx.model, ctx.rule);
    if (args.json) {
        Json entries = Json::Array();
        for (const EntryRow& r : rows) entries.Push(EntryJson(ctx, r));
        Json j = Json::Object({{"rom", args.rom}, {"rule", RuleName(ctx.rule)}});
        j.Merge(TableJson(ctx.model, ctx.shortfall));
        j.Set("entries", entries);
        PrintJson(j);
        return ExitOk;
    }
    std::printf("%s, %s IDs\n", TableLine(ctx).c_str(), RuleName(ctx.rule));
    if (const std::string shortfall = ShortfallText(ctx.shortfall); !shortfall.empty())
        std::printf("%s\n", shortfall.c_str());
    std::printf("%4s %5s %-10s %-9s %-12s %6s %7s %6s%s\n", "ID", "index", "pointer", "offset", "kind", "length",
                "seconds", "bytes", ctx.model.reverse ? " reverse" : "");
    for (const EntryRow& r : rows) {
        const Entry e = ReadEntry(ctx.image, ctx.model.table, r.index);
        const std::string id = r.id ? std::to_string(*r.id) : "-";
        std::string reverse;
        if (ctx.model.reverse)
            reverse = r.index < ctx.model.reverseEntries ? (ReverseInStep(ctx.image, ctx.model, r.index) ? " in step" : " differs")
                                                         : " -";
        if (!e.pointsIntoRom) {
            std::printf("%4s %5d %-10s %-9s %-12s %6s %7s %6s%s\n", id.c_str(), r.index,
                        e.inFile ? HexWord(e.pointer).c_str() : "-", "-", "none", "-", "-", "-", reverse.c_str());
            continue;
        }
        const SampleInfo s = InspectSample(ctx.image, e.offset);
        if (!s.Sound()) {
            std::printf("%4s %5d %-10s %-9s %-12s %6s %7s %6s%s\n", id.c_str(), r.index, HexWord(e.pointer).c_str(),
                        Hex(e.offset).c_str(), "invalid", "-", "-", "-", reverse.c_str());
            continue;
        }
        std::printf("%4s %5d %-10s %-9s %-12s %6u %7.3f %6u%s\n", id.c_str(), r.index, HexWord(e.pointer).c_str(),
                    Hex(e.offset).c_str(), SampleKindName(s), s.length, s.Seconds(), s.extent, reverse.c_str());
    }
    return ExitOk;
}

int RunDump(const DumpArgs& args) {
    CheckRate(args.rate, args.dialogHeader);
    const int given = !args.id.empty() + !args.index.empty() + !args.offset.empty();
    if (given != 1) BadUsage("give one of an ID, --index N or --offset HEX");
    const bool byEntry = args.offset.empty();
    RomContext ctx = OpenRom(args.rom, args.table, byEntry);
    RequireDistinctFiles(args.rom, args.out);
    uint32_t offset;
    std::optional<Target> target;
    if (byEntry) {
        target = ResolveTarget(ctx, args.id, args.index);
        const Entry e = ReadEntry(ctx.image, ctx.model.table, target->index);
        if (!e.pointsIntoRom)
            Fail("the entry of " + TargetName(*target) + " does not point into the ROM (" +
                 (e.inFile ? HexWord(e.pointer) : std::string("past the end")) + ")");
        offset = e.offset;
    } else {
        offset = ToFileOffset(ParseHex(args.offset, "offset"));
    }
    const SampleInfo s = InspectSample(ctx.image, offset);
    const std::string problem = DumpProblem(s, args.dialogHeader);
    if (!problem.empty()) Fail(problem);
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

namespace {

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
        std::string reason;
    };
    std::vector<Dumped> written;
    std::vector<Skipped> skipped;
};

Json DumpAllJson(const DumpAllArgs& args, const DumpAll& d) {
    Json written = Json::Array(), skipped = Json::Array();
    for (const auto& w : d.written)
        written.Push(Json::Object(
            {{"id", w.row.id}, {"index", w.row.index}, {"file", w.path}, {"rate", w.rate}, {"sample", SampleJson(w.sample)}}));
    for (const auto& k : d.skipped)
        skipped.Push(Json::Object({{"id", k.row.id}, {"index", k.row.index}, {"reason", k.reason}}));
    return Json::Object({{"dir", args.dir}, {"written", written}, {"skipped", skipped}});
}

void PrintDumpAll(const DumpAllArgs& args, const DumpAll& d) {
    std::printf("dumped %zu cries to %s", d.written.size(), args.dir.c_str());
    if (!d.skipped.empty()) {
        std::string names;
        for (const auto& k : d.skipped)
            names += (names.empty() ? "" : ", ") +
                     (k.row.id ? std::to_string(*k.row.id) : "index " + std::to_string(k.row.index));
        std::printf("; skipped %zu with no sample: %s", d.skipped.size(), names.c_str());
    }
    std::printf("\n");
}

}  // namespace

int RunDumpAll(const DumpAllArgs& args) {
    CheckRate(args.rate, args.dialogHeader);
    const RomContext ctx = OpenRom(args.rom, args.table, true);
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
        const SampleInfo s = InspectSample(ctx.image, e.offset);
        const std::string problem = e.pointsIntoRom ? DumpProblem(s, args.dialogHeader)
                                                    : "entry does not point into the ROM";
        if (!problem.empty()) {
            d.skipped.push_back({r, problem});
            continue;
        }
        const std::string path = (std::filesystem::path(args.dir) / (CryFileStem(r, ctx.rule) + ".wav")).string();
        const uint32_t rate = DumpRate(s, args.rate, args.dialogHeader);
        WriteSampleWav(ctx.image, s, rate, args.dialogHeader, path);
        d.written.push_back({r, path, rate, s});
    }
    if (args.json) PrintJson(DumpAllJson(args, d));
    else PrintDumpAll(args, d);
    if (d.written.empty()) Fail("no cry of '" + args.rom + "' could be dumped");
    return ExitOk;
}

int RunQuality(const QualityArgs& args) {
    const double rate = GameRateField / 1024.0;
    LoadedAudio audio = LoadSamples(args.input, rate, args.raw, args.condition);
    const Bytes& samples = audio.samples;
    if (samples.empty()) Fail("'" + args.input + "' holds no audio");
    struct Mode {
        const char* name;
        EncodeQuality q;
    } modes[] = {{"best", MeasureEncoding(samples, EncodeMode::Best)},
                 {"fast", MeasureEncoding(samples, EncodeMode::Fast)}};
    const EncodeMode chosen = ModeOf(args.quality);
    CheckEncoding(chosen == EncodeMode::Best ? modes[0].q : modes[1].q, chosen, audio.warnings);
    PrintWarnings(audio.warnings);
    if (args.json) {
        Json j = Json::Object({{"input", args.input},
                               {"length", samples.size()},
                               {"rate", std::lround(audio.rate)},
                               {"compares", "the decoded values with the conditioned 8-bit signal before encoding"},
                               {"units", Json::Object({{"snr_db", "dB"}, {"peak_error", "8-bit steps"}})},
                               {"warnings", WarningsJson(audio.warnings, WarningText)}});
        for (const Mode& m : modes)
            j.Set(m.name, Json::Object({{"snr_db", m.q.snrDb},
                                        {"peak_error", m.q.peakError},
                                        {"blocks", m.q.blocks},
                                        {"worst_blocks", m.q.worstBlocks}}));
        PrintJson(j);
        return ExitOk;
    }
    std::printf("%s: %zu samples at %.0f Hz (%.3f s), %u blocks\n", args.input.c_str(), samples.size(), audio.rate,
                samples.size() / audio.rate, modes[0].q.blocks);
    std::printf("compares what the game plays with the conditioned 8-bit signal before encoding\n");
    std::printf("%-5s %9s %19s %13s\n", "mode", "SNR (dB)", "peak error (steps)", "worst blocks");
    for (const Mode& m : modes) std::printf("%-5s %9.2f %19d %13u\n", m.name, m.q.snrDb, m.q.peakError, m.q.worstBlocks);
    return ExitOk;
}

void AddIdentifyOptions(CLI::App* cmd, IdentifyArgs& args) { AddRomOptions(cmd, args.rom, args.json); }

void AddListOptions(CLI::App* cmd, ListArgs& args) {
    AddRomOptions(cmd, args.rom, args.json);
    AddTableOptions(cmd, args.table);
}

void AddDumpOptions(CLI::App* cmd, DumpArgs& args) {
    AddRomOptions(cmd, args.rom, args.json);
    cmd->add_option("ID", args.id, "Cry ID (1-411)");
    cmd->add_option("--index", args.index, "Table index (0-based) instead of an ID");
    cmd->add_option("--offset", args.offset, "Sample offset (hex) instead of an ID");
    cmd->add_option("-o,--output", args.out, "WAV file to write")->required();
    cmd->add_option("--rate", args.rate, "Resample to this rate in Hz, pitch and duration kept (default: the sample's own)");
    cmd->add_flag("--dialog-header", args.dialogHeader,
                  "The sample's own values under an 11050 Hz header, as the dialog writes them (plays 5 % fast)");
    AddTableOptions(cmd, args.table);
}

void AddDumpAllOptions(CLI::App* cmd, DumpAllArgs& args) {
    AddRomOptions(cmd, args.rom, args.json);
    cmd->add_option("DIR", args.dir, "Directory for the WAV files (created if missing)")->required();
    cmd->add_option("--rate", args.rate, "Resample to this rate in Hz (default: each sample's own)");
    cmd->add_flag("--dialog-header", args.dialogHeader, "The values under the dialog's 11050 Hz header");
    AddTableOptions(cmd, args.table);
}

void AddQualityOptions(CLI::App* cmd, QualityArgs& args) {
    cmd->footer(AudioNote());
    cmd->add_option("IN", args.input, "Audio file")->required();
    cmd->add_flag("--raw", args.raw, "Take an 8-bit mono WAV's bytes as they are, unconverted");
    AddQualityOption(cmd, args.quality, "The mode whose warnings are shown: best (default) or fast");
    AddConditionOptions(cmd, args.condition);
    AddJsonOption(cmd, args.json);
}
