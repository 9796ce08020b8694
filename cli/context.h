// A ROM opened for a command: the whole image in memory and the image model's
// reading of it (release, cry table and its extent, reverse table), with the
// ID rule the command was given.
#pragma once

#include <optional>
#include <string>

#include "image.h"
#include "request.h"
#include "options.h"
#include "romfile.h"

struct RomContext {
    std::string path;
    Bytes image;
    ImageModel model;
    IdRule rule = IdRule::CryNumber;
    TableShortfall shortfall;  // why a measured table stops short; none when --entries states its size
    std::optional<ImageCut> cut;  // the image is shorter than it should be
};

// Reads and identifies the ROM. With `needTable`, fails unless a cry table
// holding entries is known (from --table, the release's checked offset, or
// the scan).
RomContext OpenRom(const std::string& path, const TableArgs& args, bool needTable);

// How a command that reads or writes one sample is told which: a cry ID, a
// table index (--index N) or, where the command takes it, a sample's offset
// (--offset HEX).
struct TargetArgs {
    std::string id;
    std::string index;
    std::string offset;
};
// Bad usage unless exactly one of the three is given.
void RequireOneTarget(const TargetArgs& t);

// The entry a command addresses: an ID (checked against 1..LastId and against
// the measured table) or, with --index, a 0-based table index.
struct Target {
    std::optional<int> id;  // absent for --index
    int index = 0;
};
Target ResolveTarget(const RomContext& ctx, const std::string& idText, const std::string& indexText);

// Says on standard error when the image is cut short (the commands that
// only read it; a plan's warnings say it for those that write).
void WarnOfImage(const RomContext& ctx);

// "ID 25" or "entry 400", for messages.
std::string TargetName(const Target& t);
// The IDs that reach an entry, as "ID 25" / "IDs 25, 300" / "entry 400".
std::string EntryName(const RomContext& ctx, int index);

// Refuses an output path that names the ROM itself, however it is written.
void RequireDistinctFiles(const std::string& rom, const std::string& output);
