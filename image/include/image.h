// image: what a ROM image holds of its cries, read from the image's bytes in
// memory: the cry table and its extent, the reverse table kept in step with
// it, the samples the entries point at and the bytes each one occupies, and
// the free space. No files, no printing: every front end (the command line,
// the browser page, the tests and fuzzers) shares this one reading.
//
// Everything in an image is untrusted. Every read is bounded by the image's
// size; a word, an entry or a sample that does not lie wholly inside the image
// is reported as such, never read past.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "crylib.h"
#include "romid.h"

using ImageBytes = std::span<const uint8_t>;

// An image larger than the 26-bit ROM address space is no GBA image.
constexpr uint64_t MaxImageSize = uint64_t{RomAddressMask} + 1;

// The words around the pointer of a table entry: 20 3C 00 00 | pointer |
// FF 00 FF 00 in the cry table, 30 3C 00 00 | pointer | FF 00 FF 00 in the
// reverse table the games keep right after it.
constexpr uint32_t CryEntryFirstWord = 0x00003C20;
constexpr uint32_t ReverseEntryFirstWord = 0x00003C30;
constexpr uint32_t EntryLastWord = 0x00FF00FF;
constexpr uint32_t EntryLastWordOfs = 8;
constexpr int GameTableEntries = 388;  // the tables of the games themselves

// Sample header fields beyond those crylib names.
constexpr uint32_t SampleKindOfs = 0;  // u16: 1 compressed, 0 stored as plain signed bytes
constexpr uint32_t SampleRateOfs = 4;  // u32: rate x 1024
constexpr uint16_t SampleCompressed = 1;
constexpr uint16_t SampleUncompressed = 0;
// The rates a header may declare and still count as a sound, in Hz.
constexpr uint32_t MinSampleRate = 1000;
constexpr uint32_t MaxSampleRate = 65535;

// The rate field the encoder writes: 10512 Hz x 1024.
uint32_t EncoderRateField();
// Whether a rate in Hz is one a header can declare.
bool PlausibleRate(uint32_t hz);

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
    bool headerInFile = false;  // all 16 header bytes lie inside the image
    uint16_t kind = 0;          // bytes 0-1
    uint32_t rateField = 0;     // bytes 4-7, rate x 1024
    uint32_t length = 0;        // values: 16 bits when compressed, 32 when not
    uint32_t extent = 0;        // bytes from the header to the byte holding the last value
    bool extentInFile = false;
    bool headerPlausible = false;  // kind 0 or 1, bytes 2-3 and 8-11 zero, a plausible rate

    bool Compressed() const { return kind == SampleCompressed; }
    bool KnownKind() const { return kind == SampleCompressed || kind == SampleUncompressed; }
    // A sample a command may decode, replace or point at.
    bool Sound() const { return headerInFile && extentInFile && headerPlausible; }
    double Rate() const { return rateField / 1024.0; }
    double Seconds() const { return rateField ? length / Rate() : 0.0; }
    uint32_t Hz() const;  // the rate in whole Hz, as a WAV file states it
    Span Bytes() const { return {offset, offset + extent}; }
};
SampleInfo InspectSample(ImageBytes image, uint32_t offset);

// "compressed", "uncompressed", "unknown" (another kind), or "none" (no
// header inside the image).
const char* SampleKindName(const SampleInfo& s);

// The unsigned 8-bit values of a sample that lies wholly inside the image.
std::vector<uint8_t> DecodeToUnsigned(ImageBytes image, const SampleInfo& sample);

// --- Tables ------------------------------------------------------------------

// How many entries from `tableOffset` on carry the words (`firstWord`, a
// pointer into the image, FF 00 FF 00): the table's measured extent, at most
// `limit`. 0 when the first entry does not.
int MeasureTable(ImageBytes image, uint32_t tableOffset, uint32_t firstWord = CryEntryFirstWord,
                 int limit = 4096);

// Where the cry table was found.
enum class TableSource {
    Given,  // --table, or its equivalent in a front end
    Known,  // a known release's offset, holding entries
    Moved,  // a known release whose offset holds no entries; found by the scan
    Scan,   // an unknown release, found by the scan
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

    bool HasTable() const { return source != TableSource::None && entries > 0; }
    Span TableBytes() const { return {table, table + CryEntrySize * static_cast<uint32_t>(entries)}; }
    Span ReverseBytes() const {
        return reverse ? Span{*reverse, *reverse + CryEntrySize * static_cast<uint32_t>(reverseEntries)} : Span{};
    }
};

// Identifies the image and finds its tables: a given offset is checked, a
// known release's offset is checked (a moved table is looked for by the
// scan), the reverse table is looked for right after the cry table, then
// anywhere its pointers match the cry table's.
ImageModel OpenImage(ImageBytes image, const TableRequest& request = {});
std::string DescribeOpenProblem(const ImageModel& model);

// The reverse table of a cry table of `entries` entries: right after it when
// an entry there starts with 30 3C 00 00, else the first word-aligned run of
// entries, elsewhere, whose pointer words equal the cry table's over its first
// 16 entries but for at most a quarter of them (a cry repointed by a tool that
// knew only the cry table leaves one out of step).
std::optional<uint32_t> FindReverseTable(ImageBytes image, uint32_t tableOffset, int entries);

// The entry `index` of the reverse table, when it is in step: it points at the
// same sample as the cry table's entry.
bool ReverseInStep(ImageBytes image, const ImageModel& model, int index);

// Every entry of the table once, as front ends list them: one row per ID
// that reaches it (in ID order, placeholders left out), then the entries no
// ID reaches (in index order, with no ID).
struct EntryRow {
    std::optional<int> id;
    int index = 0;
};
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
