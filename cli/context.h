// A ROM opened for a command: the whole image in memory, what identification
// says about it, and the cry table (and reverse table) the command works on.
#pragma once

#include <optional>
#include <string>

#include "commands.h"
#include "romid.h"
#include "tables.h"

struct RomContext {
    std::string path;
    Bytes image;
    RomIdentity identity;
    IdRule rule = IdRule::CryNumber;
    bool hasTable = false;
    uint32_t table = 0;               // valid when hasTable
    std::optional<uint32_t> reverse;  // the second table, when one is found
};

// Reads and identifies the ROM. With `needTable`, fails unless a cry table
// is known (from --table, the release or the scan).
RomContext OpenRom(const std::string& path, const TableArgs& args, bool needTable);

// The ID given as text, checked against 1..LastId.
int CheckedId(const std::string& text);

// Entries from 0 on whose pointer leads into the image (at most
// TableEntries): how far a table demonstrably reaches.
int TableExtent(const Bytes& rom, uint32_t tableOffset);

// How the table was found, in words, for messages.
const char* FoundBy(RomKind kind);
