// The options several commands share, added to a CLI11 command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "commands.h"

// The ROM as the first argument, and --json.
void AddRomOptions(CLI::App* cmd, std::string& rom, bool& json);
void AddJsonOption(CLI::App* cmd, bool& json);
// --species, --table, --entries.
void AddTableOptions(CLI::App* cmd, TableArgs& t);
// The rate and kind of a new sample; both default to the replaced sample's.
void AddSampleOptions(CLI::App* cmd, std::optional<uint32_t>& rate, std::string& kind);
// --dry-run, --backup, --patch.
void AddWriteOptions(CLI::App* cmd, WriteArgs& w);
// --quality best|fast.
void AddQualityOption(CLI::App* cmd, std::string& quality, const char* about);
// How every command that reads audio reads it.
const char* AudioNote();
