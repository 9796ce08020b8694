// Edit plans: what replacing and repointing cries will do to an image, worked
// out in full before a byte changes. PlanEdits is pure: image and requested
// changes in, a plan or the complete list of reasons it cannot be done out.
// ApplyPlan then writes exactly what the plan declares and nothing else.
//
// Error convention: a plan that cannot be carried out comes back empty with
// every Problem in `problems`, each a code with named fields that front ends
// word; ApplyPlan returns false and changes
// nothing when handed such a plan.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image.h"

// One cry to replace. `sample` is the new sample, of either kind, exactly
// the bytes MakeSample writes for its length. When its kind differs from the
// kind the entry declares, the entry's voice byte (and its reverse entry's,
// when in step) is rewritten with it.
struct CryChange {
    enum class Place {
        Auto,     // its own slot when it fits there, else free space (repointed)
        InPlace,  // its own slot; refused when it does not fit, unless `force`
        Free,     // free space, repointed
        At,       // at `at`, which must hold free space or a sample (no repoint)
    };
    int index = 0;
    std::vector<uint8_t> sample;
    Place place = Place::Auto;
    uint32_t at = 0;     // Place::At
    bool force = false;  // InPlace/At: write even over what follows the old sample
};

// One entry to point at an existing sample.
struct RepointChange {
    int index = 0;
    uint32_t target = 0;  // file offset of the sample
    bool force = false;   // point even where no sample lies
};

struct EditRequest {
    std::vector<CryChange> cries;
    std::vector<RepointChange> repoints;
    // Fill with FF the slots that moved cries leave behind, when no entry of
    // either table still points into them, and let this same plan use them.
    bool reclaim = false;
    // Free space to use instead of the free tail: inner FF runs only inside it.
    std::optional<Span> freeRange;
    // Cries placed Auto whose new samples are byte-identical are stored once:
    // the first of them that stays in its slot holds the copy (else the first
    // of them, wherever it goes), and the others point at it.
    bool share = true;
    // A cry whose old sample other entries still play (of either table, not
    // changed by this plan) moves alone to a new place, and those entries keep
    // the old bytes; with allSharing it is written over in place when it fits,
    // and they all play the new sample.
    bool allSharing = false;
};

struct PointerUpdate {
    TableKind table = TableKind::Cry;
    int index = 0;
    uint32_t at = 0;  // file offset of the pointer word
    uint32_t from = 0, to = 0;
};

// A voice byte that changes with the kind of the entry's new sample.
struct VoiceUpdate {
    TableKind table = TableKind::Cry;
    int index = 0;
    uint32_t at = 0;  // file offset of the voice byte
    uint8_t from = 0, to = 0;
};

// Bytes to write: a new sample, or FF over a reclaimed slot.
struct Write {
    uint32_t at = 0;
    std::vector<uint8_t> bytes;
    Span Bytes() const { return {at, at + static_cast<uint32_t>(bytes.size())}; }
};

// What happens to one cry.
struct CryPlan {
    int index = 0;
    bool replaced = false;        // a new sample (else only repointed)
    uint32_t oldOffset = 0;       // where the entry pointed
    uint32_t oldBytes = 0;        // the old sample's extent, 0 when no sound lay there
    uint32_t newOffset = 0;
    uint32_t newBytes = 0;
    std::optional<SampleKind> oldKind;  // the old sample's kind, when a sound lay there
    std::optional<SampleKind> newKind;  // the new sample's (or the repoint target's) kind
    bool moved = false;           // the entry now points elsewhere
    bool reverseMoved = false;    // its reverse entry, in step, moved with it
    std::vector<int> sharing;     // other entries still playing the old sample (EntriesPlaying, less those this plan changes)
    bool sharingChanged = false;  // the old sample was written over in place: they play the new one too
    int sameAs = -1;              // the entry of this plan whose identical new sample this one points at, -1 for none
    std::vector<int> overwritten; // entries whose samples a forced write runs over
};

enum class PlanProblem {
    IndexPastTable,    // offset = the cry table, room = its entries
    EntryNotInImage,   // the entry does not point into the image
    BadSample,         // the sample bytes are not those of its kind and length
    DoesNotFit,        // bytes needed at offset, room = bytes the slot holds
    NoFreeSpace,       // bytes needed, room = largest free run left
    Unaligned,         // at offset
    PastEnd,           // bytes at offset
    Protected,         // bytes at offset would overwrite `part`
    NotASample,        // offset: a repoint target or slot that holds no sound
    NotFree,           // offset: neither a sample nor free space there
    TwiceInOnePlan,    // the same entry, or the same sample, changed twice
    NoTable,           // the image has no cry table
    AmbiguousTable,    // the code points at several cry tables (ImageModel::competing)
};

// What a Protected problem would overwrite.
enum ProtectedPart { HeaderPart, CryTablePart, ReverseTablePart, SamplePart };

struct Problem {
    PlanProblem kind;
    int index = -1;       // the entry concerned, -1 for none
    uint64_t offset = 0;  // where it happens
    uint64_t bytes = 0;   // the bytes asked for: needed, or to be written
    uint64_t room = 0;    // what there is: the slot's bytes, the largest free run, the table's entries
    ProtectedPart part = HeaderPart;
};
// The kind's name, as machine output spells it ("DoesNotFit").
const char* ProblemName(PlanProblem kind);

// What an edit that can be made should still tell the user before it is.
enum class PlanWarningKind {
    TableNotInUse,  // table: the table edited; inUse: the cry table the code points at
    ImageCut,       // size, gameSize, pointedPast, index (ImageCut's fields)
    ReverseLeft,    // index: a repointed entry whose reverse entry pointed elsewhere, at `pointer`, and stays
};
struct PlanWarning {
    PlanWarningKind kind;
    int index = -1;
    uint32_t table = 0, inUse = 0;
    uint32_t size = 0, gameSize = 0, pointedPast = 0;
    uint32_t pointer = 0;
};
// The kind's name, as machine output spells it ("TableNotInUse").
const char* PlanWarningName(PlanWarningKind kind);

struct Plan {
    std::vector<CryPlan> cries;
    std::vector<PointerUpdate> pointers;
    std::vector<VoiceUpdate> voices;
    std::vector<Write> writes;
    std::vector<Span> reclaimed;  // slots filled with FF
    uint64_t bytesUsed = 0;       // free-space bytes the new samples take
    uint64_t bytesFreed = 0;      // bytes reclaimed
    uint64_t bytesShared = 0;     // bytes the cries pointed at an identical new sample did not take
    uint64_t freeLeft = 0;        // free-space bytes after the plan
    std::vector<Problem> problems;
    std::vector<PlanWarning> warnings;  // kept on a refused plan too

    bool Ok() const { return problems.empty(); }
    // The new samples' bytes, wherever they go.
    uint64_t NewBytes() const {
        uint64_t total = 0;
        for (const CryPlan& c : cries) total += c.newBytes;
        return total;
    }
};

// Works out the whole edit, or every reason it cannot be done. The image is
// not changed.
Plan PlanEdits(ImageBytes image, const ImageModel& model, const EditRequest& request);

// Applies an Ok plan: its writes, then its pointer words and voice bytes. False, and nothing
// changed, when the plan has problems or any write or pointer lies outside the
// image.
bool ApplyPlan(const Plan& plan, std::span<uint8_t> image);
