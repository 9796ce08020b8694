// The commands of brevox-cli. Each takes its parsed arguments, prints its
// results on standard output and returns the exit status; a refusal or
// failure throws CliFailure (text.h). encode and repoint throw before their
// first write.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audio_options.h"

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

struct IdentifyArgs {
    std::string rom;
    bool json = false;
};

struct ListArgs {
    std::string rom;
    TableArgs table;
    bool json = false;
};

struct DumpArgs {
    std::string rom;
    std::string id;      // exactly one of id, index and offset
    std::string index;
    std::string offset;
    std::string out;
    std::optional<uint32_t> rate;  // resample to this rate; default: the sample's own
    bool dialogHeader = false;     // the sample's values under the dialog's 11050 Hz header
    TableArgs table;
    bool json = false;
};

struct DumpAllArgs {
    std::string rom;
    std::string dir;
    std::optional<uint32_t> rate;
    bool dialogHeader = false;
    TableArgs table;
    bool json = false;
};

struct EncodeArgs {
    std::string rom;
    std::string input;
    std::string id;
    std::string index;
    std::string offset;
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

struct RepointArgs {
    std::string rom;
    std::string id;
    std::string index;
    std::string target;
    bool force = false;
    TableArgs table;
    WriteArgs write;
    bool json = false;
};

struct ImportArgs {
    std::string rom;
    std::string dir;
    std::string quality = "best";
    bool raw = false;
    ConditionArgs condition;
    bool reclaim = false;
    std::optional<uint32_t> rate;
    std::string kind;
    std::string preview;  // directory for a WAV per cry of what the game will play
    std::string freeStart;
    std::string freeEnd;
    TableArgs table;
    WriteArgs write;
    bool json = false;
};

struct DiffArgs {
    std::string original;
    std::string edited;
    std::string out;  // the BPS patch
    bool json = false;
};

struct QualityArgs {
    std::string input;
    bool raw = false;
    ConditionArgs condition;
    std::string quality = "best";
    bool json = false;
};

// sample encode: audio into the sample files source builds keep, one file
// or a whole directory (IN_DIR to OUT_DIR/NAME.bin).
struct SampleEncodeArgs {
    std::string input;
    std::string output;
    std::optional<uint32_t> rate;  // default: the games' 10512 Hz
    std::string kind = "compressed";
    std::string quality = "best";
    bool raw = false;
    ConditionArgs condition;
    std::string preview;  // a WAV of what the game will play; a directory for a directory
    bool json = false;
};

struct SampleDumpArgs {
    std::string input;   // a sample file
    std::string output;  // the WAV
    bool json = false;
};

// Each command's options, bound to its arguments, and the command run with
// them once parsed.
void AddIdentifyOptions(CLI::App* cmd, IdentifyArgs& args);
void AddListOptions(CLI::App* cmd, ListArgs& args);
void AddDumpOptions(CLI::App* cmd, DumpArgs& args);
void AddDumpAllOptions(CLI::App* cmd, DumpAllArgs& args);
void AddEncodeOptions(CLI::App* cmd, EncodeArgs& args);
void AddRepointOptions(CLI::App* cmd, RepointArgs& args);
void AddImportOptions(CLI::App* cmd, ImportArgs& args);
void AddQualityOptions(CLI::App* cmd, QualityArgs& args);
void AddDiffOptions(CLI::App* cmd, DiffArgs& args);
void AddSampleEncodeOptions(CLI::App* cmd, SampleEncodeArgs& args);
void AddSampleDumpOptions(CLI::App* cmd, SampleDumpArgs& args);

int RunIdentify(const IdentifyArgs& args);
int RunList(const ListArgs& args);
int RunDump(const DumpArgs& args);
int RunDumpAll(const DumpAllArgs& args);
int RunEncode(const EncodeArgs& args);
int RunRepoint(const RepointArgs& args);
int RunImport(const ImportArgs& args);
int RunQuality(const QualityArgs& args);
int RunDiff(const DiffArgs& args);
int RunSampleEncode(const SampleEncodeArgs& args);
int RunSampleDump(const SampleDumpArgs& args);

// A command whose options are registered, to run once they are parsed.
struct Runner {
    std::function<int()> run;
    const bool* json;  // whether --json was given
};
// A command of the table main registers, in the order --help lists them.
struct Command {
    const char* group;  // the command it sits under ("sample"), listed before it, or nullptr
    const char* name;
    const char* about;
    // Adds the options to `cmd`, bound to arguments of their own; empty for a
    // command that only gathers others ("sample encode", "sample dump").
    std::function<Runner(CLI::App* cmd)> add;
};
const std::vector<Command>& Commands();
