// What the commands that write the ROM share: turning loaded audio into a
// compressed sample, refusing a plan with all its problems, and replacing the
// ROM with the planned image in one step (or writing the patch to it instead,
// or nothing under --dry-run).
#pragma once

#include <initializer_list>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audio.h"
#include "context.h"
#include "crylib.h"
#include "json.h"
#include "options.h"
#include "plan.h"
#include "quality.h"
#include "request.h"

// --match-loudness: sets the loudness each new cry is brought to (the number
// given, else the median of the table's cries but those in `replaced`) and
// the game family it is heard in. Fails when no other cry is heard.
void ResolveLoudness(const RomContext& ctx, ConditionArgs& args, std::span<const int> replaced);

// Refuses a --rate no game could play.
void CheckSampleRate(const std::optional<uint32_t>& hz);

// What a new sample declares: the kind and rate given on the command line,
// else those of the sample it replaces (DefaultsFor).
struct NewSample {
    SampleKind kind = SampleKind::Compressed;
    uint32_t rateField = GameRateField;
    double Rate() const { return rateField / 1024.0; }
};
NewSample NewSampleFor(const SampleDefaults& defaults, const std::optional<uint32_t>& rate, const std::string& kind);
// The kind --kind names; bad usage for any other name.
std::optional<SampleKind> KindOf(const std::string& name);
// The rate field of audio loaded for `target`: with --keep-rate the input's
// own rate, else the target's.
uint32_t LoadedRateField(const LoadedAudio& audio, const NewSample& target, bool keepRate);

EncodeMode ModeOf(const std::string& quality);
const char* ModeName(EncodeMode mode);

// A sound made into a sample of some kind declaring `rateField`, and how
// faithful it is.
struct EncodedCry {
    std::vector<uint8_t> sample;  // MakeSample's bytes
    uint32_t values = 0;
    uint32_t rateField = 0;
    SampleKind kind = SampleKind::Compressed;
    EncodeQuality quality{};
};
// Where a sample goes: into an image (MakeSample), or into a file of a
// source build, its loop value after the values (MakeSampleFile).
enum class SampleLayout { Image, File };
// Refuses (with `what` naming the input) audio that is empty or longer than
// a sample of that kind can hold.
EncodedCry EncodeCry(const Bytes& samples, SampleKind kind, EncodeMode mode, uint32_t rateField, const std::string& what,
                     SampleLayout layout = SampleLayout::Image);

// Every problem of a refused plan, one per line, each naming the cry by ID.
std::string PlanProblems(const RomContext& ctx, const Plan& plan);
// One problem, naming its entry by ID ("ID 5: ...").
std::string ProblemLine(const RomContext& ctx, const Problem& p);
// Prints the plan's warnings on standard error, each naming its entry.
void PrintPlanWarnings(const RomContext& ctx, const Plan& plan);
// Fails with `text`, the plan's problems joining the failure's JSON document
// (with `details`' fields, when given).
[[noreturn]] void FailPlan(const RomContext& ctx, const Plan& plan, const std::string& text,
                           Json details = Json::Object());
// The cry tables the code points at, when it points at several: "0x1000, 0x3F000".
std::string CompetingTables(const RomContext& ctx);

// What a writing command wrote besides the ROM.
struct Written {
    std::string backup;                // the old image's backup, or empty
    std::optional<size_t> patchBytes;  // the size of the patch written to --patch
};

// Fails, writing nothing, when the output file names one of `inputs` (the
// ROM, the audio), however the paths are written, or a file that cannot be
// replaced. No output (an empty path) passes.
void RequireSeparateOutput(const std::string& output, std::initializer_list<std::string> inputs);

// Applies the plan to a copy of the image and replaces the ROM with it,
// keeping a backup first when asked. With --patch the ROM is left as it is
// and the BPS patch from it to that copy is written instead. Under --dry-run
// nothing is written.
Written CommitPlan(const RomContext& ctx, const WriteArgs& write, const Plan& plan);
// What was written, as the writing commands' JSON gives it: dry_run, and the
// backup, patch and patch_bytes (null when none was written).
Json WrittenJson(const WriteArgs& write, const Written& written);
// "dry run: nothing written", "wrote ROM (old image in BACKUP)" or
// "wrote patch PATCH (N bytes); ROM left unchanged".
std::string Outcome(const RomContext& ctx, const WriteArgs& write, const Written& written);

// Prints each pointer word that changes.
void PrintUpdates(const Plan& plan);
// Says, before anything is written, whose samples a forced write runs over.
void WarnOverwritten(const RomContext& ctx, const Plan& plan);

// The range --free-start/--free-end name, inside which inner runs of FF count
// as free space; none when neither is given (the free tail alone is used).
std::optional<Span> FreeRangeOf(const RomContext& ctx, const std::string& start, const std::string& end);

// Writes what the game will play of a new sample: its values decoded, in a
// WAV at the rate it declares.
void WritePreview(const std::string& path, const std::vector<uint8_t>& sample);
