// image: what a ROM image holds of its cries, read from the image's bytes in
// memory: the cry table and its extent, the reverse table kept in step with
// it, the samples the entries point at and the bytes each one occupies, and
// the free space. No files, no printing: every front end (the command line,
// the browser page, the tests and fuzzers) shares this one reading.
//
// Usage: OpenImage reads an image into an ImageModel (the table in use, its
// extent, the reverse table); ReadEntry and InspectSample read one entry or
// sample; EntryRows lists the entries as front ends show them; FreeTail,
// FreeRuns and ProtectedSpans say where an edit may write. Edits are planned
// in plan.h.
//
// Everything in an image is untrusted. Every read is bounded by the image's
// size; a word, an entry or a sample that does not lie wholly inside the image
// is reported as such, never read past.
//
// Error convention: nothing throws. An image that cannot be read as asked
// comes back with ImageModel::problem set (an OpenProblem code, worded by
// each front end); entries and samples carry flags
// (inFile, pointsIntoRom, Sound()) instead of failing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "crylib.h"
#include "samplekind.h"
#include "romid.h"

using ImageBytes = std::span<const uint8_t>;

// An image larger than the 26-bit ROM address space is no GBA image.
constexpr uint64_t MaxImageSize = uint64_t{RomAddressMask} + 1;

// A table entry is 12 bytes: a voice word, the sample's ROM address, and
// FF 00 FF 00. The voice word's first byte says how the game plays the
// sample and which table the entry belongs to: 20 (compressed) or 00
// (uncompressed) in the cry table, 30 or 10 in the reverse table the games
// keep right after it; its other bytes are 3C 00 00.
enum class TableKind { Cry, Reverse };
const char* TableName(TableKind table);
constexpr uint32_t VoiceWordRest = 0x00003C00;  // bytes 1-3 of every voice word
constexpr uint8_t ReverseVoiceBit = 0x10;       // set in the reverse table
constexpr uint8_t CompressedVoiceBit = 0x20;    // set for a compressed sample
constexpr uint32_t EntryVoiceOfs = 0;           // the voice byte, byte 0 of an entry
constexpr uint32_t EntryLastWord = 0x00FF00FF;
constexpr uint32_t EntryLastWordOfs = 8;
constexpr int GameTableEntries = 388;  // the tables of the games themselves

// The voice word of an entry of `table` whose sample is of `kind`.
uint32_t VoiceWord(TableKind table, SampleKind kind);
// The kind an entry's voice word declares for `table`, or nothing when the
// word is no voice word of that table.
std::optional<SampleKind> VoiceKind(uint32_t firstWord, TableKind table);

// A half-open byte range [start, end) of the image.
struct Span {
    uint32_t start = 0;
    uint32_t end = 0;
    uint32_t Size() const { return end - start; }
    bool Overlaps(Span o) const { return start < o.end && o.start < end; }
    bool Contains(Span o) const { return start <= o.start && o.end <= end; }
};

// --- IDs -----------------------------------------------------------------

enum class IdRule { CryNumber, SpeciesNumber };
const char* RuleName(IdRule rule);
// The cry-table index of an ID (1..LastId) under the rule.
int EntryIndex(int id, IdRule rule);
// True for IDs that have no cry of their own: the species rule sends IDs
// 252 to 276 to entry 200, which belongs to species 201.
bool IsPlaceholderId(int id, IdRule rule);
// The IDs (1..LastId, placeholders left out) whose entry is `index`; empty
// for an entry no ID reaches.
std::vector<int> IdsOfIndex(int index, IdRule rule);

// An entry as front ends name it: by an ID that reaches it, or by its index.
struct EntryRow {
    std::optional<int> id;
    int index = 0;
};
// The name a cry's file takes, without its extension: cry-025 (species-025
// under the species rule) for an ID, index-0400 for an entry no ID reaches.
// Every batch that writes or reads cries by file (dump-all, import, the
// page's dumps) names them with these two.
std::string CryFileStem(const EntryRow& row, IdRule rule);
// What a file name (any non-empty extension) names under the rule: an ID
// (index -1 when it has no cry of its own, as IDs past 411 and the species
// rule's placeholders) or an entry; nothing when it is no cry's name.
std::optional<EntryRow> ParseCryFileName(const std::string& name, IdRule rule);

// --- Entries and samples ---------------------------------------------------

// One table entry and where its pointer leads.
struct Entry {
    int index = 0;
    uint32_t at = 0;          // file offset of the entry
    uint32_t pointerPos = 0;  // file offset of its pointer word
    bool inFile = false;      // the whole entry lies inside the image
    uint32_t firstWord = 0, pointer = 0, lastWord = 0;
    uint32_t offset = 0;         // pointer AND RomAddressMask
    bool pointsIntoRom = false;  // a ROM address (0x08000000-0x09FFFFFF) inside the image
};
Entry ReadEntry(ImageBytes image, uint32_t tableOffset, int index);

// What lies at a sample offset.
struct SampleInfo {
    uint32_t offset = 0;
    bool headerInFile = false;             // all 16 header bytes lie inside the image
    uint8_t type = 0;                      // header byte 0
    const SampleFormat* format = nullptr;  // its kind; nullptr for an unknown type
    uint32_t rateField = 0;                // bytes 4-7, rate x 1024
    uint32_t length = 0;                   // the values that play
    uint32_t extent = 0;                   // bytes from the header to the last byte of the sample
    bool extentInFile = false;
    bool headerPlausible = false;  // a known kind, no loop, a plausible rate

    bool KnownKind() const { return format != nullptr; }
    std::optional<SampleKind> Kind() const { return format ? std::optional(format->kind) : std::nullopt; }
    // A sample a command may decode, replace or point at.
    bool Sound() const { return headerInFile && extentInFile && headerPlausible; }
    double Rate() const { return rateField / 1024.0; }
    double Seconds() const { return rateField ? length / Rate() : 0.0; }
    uint32_t Hz() const;  // the rate in whole Hz, as a WAV file states it
    Span Bytes() const { return {offset, offset + extent}; }
};
SampleInfo InspectSample(ImageBytes image, uint32_t offset);

// "compressed", "uncompressed", "unknown" (another type), or "none" (no
// header inside the image).
const char* SampleKindName(const SampleInfo& s);

// The unsigned 8-bit values of a sample that lies wholly inside the image.
std::vector<uint8_t> DecodeToUnsigned(ImageBytes image, const SampleInfo& sample);

// What a new sample written in place of the sample at `offset` declares
// unless the user says otherwise: that sample's kind and rate, or a
// compressed sample at the games' 10512 Hz where no sound lies there.
struct SampleDefaults {
    SampleKind kind = SampleKind::Compressed;
    uint32_t rateField = GameRateField;
};
SampleDefaults DefaultsFor(ImageBytes image, std::optional<uint32_t> offset);

// --- Tables ------------------------------------------------------------------

// How many entries from `tableOffset` on carry the words of `table` (a
// voice word of that table, a pointer into the image, FF 00 FF 00): the
// table's measured extent. 0 when the first entry does not.
int MeasureTable(ImageBytes image, uint32_t tableOffset, TableKind table = TableKind::Cry);

// Where the cry table in use was found.
enum class TableSource {
    Given,  // --table, or its equivalent in a front end
    Known,  // a known release's offset, holding entries the code points at (or no code points anywhere)
    Moved,  // a known release whose own table is empty or unused: the code points elsewhere, or the scan found it
    Scan,   // an unknown release, found by the scan (and the code's pointers, where there are some)
    None,   // no table: commands that need one refuse
};
const char* SourceName(TableSource source);

// What the caller states about the table; both optional.
struct TableRequest {
    std::optional<uint32_t> offset;  // the table's file offset
    std::optional<int> entries;      // its size, for tables whose entries carry other words
};

// Why an image cannot be read as asked.
enum class OpenProblem {
    None,
    TooLarge,         // over 64 MiB
    TableUnaligned,   // a given offset that is not a multiple of 4
    TablePastEnd,     // a given table that does not fit in the image
    TableNoEntries,   // a given offset whose first entry does not carry the words
    EntriesTooMany,   // --entries reaching past the image
};

// A run of table entries found in the image, and the code's words that
// point at it: 32-bit words 0x08000000 + offset, word-aligned, lying outside
// every table and every sample the tables point at.
struct TableFound {
    TableKind kind = TableKind::Cry;
    uint32_t offset = 0;
    int entries = 0;
    std::vector<uint32_t> pointerWords;  // file offsets of the words
};

// Every run of entries of either table the image holds, in offset order,
// with the words that point at each.
std::vector<TableFound> FindTables(ImageBytes image);

// The image as every command sees it.
struct ImageModel {
    uint32_t size = 0;
    RomIdentity identity{};
    TableSource source = TableSource::None;
    uint32_t knownOffset = 0;  // the release's own offset, when source is Known or Moved
    uint32_t table = 0;        // valid unless source is None
    int entries = 0;           // measured or stated
    std::optional<uint32_t> reverse;  // the reverse table, kept in step
    int reverseEntries = 0;
    OpenProblem problem = OpenProblem::None;
    // The code's words that point at the cry table and at the reverse table.
    std::vector<uint32_t> tablePointers, reversePointers;
    // The release's own table when the code points at another (for an
    // unknown release, the longest run of cry entries no word points at):
    // dead bytes an edit must not be made in, though they still look like a
    // table.
    std::optional<uint32_t> unusedTable;
    // A given table the code does not point at: the cry table it points at
    // instead. An edit there changes nothing the game plays.
    std::optional<uint32_t> tableInUse;
    // When the code points at more than one cry table, each of them (the one
    // in use among them): commands that write refuse until one is given.
    std::vector<uint32_t> competing;

    bool HasTable() const { return source != TableSource::None && entries > 0; }
    bool Ambiguous() const { return competing.size() > 1 && source != TableSource::Given; }
    Span TableBytes() const { return {table, table + CryEntrySize * static_cast<uint32_t>(entries)}; }
    Span ReverseBytes() const {
        return reverse ? Span{*reverse, *reverse + CryEntrySize * static_cast<uint32_t>(reverseEntries)} : Span{};
    }
};

// Identifies the image and finds the cry table in use and its reverse
// table. A given offset is checked and used. Otherwise, where the code
// points at tables, a cry table it points at wins over one it does not
// (the release's own offset first among several); where nothing points at
// any, a known release's offset is checked and a moved table is looked for
// by the scan. The reverse table is the one right after the cry table, else
// one the code points at, else one whose pointers match the cry table's.
ImageModel OpenImage(ImageBytes image, const TableRequest& request = {});

// Why a measured cry table stops short of the games' GameTableEntries: the
// entry where the words stop and which of them is wrong, and how many entries
// right after it carry the words again (a table cut by one damaged entry goes
// on past it; stating the size reads them).
enum class TableStop {
    None,       // not short, or its size was stated
    ImageEnd,   // the next entry runs past the end of the image
    VoiceWord,  // its first word is no voice word of the cry table
    Pointer,    // its pointer does not point into the image
    LastWord,   // its last word is not FF 00 FF 00
};
struct TableShortfall {
    TableStop stop = TableStop::None;
    int index = 0;     // the first entry that does not carry the words (= the entries measured)
    uint32_t at = 0;   // its file offset
    uint32_t word = 0; // the wrong word
    int resumes = 0;   // entries after it that carry the words
};
// For a model whose table was measured, not stated.
TableShortfall CheckTableLength(ImageBytes image, const ImageModel& model);
const char* TableStopName(TableStop stop);

// An image shorter than it should be: a known release's image holds
// GameImageSize bytes, and an entry of the table in use that points past the
// end (within the games' 388 entries, or the stated size) shows the image
// once went on.
constexpr uint32_t GameImageSize = 16u << 20;
struct ImageCut {
    uint32_t size = 0;         // the image's bytes
    uint32_t gameSize = 0;     // GameImageSize for a known release, else 0
    uint32_t pointedPast = 0;  // the furthest offset past the end an entry points at, 0 for none
    int entry = -1;            // the entry that points there, -1 for none
};
// Nothing when the image is as long as both say.
std::optional<ImageCut> CheckImageSize(ImageBytes image, const ImageModel& model);

// The reverse table of a cry table of `entries` entries: right after it when
// an entry there starts with 30 3C 00 00, else the first word-aligned run of
// entries, elsewhere, whose pointer words equal the cry table's over its first
// 16 entries but for at most a quarter of them (a cry repointed by a tool that
// knew only the cry table leaves one out of step).
std::optional<uint32_t> FindReverseTable(ImageBytes image, uint32_t tableOffset, int entries);

// The entry `index` of the reverse table, when it is in step: it points at the
// same sample as the cry table's entry.
bool ReverseInStep(ImageBytes image, const ImageModel& model, int index);

// The entries other than `index` whose cry-table entry or reverse-table entry
// points at the sample at `offset`, in index order, each once: those that play
// it besides `index` (whose own reverse entry, pointing there, is in step).
std::vector<int> EntriesPlaying(ImageBytes image, const ImageModel& model, uint32_t offset, int index);

// Every entry of the table once, as front ends list them: one row per ID
// that reaches it (in ID order, placeholders left out), then the entries no
// ID reaches (in index order, with no ID).
std::vector<EntryRow> EntryRows(const ImageModel& model, IdRule rule);

// --- Space -------------------------------------------------------------------

// The free tail: from the first word boundary after the image's last byte
// that is not FF, to the image's end. Elsewhere runs of FF are often data.
Span FreeTail(ImageBytes image);

// The word-aligned runs of FF bytes inside `range`, at least `minSize` long,
// in order.
std::vector<Span> FreeRuns(ImageBytes image, Span range, uint32_t minSize = 4);

// The bytes the image must keep whatever an edit does: the header, both
// tables, and every sample an entry of either table points at.
std::vector<Span> ProtectedSpans(ImageBytes image, const ImageModel& model);

// Turns an argument that may be a file offset or a ROM address (0x08xxxxxx)
// into a file offset.
uint32_t ToFileOffset(uint32_t value);
