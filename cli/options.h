// The options several commands share, their arguments, and how they are
// added to a CLI11 command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace CLI {
class App;
}

// How the cry table is reached: the ID rule and, optionally, an explicit
// table offset that overrides identification.
struct TableArgs {
    bool species = false;
    std::string table;    // hexadecimal, empty: identify the ROM
    std::string entries;  // the table's size, for entries whose words differ; empty: measured
};

// What every writing command shares.
struct WriteArgs {
    bool dryRun = false;
    bool backup = false;
    std::string patch;  // write a BPS patch here, from the image to the edited one, and leave the ROM
};

// The ROM as the first argument, and --json.
void AddRomOptions(CLI::App* cmd, std::string& rom, bool& json);
void AddJsonOption(CLI::App* cmd, bool& json);
// --species, --table, --entries.
void AddTableOptions(CLI::App* cmd, TableArgs& t);
// The rate and kind of a new sample; both default to the replaced sample's.
void AddSampleOptions(CLI::App* cmd, std::optional<uint32_t>& rate, std::string& kind);
// --kind, one of the model's kinds by name; `about` follows their list in the help.
void AddKindOption(CLI::App* cmd, std::string& kind, const std::string& about);
// The kinds' names, in the model's order, joined by `separator`.
std::string KindNames(const char* separator);
// --all-sharing: a cry whose sample other entries play is written over in
// place for them all, instead of moving alone.
void AddAllSharingOption(CLI::App* cmd, bool& allSharing);
// --dry-run, --backup, --patch.
void AddWriteOptions(CLI::App* cmd, WriteArgs& w);
// --quality best|fast.
void AddQualityOption(CLI::App* cmd, std::string& quality, const char* about);
// How every command that reads audio reads it.
const char* AudioNote();
