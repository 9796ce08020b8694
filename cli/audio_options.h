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
};

// Adds --channel, --gain, --normalize [DB], --dc-remove, --trim [DB] and
// --keep-rate to `cmd`.
void AddConditionOptions(CLI::App* cmd, ConditionArgs& args);

// The core's options for `args`. With `raw` (bytes taken as they are) any
// conditioning option is bad usage; --keep-rate is not one.
ConditionOptions ConditionOptionsOf(const ConditionArgs& args, bool raw);

// A warning in the command line's words.
std::string WarningText(const AudioWarning& w);
// Each warning as a line "warning: ..." on standard error.
void PrintWarnings(const AudioWarnings& warnings);
