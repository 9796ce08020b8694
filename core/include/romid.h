// romid: which release a ROM image is, where its cry table lies, and how a
// typed ID becomes a cry-table index. Portable: standard library only; every
// front end builds on it.
//
// Usage: IdentifyImage gives the RomIdentity of an image in memory
// (IdentifyHeader and WithScannedTable are its two halves, for a caller that
// scans by other means); CryNumberIndex / SpeciesNumberIndex turn an ID into
// an index. Labels are Windows-1252 bytes: Cp1252ToUtf8 converts them once
// for front ends that show UTF-8.
//
// Error convention (result.h): a lookup that finds nothing returns a Result
// with its CoreError. An identity never fails: an unreadable code or revision
// byte is reported in it (an empty code, revision -1, RomUnknown). An ID
// below 1 gives a negative index, which callers must refuse.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "result.h"

// ROM header fields.
constexpr uint32_t GameCodeOfs = 0xAC;   // 4 characters
constexpr uint32_t ScanStartOfs = 0xB0;  // the table scan starts just after the code
constexpr uint32_t RevisionOfs = 0xBC;   // 1 byte
// The header every image starts with (entry point, logo, title, game code,
// revision, checksum). No cry-table entry or sample lies there.
constexpr uint32_t RomHeaderSize = 0xC0;

// A label (or any Windows-1252 text) as UTF-8, for front ends that show
// UTF-8: the one place the labels' stored encoding is converted.
std::string Cp1252ToUtf8(const char* text);

struct VersionRow {
    char code[5];          // game code, NUL-terminated
    uint32_t tableOffset;  // file offset of the release's cry table
    const char* label;     // Windows-1252 text shown to the user
};

constexpr int VersionCount = 32;
extern const VersionRow Versions[VersionCount];

// Labels for ROMs that are not a known release (Windows-1252).
extern const char UnknownTableFoundLabel[];  // "Inconnu. Table trouvée à 95%"
extern const char UnknownVersionLabel[];     // "Version inconnue"

// The row of Versions for a game code and revision byte (-1: unreadable),
// with the revision rule for the two US releases applied; NotFound when none.
Result<int> FindVersion(const char code[4], int revision);

enum RomKind {
    RomKnown,    // a row of Versions
    RomScanned,  // unknown code, table found by FindTable
    RomUnknown,  // unknown code, no table found
};

struct RomIdentity {
    RomKind kind;
    int row;               // index into Versions, or -1
    char code[5];          // the game code read (empty when unreadable)
    int revision;          // the revision byte, or -1 when unreadable
    uint32_t tableOffset;  // valid unless kind == RomUnknown
    const char* label;     // Windows-1252
};

// Identifies the image: reads the code at 0xAC and the revision byte, and
// scans from 0xB0 when the code is not known.
RomIdentity IdentifyImage(std::span<const uint8_t> image);
// What the header alone says (the first 0xBD bytes of the image, or as many
// as it has): a known release, or an identity still RomUnknown, to be
// scanned from 0xB0. PastEnd, with the identity in the value, when the image
// is too short to hold a whole game code: there is nothing to scan either.
Result<RomIdentity> IdentifyHeader(std::span<const uint8_t> image);
// An unknown release whose table the scan found at `tableOffset`.
RomIdentity WithScannedTable(RomIdentity id, uint32_t tableOffset);

// Every GBA image's header holds this byte at this offset; the console
// starts no cartridge without it.
constexpr uint32_t HeaderFixedOfs = 0xB2;
constexpr uint8_t HeaderFixedValue = 0x96;
// Whether `image` holds a whole header with that byte: a file without one
// (a picture, an empty file) is no GBA image at all.
bool HasGbaHeader(std::span<const uint8_t> image);

// The species numbers 277..411 and the cry-table index of each.
constexpr int IdTableFirst = 277;
constexpr int IdTableCount = 135;
extern const int16_t IdTable[IdTableCount];

constexpr int LastId = 411;               // the highest ID with an entry of its own
constexpr int OutOfRangeIndex = 200;      // the entry every ID without one addresses
constexpr int FirstMissingSpecies = 252;  // species 252..276 have no cry of their own

// The two ID rules. Every ID above 411 gets index 200; in the species rule so
// does every ID from 252 to 276. IDs below 1 give negative indexes, which
// callers must refuse.
int CryNumberIndex(int id);
int SpeciesNumberIndex(int id);
