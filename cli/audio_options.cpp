#include "audio_options.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>

#include "text.h"
#include "words.h"

namespace {

// The options are shown under this heading, which gives the order the
// steps run in whatever order they are typed.
constexpr const char* Group =
    "Conditioning, in this order: channel, DC, trim, resample, gain/normalize, loudness, quantise";
constexpr const char* MedianLoudness = "median";

std::string Decibels(double db) {
    char text[16];
    std::snprintf(text, sizeof text, "%g", db);
    return text;
}

}  // namespace

void AddConditionOptions(CLI::App* cmd, ConditionArgs& args) {
    cmd->add_option("--channel", args.channel, "Channel to keep: left, right or mix (their mean, default)")
        ->check(CLI::IsMember({"left", "right", "mix"}))
        ->group(Group);
    cmd->add_flag("--dc-remove", args.dcRemove,
                  "Take out a DC offset: the mean, then a " + Decibels(DcCornerHz) + " Hz high-pass")
        ->group(Group);
    cmd->add_option("--trim", args.trimDb, "Cut leading and trailing sound quieter than DB (dBFS); --trim=DB")
        ->expected(0, 1)
        ->default_str(Decibels(DefaultTrimDb))
        ->check(CLI::Range(-150.0, 0.0))
        ->group(Group);
    cmd->add_flag("--keep-rate", args.keepRate,
                  "Store the input at its own rate, not resampled (with --raw: accept a WAV at another rate "
                  "than the sample's)")
        ->group(Group);
    auto* gain = cmd->add_option("--gain", args.gainDb, "Gain in dB")->group(Group);
    cmd->add_option("--normalize", args.normalizeDb, "Scale the peak to DB below full scale; --normalize=DB")
        ->expected(0, 1)
        ->default_str(Decibels(DefaultNormalizeDb))
        ->check(CLI::Range(-100.0, 0.0))
        ->excludes(gain)
        ->group(Group);
}

void AddLoudnessOption(CLI::App* cmd, ConditionArgs& args) {
    cmd->add_option("--match-loudness", args.matchLoudness,
                    "Bring each new cry's loudness as heard (its normal-mode render's RMS) to the median of the "
                    "table's other cries, or to DB (dBFS); --match-loudness=DB")
        ->expected(0, 1)
        ->default_str(MedianLoudness)
        ->group(Group);
}

std::optional<double> LoudnessGiven(const ConditionArgs& args) {
    if (args.matchLoudness.empty() || args.matchLoudness == MedianLoudness) return std::nullopt;
    char* end = nullptr;
    const double db = std::strtod(args.matchLoudness.c_str(), &end);
    if (*end != '\0' || !(db <= 0 && db >= -100))
        BadUsage("--match-loudness takes a loudness in dB between -100 and 0, or nothing for the table's median");
    return db;
}

ConditionOptions ConditionOptionsOf(const ConditionArgs& args, bool raw) {
    if (raw && (!args.channel.empty() || args.gainDb || args.normalizeDb || args.dcRemove || args.trimDb ||
                !args.matchLoudness.empty()))
        BadUsage("--raw takes the bytes as they are: it excludes --channel, --gain, --normalize, --dc-remove, --trim "
                 "and --match-loudness");
    if (!args.matchLoudness.empty() && (args.gainDb || args.normalizeDb))
        BadUsage("--match-loudness sets the level itself: it excludes --gain and --normalize");
    ConditionOptions options;
    if (args.channel == "left") options.channel = ChannelChoice::Left;
    if (args.channel == "right") options.channel = ChannelChoice::Right;
    options.removeDc = args.dcRemove;
    options.trimDb = args.trimDb;
    options.gainDb = args.gainDb.value_or(0);
    options.normalizeDb = args.normalizeDb;
    options.loudnessDb = args.loudnessDb;
    options.family = args.family;
    return options;
}

void PrintWarnings(const AudioWarnings& warnings) {
    for (const AudioWarning& w : warnings) std::fprintf(stderr, "warning: %s\n", WarningText(w).c_str());
}
