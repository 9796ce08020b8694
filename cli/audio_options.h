// The conditioning options of the commands that read audio, and how their
// warnings reach the user.
#pragma once

#include <optional>
#include <string>

#include "conditioning.h"

namespace CLI {
class App;
}

struct ConditionArgs {
    std::string channel;  // left, right or mix; empty when not given (mix)
    std::optional<double> gainDb;
    std::optional<double> normalizeDb;
    bool dcRemove = false;
    std::optional<double> trimDb;
    bool keepRate = false;  // store the input's own rate instead of resampling
    // --match-loudness: empty when not given, "median" (the table's other
    // cries) or a loudness in dB; the command turns it into `loudnessDb`.
    std::string matchLoudness;
    std::optional<double> loudnessDb;
    GameFamily family = GameFamily::Third;
};

// Adds --channel, --gain, --normalize [DB], --dc-remove, --trim [DB] and
// --keep-rate to `cmd`.
void AddConditionOptions(CLI::App* cmd, ConditionArgs& args);

// Adds --match-loudness [DB], for the commands that write into an image.
void AddLoudnessOption(CLI::App* cmd, ConditionArgs& args);
// The loudness --match-loudness asks for when given a number; none for
// "median", which the command measures on its table. Bad usage for other text.
std::optional<double> LoudnessGiven(const ConditionArgs& args);

// The core's options for `args`. With `raw` (bytes taken as they are) any
// conditioning option is bad usage; --keep-rate is not one.
ConditionOptions ConditionOptionsOf(const ConditionArgs& args, bool raw);

// Each warning as a line "warning: ..." on standard error.
void PrintWarnings(const AudioWarnings& warnings);
