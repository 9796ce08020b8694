// import: a whole directory of cries into the ROM in one step. Every file is
// read and encoded first (on every core), then one plan places them all: a
// cry stays in its slot when it fits there and goes to free space otherwise,
// largest first. Any problem refuses the whole import and names every one;
// the ROM is then left byte-identical.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

#include "audio.h"
#include "command.h"
#include "context.h"
#include "heard_cries.h"
#include "options.h"
#include "output.h"
#include "parallel.h"
#include "romfile.h"
#include "text.h"
#include "words.h"
#include "writing.h"

namespace fs = std::filesystem;

namespace {

struct ImportArgs {
    std::string rom;
    std::string dir;
    std::string quality = "best";
    bool raw = false;
    ConditionArgs condition;
    bool reclaim = false;
    std::optional<uint32_t> rate;
    std::string kind;
    std::string preview;  // directory for a WAV per cry of what the game will play
    std::string freeStart;
    std::string freeEnd;
    TableArgs table;
    WriteArgs write;
    bool json = false;
};

// A file of the directory that names a cry (ParseCryFileName: cry-NNN.*,
// species-NNN.* with --species, index-NNNN.*); the rest is ignored.
struct Source {
    std::string path;
    std::string name;  // "ID 25" or "entry 400"
    std::optional<int> id;
    int index = -1;
    // Filled by the encoding pass:
    EncodedCry cry;
    Bytes input;          // the values it was made from
    HeardFigures figures;  // the new sample as heard
    AudioWarnings warnings;
    HeardCry heard;
    std::string problem;
};

std::vector<Source> FindSources(const RomContext& ctx, const std::string& dir, std::vector<std::string>* ignored) {
    std::error_code error;
    if (!fs::is_directory(dir, error)) Fail("'" + dir + "' is not a directory");
    std::vector<Source> sources;
    std::map<int, std::string> byIndex;
    for (const fs::directory_entry& f : fs::directory_iterator(dir, error)) {
        const std::string file = f.path().filename().string();
        const std::optional<EntryRow> named = ParseCryFileName(file, ctx.rule);
        if (!named) {
            ignored->push_back(file);
            continue;
        }
        Source s;
        s.path = f.path().string();
        s.id = named->id;
        s.index = named->index;
        s.name = s.id ? "ID " + std::to_string(*s.id) : "entry " + std::to_string(s.index);
        if (s.id && s.index < 0) s.problem = s.name + " has no cry of its own";
        if (s.problem.empty() && s.index >= ctx.model.entries)
            s.problem = PastTable(ctx.model.table, ctx.model.entries, s.name);
        if (s.problem.empty() && byIndex.count(s.index))
            s.problem = "entry " + std::to_string(s.index) + " also comes from " + byIndex[s.index];
        if (s.index >= 0) byIndex.emplace(s.index, file);
        sources.push_back(s);
    }
    if (error) Fail("cannot read directory '" + dir + "': " + error.message());
    std::sort(sources.begin(), sources.end(), [](const Source& a, const Source& b) { return a.index < b.index; });
    std::sort(ignored->begin(), ignored->end());
    return sources;
}

// Loads and encodes every source on every core.
void EncodeAll(const RomContext& ctx, std::vector<Source>& sources, const ImportArgs& args, bool progress) {
    const EncodeMode mode = ModeOf(args.quality);
    const GameFamily family = FamilyOf(ctx);
    const std::vector<std::string> problems = WorkOnEach(
        sources.size(),
        [&](size_t i) {
            Source& s = sources[i];
            if (!s.problem.empty()) return;
            const NewSample wanted = NewSampleFor(DefaultsForEntry(ctx.image, ctx.model, s.index), args.rate, args.kind);
            LoadedAudio audio = LoadSamples(s.path, wanted.Rate(), args.raw, args.condition);
            s.cry = EncodeCry(audio.samples, wanted.kind, mode, LoadedRateField(audio, wanted, args.condition.keepRate),
                              s.path);
            CheckEncoding(s.cry.quality, mode, audio.warnings);
            s.warnings = audio.warnings;
            s.figures = SampleHeard(s.cry.sample, CryVoiceByte(s.cry.kind), family);
            s.input = std::move(audio.samples);
        },
        progress);
    for (size_t i = 0; i < sources.size(); ++i)
        if (!problems[i].empty()) sources[i].problem = problems[i];
}

// Hears every new sample on every core, its loudness against the table as
// the import leaves it: every other cry, old or new.
void HearAll(const RomContext& ctx, std::vector<Source>& sources) {
    const GameFamily family = FamilyOf(ctx);
    std::vector<std::optional<HeardFigures>> table = TableHeardOnEachCore(ctx);
    for (const Source& s : sources)
        if (s.problem.empty()) table[static_cast<size_t>(s.index)] = s.figures;
    WorkOnEach(
        sources.size(),
        [&](size_t i) {
            Source& s = sources[i];
            if (!s.problem.empty()) return;
            const int self[] = {s.index};
            s.heard = HearCry(s.cry, s.input, family, MedianLoudnessDb(table, self));
        },
        false);
}

// One WAV per cry, named as its source with a .wav ending.
void WritePreviews(const std::vector<Source>& sources, const std::string& dir) {
    std::error_code error;
    fs::create_directories(dir, error);
    if (error) Fail("cannot create directory '" + dir + "': " + error.message());
    for (const Source& s : sources)
        WritePreview((fs::path(dir) / fs::path(s.path).filename().replace_extension(".wav")).string(), s.cry.sample);
}

std::string Placement(const CryPlan& c) {
    if (!c.moved) return "in place";
    return "moved to " + Hex(c.newOffset);
}

// An import, from the files found to what was written: its text and its
// JSON are both rendered from this.
struct Import {
    std::vector<std::string> ignored;
    std::vector<Source> sources;
    std::vector<std::string> refused;  // sources that cannot be imported, named with their files
    EditRequest request;
    Plan plan;
    Written written;
};

// One change per source that can be imported; the others are named in `refused`.
void ImportRequest(const RomContext& ctx, const ImportArgs& args, Import& im) {
    im.request.reclaim = args.reclaim;
    im.request.freeRange = FreeRangeOf(ctx, args.freeStart, args.freeEnd);
    for (const Source& s : im.sources) {
        if (!s.problem.empty()) {
            im.refused.push_back(s.name + " (" + fs::path(s.path).filename().string() + "): " + s.problem);
            continue;
        }
        CryChange c;
        c.index = s.index;
        c.sample = s.cry.sample;
        im.request.cries.push_back(c);
    }
}

// Refuses the whole import for any source refused or any problem of the plan.
void RefuseImportUnlessOk(const RomContext& ctx, const Import& im) {
    std::vector<std::string> problems = im.refused;
    for (const Problem& p : im.plan.problems)
        problems.push_back(ProblemLine(ctx, p));
    if (problems.empty()) return;
    std::string text = "nothing imported: " + std::to_string(problems.size()) + " problem" +
                       (problems.size() == 1 ? "" : "s");
    for (const std::string& p : problems) text += "\n  " + p;
    FailPlan(ctx, im.plan, text);
}

Json ImportJson(const RomContext& ctx, const ImportArgs& args, const Import& im) {
    std::map<int, Json> extra;
    for (const Source& s : im.sources) {
        Json warnings = WarningsJson(s.warnings, WarningText);
        for (const HeardWarning& w : s.heard.warnings) warnings.Push(HeardWarningJson(w, HeardWarningWords));
        extra[s.index] = Json::Object({{"snr_db", s.cry.quality.snrDb},
                                       {"snr_heard_db", s.heard.snrDb},
                                       {"file", s.path},
                                       {"length", s.cry.values},
                                       {"warnings", warnings}});
    }
    Json j = Json::Object({{"rom", args.rom},
                           {"dir", args.dir},
                           {"quality", ModeName(ModeOf(args.quality))},
                           {"ignored", im.ignored},
                           {"plan", PlanJson(ctx, im.plan, extra)}});
    j.Merge(WrittenJson(args.write, im.written));
    return j;
}

void PrintImport(const RomContext& ctx, const ImportArgs& args, const Import& im) {
    std::map<int, const Source*> byIndex;
    for (const Source& s : im.sources) byIndex[s.index] = &s;
    const Plan& plan = im.plan;
    for (const std::string& f : im.ignored) std::printf("ignored: %s\n", f.c_str());
    std::printf("%-14s %9s %9s  %-22s %8s %8s\n", "cry", "old bytes", "new bytes", "placement", "SNR (dB)", "as heard");
    for (const CryPlan& c : plan.cries) {
        const Source& s = *byIndex[c.index];
        std::printf("%-14s %9u %9u  %-22s %8s %8s\n", s.name.c_str(), c.oldBytes, c.newBytes, Placement(c).c_str(),
                    SnrText(s.cry.quality.snrDb, "").c_str(), HeardSnrText(s.heard.snrDb, "").c_str());
    }
    for (Span r : plan.reclaimed) std::printf("reclaimed %s-%s (%u bytes)\n", Hex(r.start).c_str(), Hex(r.end).c_str(), r.Size());
    std::printf("%zu cries; %llu bytes of free space used, %llu reclaimed, %llu left\n", plan.cries.size(),
                static_cast<unsigned long long>(plan.bytesUsed), static_cast<unsigned long long>(plan.bytesFreed),
                static_cast<unsigned long long>(plan.freeLeft));
    std::printf("%s\n", Outcome(ctx, args.write, im.written).c_str());
}

int RunImport(const ImportArgs& args) {
    CheckSampleRate(args.rate);
    RequireSeparateOutput(args.write.patch, {args.rom});
    const RomContext ctx = OpenRom(args.rom, args.table, true);
    Import im;
    im.sources = FindSources(ctx, args.dir, &im.ignored);
    if (im.sources.empty()) Fail("'" + args.dir + "' holds no cry files (cry-NNN.*, species-NNN.*, index-NNNN.*)");
    EncodeAll(ctx, im.sources, args, IsTerminal(stderr));
    HearAll(ctx, im.sources);
    ImportRequest(ctx, args, im);
    im.plan = PlanEdits(ctx.image, ctx.model, im.request);
    PrintPlanWarnings(ctx, im.plan);
    RefuseImportUnlessOk(ctx, im);
    for (const Source& s : im.sources) {
        if (s.warnings.empty() && s.heard.warnings.empty()) continue;
        std::fprintf(stderr, "%s:\n", s.name.c_str());
        PrintWarnings(s.warnings);
        PrintHeardWarnings(s.heard.warnings);
    }
    WarnOverwritten(ctx, im.plan);
    if (!args.preview.empty()) WritePreviews(im.sources, args.preview);
    im.written = CommitPlan(ctx, args.write, im.plan);
    if (args.json) PrintJson(ImportJson(ctx, args, im));
    else PrintImport(ctx, args, im);
    return ExitOk;
}

void AddImportOptions(CLI::App* cmd, ImportArgs& args) {
    AddRomOptions(cmd, args.rom, args.json);
    cmd->footer(std::string(AudioNote()) +
                "\nFiles: cry-NNN.* (species-NNN.* with --species) and index-NNNN.*, as dump-all writes them; "
                "others are ignored. A cry stays in its slot when it fits, else moves to free space (largest "
                "first) and both tables are repointed. Any problem refuses the whole import.");
    cmd->add_option("DIR", args.dir, "Directory of audio files")->required();
    AddQualityOption(cmd, args.quality, "best (least error, default) or fast (greedy)");
    cmd->add_flag("--raw", args.raw, "Take 8-bit mono WAVs' bytes as they are, unconverted");
    cmd->add_flag("--reclaim", args.reclaim,
                  "Fill the slots moved cries leave with FF (when nothing points into them) and reuse them");
    cmd->add_option("--free-start", args.freeStart, "Inner free space is used from here (hex)");
    cmd->add_option("--free-end", args.freeEnd, "Inner free space is used up to here (hex)");
    AddSampleOptions(cmd, args.rate, args.kind);
    cmd->add_option("--preview", args.preview,
                    "Write what the game will play, a WAV per cry, into this directory (with --dry-run only that)");
    AddConditionOptions(cmd, args.condition);
    AddTableOptions(cmd, args.table);
    AddWriteOptions(cmd, args.write);
}

}  // namespace

Command ImportCommand() {
    return MakeCommand(nullptr, "import", "Replace every cry a directory holds, in one step", AddImportOptions, RunImport);
}
