#include "options.h"

#include <CLI/CLI.hpp>

#include "samplekind.h"

void AddRomOptions(CLI::App* cmd, std::string& rom, bool& json) {
    cmd->add_option("ROM", rom, "ROM image")->required();
    AddJsonOption(cmd, json);
}

void AddJsonOption(CLI::App* cmd, bool& json) { cmd->add_flag("--json", json, "Machine-readable output"); }

void AddTableOptions(CLI::App* cmd, TableArgs& t) {
    cmd->add_flag("--species", t.species, "Read IDs as species numbers (the brevox-species rule)");
    cmd->add_option("--table", t.table, "Cry-table offset (hex, word-aligned), instead of identifying the ROM");
    cmd->add_option("--entries", t.entries, "The table's size, for a table whose entries carry other words");
}

void AddSampleOptions(CLI::App* cmd, std::optional<uint32_t>& rate, std::string& kind) {
    cmd->add_option("--rate", rate,
                    "Rate the new sample declares and is resampled to, in Hz (default: the replaced sample's, "
                    "10512 where there is none)");
    AddKindOption(cmd, kind, "(default: the replaced sample's kind)");
}

std::string KindNames(const char* separator) {
    std::string names;
    for (const SampleFormat& f : SampleFormats()) names += (names.empty() ? "" : separator) + std::string(f.name);
    return names;
}

void AddKindOption(CLI::App* cmd, std::string& kind, const std::string& about) {
    std::vector<std::string> names;
    for (const SampleFormat& f : SampleFormats()) names.push_back(f.name);
    cmd->add_option("--kind", kind, KindNames(" or ") + " " + about)->check(CLI::IsMember(names));
}

void AddAllSharingOption(CLI::App* cmd, bool& allSharing) {
    cmd->add_flag("--all-sharing", allSharing,
                  "Write over a sample other entries share, for them all (default: the cry moves alone to a new place)");
}

void AddWriteOptions(CLI::App* cmd, WriteArgs& w) {
    cmd->add_flag("--dry-run", w.dryRun, "Show what would be written and write nothing");
    CLI::Option* backup =
        cmd->add_flag("--backup", w.backup, "Keep the old image as ROM.bak (ROM.1.bak, ... when that exists)");
    cmd->add_option("--patch", w.patch, "Leave the ROM as it is; write the BPS patch from it to the edited image here")
        ->excludes(backup);
}

void AddQualityOption(CLI::App* cmd, std::string& quality, const char* about) {
    cmd->add_option("--quality", quality, about)->check(CLI::IsMember({"best", "fast"}));
}

const char* AudioNote() {
    return "Audio in any format libsndfile reads is mixed to mono, resampled and quantised to 8 bits.";
}
