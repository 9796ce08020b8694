// encode: an audio file into the ROM, over an ID's sample (in place, or into
// free space with the entry repointed) or at a given offset. The whole edit
// is planned on the image in memory first; the ROM is then replaced in one
// step (romfile.h), or left alone under --dry-run.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>

#include "audio.h"
#include "command.h"
#include "context.h"
#include "heard_cries.h"
#include "options.h"
#include "output.h"
#include "text.h"
#include "words.h"
#include "writing.h"

namespace {

struct EncodeArgs {
    std::string rom;
    std::string input;
    TargetArgs target;
    std::optional<uint32_t> rate;  // the rate the new sample declares; default: the replaced sample's
    std::string kind;              // compressed or uncompressed; default: the replaced sample's
    std::string preview;           // WAV of what the game will play
    bool force = false;
    bool repointFree = false;
    std::string freeStart;
    std::string freeEnd;
    std::string quality = "best";
    bool raw = false;
    ConditionArgs condition;
    TableArgs table;
    WriteArgs write;
    bool json = false;
};


void CheckEncodeArgs(const EncodeArgs& args) {
    if ((!args.freeStart.empty() || !args.freeEnd.empty()) && !args.repointFree)
        BadUsage("--free-start and --free-end go with --repoint-free");
    if (args.repointFree && args.target.id.empty() && args.target.index.empty())
        BadUsage("--repoint-free needs an ID or --index, whose entry it repoints");
    RequireOneTarget(args.target);
    if (args.repointFree && args.force) BadUsage("--repoint-free and --force exclude each other");
    CheckSampleRate(args.rate);
}

void RefuseUnlessOk(const RomContext& ctx, const Plan& plan, bool repointFreeHint) {
    if (plan.Ok()) return;
    std::string text = PlanProblems(ctx, plan);
    for (const Problem& p : plan.problems)
        if (p.kind == PlanProblem::DoesNotFit && repointFreeHint) {
            text += "; --repoint-free would place it in free space, or --force overwrites what follows";
            break;
        }
    FailPlan(ctx, plan, text);
}

// The FF run the sample went into, and what is left.
std::string FreeLine(const RomContext& ctx, const Plan& plan, const std::optional<Span>& range, uint32_t at) {
    const std::vector<Span> runs = range ? FreeRuns(ctx.image, *range) : std::vector<Span>{FreeTail(ctx.image)};
    std::string line = "free space: ";
    for (Span r : runs)
        if (at >= r.start && at < r.end)
            line += (range ? "the FF run " : "the FF tail ") + Hex(r.start) + "-" + Hex(r.end) + " (" +
                    std::to_string(r.Size()) + " bytes), ";
    return line + std::to_string(plan.freeLeft) + " bytes left";
}

// An encode, from the request to what was written: its text and its JSON are
// both rendered from this.
struct Encoding {
    std::optional<Target> target;  // none with --offset
    EncodeMode mode = EncodeMode::Best;
    LoadedAudio audio;
    EncodedCry cry;
    HeardCry heard;
    EditRequest request;
    Plan plan;
    Written written;
};

// The new sample encoded from the audio, and the change that puts it in place.
Encoding EncodeRequest(const RomContext& ctx, const EncodeArgs& args) {
    Encoding e;
    e.mode = ModeOf(args.quality);
    CryChange change;
    change.force = args.force;
    SampleDefaults defaults;  // those of the sample the new one takes the place of
    if (args.target.offset.empty()) {
        e.target = ResolveTarget(ctx, args.target.id, args.target.index);
        change.index = e.target->index;
        change.place = args.repointFree ? CryChange::Place::Free : CryChange::Place::InPlace;
        defaults = DefaultsForEntry(ctx.image, ctx.model, e.target->index);
    } else {
        change.index = -1;
        change.place = CryChange::Place::At;
        change.at = ToFileOffset(ParseHex(args.target.offset, "offset"));
        defaults = DefaultsFor(ctx.image, change.at);
    }
    const NewSample wanted = NewSampleFor(defaults, args.rate, args.kind);
    e.audio = LoadSamples(args.input, wanted.Rate(), args.raw, args.condition);
    e.cry = EncodeCry(e.audio.samples, wanted.kind, e.mode, LoadedRateField(e.audio, wanted, args.condition.keepRate),
                      args.input);
    CheckEncoding(e.cry.quality, e.mode, e.audio.warnings);
    // Its loudness against the other cries of the table.
    const std::vector<int> replaced = e.target ? std::vector<int>{e.target->index} : std::vector<int>{};
    e.heard = HearCry(e.cry, e.audio.samples, FamilyOf(ctx), MedianLoudnessDb(TableHeardOnEachCore(ctx), replaced));
    change.sample = e.cry.sample;
    e.request.cries.push_back(change);
    e.request.freeRange = FreeRangeOf(ctx, args.freeStart, args.freeEnd);
    return e;
}

Json EncodingJson(const RomContext& ctx, const EncodeArgs& args, const Encoding& e) {
    const CryPlan& c = e.plan.cries.front();
    // The sound's warnings, what the game will play of it, then the edit's.
    Json warnings = WarningsJson(e.audio.warnings, WarningText);
    for (const HeardWarning& w : e.heard.warnings) warnings.Push(HeardWarningJson(w, HeardWarningWords));
    for (const PlanWarning& w : e.plan.warnings) warnings.Push(PlanWarningJson(w, ctx.rule, PlanWarningWords));
    Json j = Json::Object({{"rom", args.rom},
                           {"input", args.input},
                           {"id", e.target ? Json(e.target->id) : Json()},
                           {"index", e.target ? Json(e.target->index) : Json()},
                           {"length", e.cry.values},
                           {"rate", e.cry.rateField / 1024},
                           {"kind", FormatOf(e.cry.kind).name},
                           {"quality", ModeName(e.mode)},
                           {"snr_db", e.cry.quality.snrDb},
                           {"snr_heard_db", e.heard.snrDb},
                           {"grade", GradeName(GradeOf(e.cry.quality))},
                           {"warnings", warnings},
                           {"plan", PlanJson(ctx, e.plan, {{c.index, Json::Object({{"snr_db", e.cry.quality.snrDb},
                                                                                   {"snr_heard_db", e.heard.snrDb}})}})}});
    j.Merge(WrittenJson(args.write, e.written));
    return j;
}

void PrintEncoding(const RomContext& ctx, const EncodeArgs& args, const Encoding& e) {
    const CryPlan& c = e.plan.cries.front();
    const uint32_t hz = e.cry.rateField / 1024;
    const QualityGrade grade = GradeOf(e.cry.quality);
    const std::string graded = grade == QualityGrade::Exact ? "" : std::string(" (") + GradeWord(grade) + ")";
    std::printf("%s: %u samples at %u Hz (%.3f s), quality %s, SNR %s%s, as heard %s\n", args.input.c_str(),
                e.cry.values, hz, e.cry.values / static_cast<double>(hz), ModeName(e.mode),
                SnrText(e.cry.quality.snrDb).c_str(), graded.c_str(), HeardSnrText(e.heard.snrDb).c_str());
    std::printf("sample: %u bytes, %s, at %s", c.newBytes, FormatOf(e.cry.kind).name, Hex(c.newOffset).c_str());
    if (c.oldBytes && c.oldKind) std::printf(" (replaces %s sample of %u bytes)", WithArticle(FormatOf(*c.oldKind).name).c_str(), c.oldBytes);
    if (c.moved) std::printf(" (moved from %s)", Hex(c.oldOffset).c_str());
    std::printf("\n");
    PrintUpdates(e.plan);
    if (args.repointFree) std::printf("%s\n", FreeLine(ctx, e.plan, e.request.freeRange, c.newOffset).c_str());
    std::printf("%s\n", Outcome(ctx, args.write, e.written).c_str());
}

int RunEncode(const EncodeArgs& args) {
    CheckEncodeArgs(args);
    RequireSeparateOutput(args.write.patch, {args.rom, args.input});
    const RomContext ctx = OpenRom(args.rom, args.table, args.target.offset.empty());
    Encoding e = EncodeRequest(ctx, args);
    e.plan = PlanEdits(ctx.image, ctx.model, e.request);
    PrintWarnings(e.audio.warnings);
    PrintHeardWarnings(e.heard.warnings);
    PrintPlanWarnings(ctx, e.plan);
    // --repoint-free needs an entry to repoint: no hint of it for --offset.
    RefuseUnlessOk(ctx, e.plan, !args.repointFree && e.target.has_value());
    WarnOverwritten(ctx, e.plan);
    if (!args.preview.empty()) {
        RequireDistinctFiles(args.rom, args.preview);
        WritePreview(args.preview, e.cry.sample);
    }
    e.written = CommitPlan(ctx, args.write, e.plan);
    if (args.json) PrintJson(EncodingJson(ctx, args, e));
    else PrintEncoding(ctx, args, e);
    return ExitOk;
}

void AddEncodeOptions(CLI::App* cmd, EncodeArgs& args) {
    AddRomOptions(cmd, args.rom, args.json);
    cmd->footer(AudioNote());
    cmd->add_option("IN", args.input, "Audio file")->required();
    cmd->add_option("ID", args.target.id, "Cry ID: write over its current sample");
    cmd->add_option("--index", args.target.index, "Table index (0-based) instead of an ID");
    cmd->add_option("--offset", args.target.offset, "Write at this offset (hex) instead, repointing nothing");
    cmd->add_flag("--force", args.force, "Write even over what follows a shorter sample (the cries it runs over are named first)");
    cmd->add_flag("--repoint-free", args.repointFree, "Write into free space (FF bytes) and repoint the entry");
    cmd->add_option("--free-start", args.freeStart, "Free space search starts here (hex)");
    cmd->add_option("--free-end", args.freeEnd, "Free space search ends here (hex)");
    AddQualityOption(cmd, args.quality, "best (least error, default) or fast (greedy)");
    cmd->add_flag("--raw", args.raw, "Take an 8-bit mono WAV's bytes as they are, unconverted");
    AddSampleOptions(cmd, args.rate, args.kind);
    cmd->add_option("--preview", args.preview, "Write what the game will play to this WAV (with --dry-run only that)");
    AddConditionOptions(cmd, args.condition);
    AddTableOptions(cmd, args.table);
    AddWriteOptions(cmd, args.write);
}

}  // namespace

Command EncodeCommand() {
    return MakeCommand(nullptr, "encode", "Encode an audio file into the ROM", AddEncodeOptions, RunEncode);
}
