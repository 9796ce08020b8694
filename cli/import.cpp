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
#include "fitting.h"
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
    bool noShare = false;
    bool allSharing = false;
    std::optional<uint32_t> rate;
    std::string kind;
    std::string preview;  // directory for a WAV per cry of what the game will play
    std::string freeStart;
    std::string freeEnd;
    bool fit = false;                  // choose each cry's rate so that the pack fits
    uint32_t minRate = DefaultMinFitRate;
    std::optional<uint64_t> budget;    // bytes the new samples may take in all
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
    bool fitted = false;               // its rate chosen by --fit
    std::optional<double> heardSnrDb;  // with --fit: against the input at the highest rate the game plays
};

std::vector<Source> FindSources(const RomContext& ctx, const std::string& dir, std::vector<std::string>* ignored) {
    std::error_code error;
    if (!fs::is_directory(dir, error)) Fail("'" + dir + "' is not a directory");
    std::vector<fs::path> paths;
    std::vector<std::string> names;
    for (const fs::directory_entry& f : fs::directory_iterator(dir, error)) {
        paths.push_back(f.path());
        names.push_back(f.path().filename().string());
    }
    if (error) Fail("cannot read directory '" + dir + "': " + error.message());
    std::vector<size_t> left;
    std::vector<Source> sources;
    for (const PackFile& f : MatchPackFiles(names, ctx.model, ctx.rule, &left)) {
        Source s;
        s.path = paths[f.file].string();
        s.id = f.row.id;
        s.index = f.row.index;
        s.name = s.id ? "ID " + std::to_string(*s.id) : "entry " + std::to_string(s.index);
        if (f.problem != PackFileProblem::None)
            s.problem = DescribePackFileProblem(f.problem, s.name, ctx.model.table, ctx.model.entries, names[f.other]);
        sources.push_back(s);
    }
    for (size_t i : left) ignored->push_back(names[i]);
    std::sort(ignored->begin(), ignored->end());
    return sources;
}

// What the new sample of a source declares unless --fit lowers its rate.
NewSample WantedFor(const RomContext& ctx, const Source& s, const ImportArgs& args) {
    return NewSampleFor(DefaultsForEntry(ctx.image, ctx.model, s.index), args.rate, args.kind);
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
            const NewSample wanted = WantedFor(ctx, s, args);
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
            const std::optional<double> median = MedianLoudnessDb(table, self);
            // A fitted cry's SNR as heard is the fit's own, against the input at the highest rate the game
            // plays, so that the loss of a lower rate counts.
            if (s.fitted) s.heard = {s.heardSnrDb, WarningsHeard(s.cry.sample, CryVoiceByte(s.cry.kind), family, median)};
            else s.heard = HearCry(s.cry, s.input, family, median);
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

std::string Placement(const RomContext& ctx, const CryPlan& c) {
    if (c.sameAs >= 0) return "same as " + EntryName(ctx, c.sameAs);
    if (!c.moved) return "in place";
    return "moved to " + Hex(c.newOffset);
}

// An import, from the files found to what was written: its text and its
// JSON are both rendered from this.
struct Import {
    std::optional<PackFit> fit;  // with --fit
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
    im.request.share = !args.noShare;
    im.request.allSharing = args.allSharing;
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

// Every source read once, on every core, for a fit: conditioned up to
// resampling, with the rates its cry may take. A source that cannot be read
// gets its problem, as in EncodeAll.
std::vector<FitSource> ReadForFit(const RomContext& ctx, std::vector<Source>& sources, const ImportArgs& args,
                                  uint32_t minRate, bool progress) {
    std::vector<FitSource> read(sources.size());
    const std::vector<std::string> problems = WorkOnEach(
        sources.size(),
        [&](size_t i) {
            const Source& s = sources[i];
            if (!s.problem.empty()) return;
            const NewSample wanted = WantedFor(ctx, s, args);
            FitSource& f = read[i];
            f.audio = ReadSource(s.path, std::max<double>(wanted.Rate(), MaxUsefulRateHz), args.condition);
            f.kind = wanted.kind;
            const double own = args.condition.keepRate ? f.audio.rate : wanted.Rate();
            f.rates = FitRates(static_cast<uint32_t>(std::lround(own)), minRate);
        },
        progress);
    std::vector<FitSource> fit;
    for (size_t i = 0; i < sources.size(); ++i) {
        if (!problems[i].empty()) sources[i].problem = problems[i];
        if (sources[i].problem.empty()) fit.push_back(std::move(read[i]));
    }
    return fit;
}

// --fit: the rates chosen so that the pack fits, then the cries encoded at
// them. A pack that does not fit even at the lowest rates is refused.
void FitAll(const RomContext& ctx, const ImportArgs& args, Import& im, bool progress) {
    std::vector<FitSource> read = ReadForFit(ctx, im.sources, args, args.minRate, progress);
    ImportRequest(ctx, args, im);
    if (!im.refused.empty()) return;
    PackFit pack = FitSources(ctx, im.request, read, args.budget, ModeOf(args.quality), progress);
    if (!pack.fit.fits)
        throw CliFailure(ExitFailure, "nothing imported: " + DescribeFitMissing(pack.fit.missing, args.minRate, args.budget.has_value()),
                         Json::Object({{"problems", Json::Array()}, {"missing_bytes", pack.fit.missing}}));
    size_t k = 0;
    for (Source& s : im.sources) {
        FittedCry& c = pack.cries[k];
        s.cry = c.cry;
        s.warnings = c.warnings;
        s.heardSnrDb = c.heardSnrDb;
        s.fitted = true;
        s.figures = SampleHeard(c.cry.sample, CryVoiceByte(c.cry.kind), FamilyOf(ctx));
        im.request.cries[k++].sample = c.cry.sample;
    }
    im.fit = std::move(pack);
}

// Whether --fit would fit a pack the plan found no room for, and the lowest
// rate it would take; none when it would not, or cannot tell (--raw takes the
// rates as they are).
std::optional<uint32_t> LowestRateToFit(const RomContext& ctx, const ImportArgs& args, const Import& im) {
    if (!FitMightHelp(im.plan) || args.raw || !im.refused.empty()) return std::nullopt;
    // The refusal stands whatever happens here: a source that fails now only
    // leaves the hint out.
    try {
        std::vector<Source> sources = im.sources;
        const std::vector<FitSource> read = ReadForFit(ctx, sources, args, DefaultMinFitRate, false);
        if (read.size() != im.request.cries.size()) return std::nullopt;
        const PackFit pack = FitSources(ctx, im.request, read, std::nullopt, std::nullopt, false);
        if (!pack.fit.fits) return std::nullopt;
        return LowestRate(pack.rates);
    } catch (const CliFailure&) {
        return std::nullopt;
    }
}

// Refuses the whole import for any source refused or any problem of the plan.
void RefuseImportUnlessOk(const RomContext& ctx, const ImportArgs& args, const Import& im) {
    std::vector<std::string> problems = im.refused;
    for (const Problem& p : im.plan.problems)
        problems.push_back(ProblemLine(ctx, p));
    if (problems.empty()) return;
    std::string text = "nothing imported: " + std::to_string(problems.size()) + " problem" +
                       (problems.size() == 1 ? "" : "s");
    for (const std::string& p : problems) text += "\n  " + p;
    // fit_lowest_rate: the lowest rate --fit would take to fit the pack; null
    // when it would not, or was asked.
    const std::optional<uint32_t> lowest = args.fit ? std::nullopt : LowestRateToFit(ctx, args, im);
    if (lowest) text += "\n" + DescribeFitWouldFit(*lowest);
    FailPlan(ctx, im.plan, text, Json::Object({{"fit_lowest_rate", lowest}}));
}

Json FitJson(const ImportArgs& args, const Import& im) {
    if (!im.fit) return Json();
    return Json::Object({{"min_rate", args.minRate},
                         {"budget", args.budget},
                         {"lowest_rate", LowestRate(im.fit->rates)},
                         {"median_rate", MedianRate(im.fit->rates)},
                         {"bytes", im.plan.NewBytes()}});
}

Json ImportJson(const RomContext& ctx, const ImportArgs& args, const Import& im) {
    std::map<int, Json> extra;
    for (const Source& s : im.sources) {
        Json warnings = WarningsJson(s.warnings, WarningText);
        for (const HeardWarning& w : s.heard.warnings) warnings.Push(HeardWarningJson(w, HeardWarningWords));
        extra[s.index] = Json::Object({{"snr_db", s.cry.quality.snrDb},
                                       {"snr_heard_db", s.heard.snrDb},
                                       {"rate", s.cry.rateField / 1024},
                                       {"file", s.path},
                                       {"length", s.cry.values},
                                       {"warnings", warnings}});
    }
    Json j = Json::Object({{"rom", args.rom},
                           {"dir", args.dir},
                           {"quality", ModeName(ModeOf(args.quality))},
                           {"ignored", im.ignored},
                           {"fit", FitJson(args, im)},
                           {"plan", PlanJson(ctx, im.plan, extra)}});
    j.Merge(WrittenJson(args.write, im.written));
    return j;
}

void PrintImport(const RomContext& ctx, const ImportArgs& args, const Import& im) {
    std::map<int, const Source*> byIndex;
    for (const Source& s : im.sources) byIndex[s.index] = &s;
    const Plan& plan = im.plan;
    for (const std::string& f : im.ignored) std::printf("ignored: %s\n", f.c_str());
    std::printf("%-14s %9s %9s  %-22s %8s %8s", "cry", "old bytes", "new bytes", "placement", "SNR (dB)", "as heard");
    if (im.fit) std::printf(" %8s", "rate");
    std::printf("\n");
    for (const CryPlan& c : plan.cries) {
        const Source& s = *byIndex[c.index];
        std::printf("%-14s %9u %9u  %-22s %8s %8s", s.name.c_str(), c.oldBytes, c.newBytes, Placement(ctx, c).c_str(),
                    SnrText(s.cry.quality.snrDb, "").c_str(), HeardSnrText(s.heard.snrDb, "").c_str());
        if (im.fit) std::printf(" %8u", s.cry.rateField / 1024);
        std::printf("\n");
    }
    for (Span r : plan.reclaimed) std::printf("reclaimed %s-%s (%u bytes)\n", Hex(r.start).c_str(), Hex(r.end).c_str(), r.Size());
    std::printf("%zu cries; %llu bytes of free space used, %llu reclaimed, %llu left, %llu saved by storing identical samples once\n",
                plan.cries.size(), static_cast<unsigned long long>(plan.bytesUsed),
                static_cast<unsigned long long>(plan.bytesFreed), static_cast<unsigned long long>(plan.freeLeft),
                static_cast<unsigned long long>(plan.bytesShared));
    if (im.fit)
        std::printf("fit: new samples %llu bytes in all, rates from %u Hz (median %u Hz)\n",
                    static_cast<unsigned long long>(im.plan.NewBytes()), LowestRate(im.fit->rates), MedianRate(im.fit->rates));
    std::printf("%s\n", Outcome(ctx, args.write, im.written).c_str());
}

void CheckImportArgs(const ImportArgs& args) {
    CheckSampleRate(args.rate);
    if (args.fit && args.raw) BadUsage("--fit resamples each cry to the rate it chooses: it excludes --raw");
    if (!MinFitRateAllowed(args.minRate))
        BadUsage("--min-rate must lie between " + std::to_string(MinSampleRate) + " and " +
                 std::to_string(MaxUsefulRateHz) + " Hz");
}

int RunImport(const ImportArgs& given) {
    ImportArgs args = given;
    CheckImportArgs(args);
    RequireSeparateOutput(args.write.patch, {args.rom});
    const RomContext ctx = OpenRom(args.rom, args.table, true);
    Import im;
    im.sources = FindSources(ctx, args.dir, &im.ignored);
    if (im.sources.empty()) Fail("'" + args.dir + "' holds no cry files (cry-NNN.*, species-NNN.*, index-NNNN.*)");
    std::vector<int> replaced;
    for (const Source& s : im.sources) replaced.push_back(s.index);
    ResolveLoudness(ctx, args.condition, replaced);
    if (args.fit) {
        FitAll(ctx, args, im, IsTerminal(stderr));
    } else {
        EncodeAll(ctx, im.sources, args, IsTerminal(stderr));
        ImportRequest(ctx, args, im);
    }
    HearAll(ctx, im.sources);
    im.plan = PlanEdits(ctx.image, ctx.model, im.request);
    PrintPlanWarnings(ctx, im.plan);
    RefuseImportUnlessOk(ctx, args, im);
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
    cmd->add_flag("--no-share", args.noShare, "Store a copy per cry even when new samples are byte-identical");
    AddAllSharingOption(cmd, args.allSharing);
    cmd->add_option("--free-start", args.freeStart, "Inner free space is used from here (hex)");
    cmd->add_option("--free-end", args.freeEnd, "Inner free space is used up to here (hex)");
    AddSampleOptions(cmd, args.rate, args.kind);
    auto* fit = cmd->add_flag("--fit", args.fit,
                              "When the pack does not fit at its rates, lower them (first to 13379 Hz, then step by "
                              "step where the least is heard lost per byte) until it fits");
    cmd->add_option("--min-rate", args.minRate, "--fit takes no cry below this rate (Hz, default 6000)")->needs(fit);
    cmd->add_option("--budget", args.budget, "--fit: the new samples may take this many bytes in all")->needs(fit);
    cmd->add_option("--preview", args.preview,
                    "Write what the game will play, a WAV per cry, into this directory (with --dry-run only that)");
    AddConditionOptions(cmd, args.condition);
    AddLoudnessOption(cmd, args.condition);
    AddTableOptions(cmd, args.table);
    AddWriteOptions(cmd, args.write);
}

}  // namespace

Command ImportCommand() {
    return MakeCommand(nullptr, "import", "Replace every cry a directory holds, in one step", AddImportOptions, RunImport);
}
