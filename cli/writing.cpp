#include "writing.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "bps.h"
#include "hearing.h"
#include "output.h"
#include "romfile.h"
#include "text.h"
#include "words.h"

void ResolveLoudness(const RomContext& ctx, ConditionArgs& args, std::span<const int> replaced) {
    if (args.matchLoudness.empty()) return;
    args.family = FamilyOfCode(ctx.model.identity.code);
    args.loudnessDb = LoudnessGiven(args);
    if (args.loudnessDb) return;
    args.loudnessDb = MedianLoudnessDb(TableHeard(ctx.image, ctx.model, args.family), replaced);
    if (!args.loudnessDb)
        Fail("--match-loudness: the table holds no other cry that is heard; give the loudness, --match-loudness=DB");
}

void CheckSampleRate(const std::optional<uint32_t>& hz) {
    if (hz && !PlausibleRate(*hz))
        BadUsage("--rate must lie between " + std::to_string(MinSampleRate) + " and " + std::to_string(MaxSampleRate) +
                 " Hz");
}

std::optional<SampleKind> KindOf(const std::string& name) {
    if (name.empty()) return std::nullopt;
    if (const SampleFormat* f = FormatNamed(name)) return f->kind;
    BadUsage("--kind must be " + KindNames(" or "));
}

NewSample NewSampleFor(const SampleDefaults& d, const std::optional<uint32_t>& rate, const std::string& kind) {
    return {KindOf(kind).value_or(d.kind), rate ? *rate * 1024 : d.rateField};
}

uint32_t LoadedRateField(const LoadedAudio& audio, const NewSample& target, bool keepRate) {
    return keepRate ? static_cast<uint32_t>(std::lround(audio.rate)) * 1024 : target.rateField;
}

EncodeMode ModeOf(const std::string& quality) { return quality == "fast" ? EncodeMode::Fast : EncodeMode::Best; }
const char* ModeName(EncodeMode mode) { return mode == EncodeMode::Best ? "best" : "fast"; }

EncodedCry EncodeCry(const Bytes& samples, SampleKind kind, EncodeMode mode, uint32_t rateField, const std::string& what,
                     SampleLayout layout) {
    const SampleFormat& format = FormatOf(kind);
    const bool file = layout == SampleLayout::File;
    // A file holds the loop value after the values, which its kind must count too.
    const uint32_t most = format.maxValues - (file ? 1 : 0);
    if (samples.empty()) Fail("'" + what + "' holds no audio");
    if (samples.size() > most)
        Fail("'" + what + "' gives " + std::to_string(samples.size()) + " samples at " +
             std::to_string(std::lround(rateField / 1024.0)) + " Hz; a " + format.name + " cry holds at most " +
             std::to_string(most));
    EncodedCry cry;
    cry.values = static_cast<uint32_t>(samples.size());
    cry.rateField = rateField;
    cry.kind = kind;
    cry.sample = file ? MakeSampleFile(kind, samples, rateField, mode) : MakeSample(kind, samples, rateField, mode);
    cry.quality = MeasureSample(samples, cry.sample);
    return cry;
}

std::string PlanProblems(const RomContext& ctx, const Plan& plan) {
    std::string text;
    for (const Problem& p : plan.problems) {
        if (!text.empty()) text += "\n  ";
        text += ProblemLine(ctx, p);
        if (p.kind == PlanProblem::AmbiguousTable) text += " (" + CompetingTables(ctx) + "): give --table HEX";
    }
    return text;
}

std::string ProblemLine(const RomContext& ctx, const Problem& p) {
    return DescribeProblem(p, p.index >= 0 ? EntryName(ctx, p.index) : "");
}

void PrintPlanWarnings(const RomContext& ctx, const Plan& plan) {
    for (const PlanWarning& w : plan.warnings)
        std::fprintf(stderr, "warning: %s\n", DescribePlanWarning(w, w.index >= 0 ? EntryName(ctx, w.index) : "").c_str());
}

void FailPlan(const RomContext& ctx, const Plan& plan, const std::string& text, Json details) {
    Json problems = Json::Array();
    for (const Problem& p : plan.problems) problems.Push(ProblemJson(p, ctx.rule));
    details.Set("problems", problems);
    throw CliFailure(ExitFailure, text, details);
}

std::string CompetingTables(const RomContext& ctx) {
    std::string list;
    for (uint32_t t : ctx.model.competing) list += (list.empty() ? "" : ", ") + Hex(t);
    return list;
}

void RequireSeparateOutput(const std::string& output, std::initializer_list<std::string> inputs) {
    if (output.empty()) return;
    for (const std::string& input : inputs) {
        std::error_code error;
        if (std::filesystem::equivalent(input, output, error))
            Fail("'" + output + "' is an input of this command ('" + input + "'); choose another output file");
    }
    RequireReplaceable(output);
}

Written CommitPlan(const RomContext& ctx, const WriteArgs& write, const Plan& plan) {
    if (write.dryRun) return {};
    Bytes image = ctx.image;
    if (!ApplyPlan(plan, image)) Fail("the plan does not fit the image");  // PlanEdits never makes such a plan
    Written written;
    if (!write.patch.empty()) {
        RequireSeparateOutput(write.patch, {ctx.path});
        const Bytes patch = MakeBps(ctx.image, image);
        ReplaceFileBytes(write.patch, patch);
        written.patchBytes = patch.size();
        return written;
    }
    if (write.backup) written.backup = WriteBackup(ctx.path, ctx.image);
    ReplaceFileBytes(ctx.path, image);
    return written;
}

Json WrittenJson(const WriteArgs& write, const Written& written) {
    return Json::Object({{"dry_run", write.dryRun},
                         {"backup", written.backup.empty() ? Json() : Json(written.backup)},
                         {"patch", written.patchBytes ? Json(write.patch) : Json()},
                         {"patch_bytes", written.patchBytes}});
}

std::string Outcome(const RomContext& ctx, const WriteArgs& write, const Written& written) {
    if (write.dryRun) return "dry run: nothing written";
    if (written.patchBytes)
        return "wrote patch " + write.patch + " (" + std::to_string(*written.patchBytes) + " bytes); " + ctx.path +
               " left unchanged";
    return "wrote " + ctx.path + (written.backup.empty() ? "" : " (old image in " + written.backup + ")");
}

void PrintUpdates(const Plan& plan) {
    for (const PointerUpdate& u : plan.pointers)
        std::printf("%s table pointer at %s: %s -> %s\n", TableName(u.table), Hex(u.at).c_str(), HexWord(u.from).c_str(),
                    HexWord(u.to).c_str());
    for (const VoiceUpdate& v : plan.voices)
        std::printf("%s table voice byte at %s: %02X -> %02X\n", TableName(v.table), Hex(v.at).c_str(), v.from, v.to);
}

void WarnOverwritten(const RomContext& ctx, const Plan& plan) {
    for (const CryPlan& c : plan.cries) {
        const std::string subject = c.index >= 0 ? EntryName(ctx, c.index) : "the sample at " + Hex(c.newOffset);
        for (int other : c.overwritten)
            std::fprintf(stderr, "warning: %s: the new sample runs over the sample of %s\n", subject.c_str(),
                         EntryName(ctx, other).c_str());
        if (!c.replaced) continue;
        for (int other : c.sharing) {
            const std::string name = EntryName(ctx, other);
            if (c.sharingChanged)
                std::fprintf(stderr, "warning: %s shares its sample with %s, which changes too\n", subject.c_str(), name.c_str());
            else
                std::fprintf(stderr, "note: %s shared its sample with %s, which keeps it; %s moves alone\n",
                             subject.c_str(), name.c_str(), subject.c_str());
        }
    }
}

// Inner runs of FF count as free space only inside a range the user names.
std::optional<Span> FreeRangeOf(const RomContext& ctx, const std::string& start, const std::string& end) {
    if (start.empty() && end.empty()) return std::nullopt;
    Span range{0, static_cast<uint32_t>(ctx.image.size())};
    if (!start.empty()) range.start = ToFileOffset(ParseHex(start, "--free-start"));
    if (!end.empty()) range.end = ToFileOffset(ParseHex(end, "--free-end"));
    if (range.start >= range.end) BadUsage("--free-start must lie below --free-end");
    return range;
}

void WritePreview(const std::string& path, const std::vector<uint8_t>& sample) {
    // Decoded by its own kind, at the rate it declares.
    const SampleInfo s = InspectSample(sample, 0);
    const Bytes values = DecodeToUnsigned(sample, s);
    ReplaceOptions options;
    options.sync = false;
    ReplaceFileContents(path, [&](FILE* f) { return WriteWav(f, values, s.Hz()); }, options);
}
