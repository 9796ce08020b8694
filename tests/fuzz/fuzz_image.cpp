// The image model over arbitrary image bytes and a small edit script: open
// the image, measure its tables, read every entry, inspect and decode every
// sample, find the reverse table and the free space, then plan the script's
// edits and apply the plan to a copy. Nothing may be read or written outside
// the image (the sanitizers watch an exactly sized buffer); everything the
// model reports must lie inside it; a plan must write only what it declares
// (its samples, pointer words and voice bytes), never the header or a table's
// other bytes,
// and a refused plan must change nothing.
#include <algorithm>
#include <vector>

#include "image.h"
#include "plan.h"
#include "request.h"
#include "fuzz_support.h"

namespace {

bool Inside(Span s, size_t size) { return s.start <= s.end && s.end <= size; }

// The script: a flags byte (bits 0-1: how many changes; bit 2: reclaim; bit
// 3: a free range follows, two 16-bit words counted in words; bit 4: a table
// offset follows, one 16-bit word counted in words), then four bytes per
// change: its kind (low bits: replace Auto, InPlace, Free, At or repoint;
// 0x80 force; 0x40 a sample one byte short; 0x20 an offset not word-aligned;
// 0x10 an uncompressed sample), the entry index, and two bytes of offset or
// length.
struct Script {
    EditRequest edits;
    TableRequest table;
    size_t used = 0;
};

Script ReadScript(const uint8_t* data, size_t size) {
    Script s;
    size_t at = 0;
    auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    auto word = [&]() -> uint32_t { return next() | uint32_t{next()} << 8; };
    const uint8_t flags = next();
    s.edits.reclaim = flags & 4;
    if (flags & 8) {
        const uint32_t start = word() * 4;
        s.edits.freeRange = Span{start, start + word() * 4};
    }
    if (flags & 16) s.table.offset = word() * 4;
    for (int i = 0; i < (flags & 3); ++i) {
        const uint8_t kind = next();
        const int index = next();
        const uint32_t value = word();
        const uint32_t offset = kind & 0x20 ? value : value * 4;
        if (kind % 5 == 4) {
            s.edits.repoints.push_back({index, offset, bool(kind & 0x80)});
            continue;
        }
        // A sample of 1 to 160 values (up to three blocks): a sawtooth.
        std::vector<uint8_t> values(1 + value % 160);
        for (size_t k = 0; k < values.size(); ++k) values[k] = static_cast<uint8_t>(k * (kind | 1));
        CryChange change;
        change.index = index;
        change.sample = MakeSample(kind & 0x10 ? SampleKind::Uncompressed : SampleKind::Compressed, values, GameRateField,
                                   EncodeMode::Fast);
        if (kind & 0x40) change.sample.pop_back();
        change.place = static_cast<CryChange::Place>(kind % 5);
        change.at = offset;
        change.force = kind & 0x80;
        s.edits.cries.push_back(std::move(change));
    }
    s.used = std::min(at, size);
    return s;
}

void CheckModel(ImageBytes image, const ImageModel& m) {
    for (const Span& s : ProtectedSpans(image, m)) Require(Inside(s, image.size()));
    const Span tail = FreeTail(image);
    Require(tail.end == image.size() && tail.start <= tail.end && (tail.start % 4 == 0 || tail.Size() == 0));
    Require(std::all_of(image.begin() + tail.start, image.end(), [](uint8_t b) { return b == 0xFF; }));
    for (const Span& run : FreeRuns(image, {0, static_cast<uint32_t>(image.size())})) {
        Require(Inside(run, image.size()) && run.start % 4 == 0);
        Require(std::all_of(image.begin() + run.start, image.begin() + run.end, [](uint8_t b) { return b == 0xFF; }));
    }
    if (!m.HasTable()) return;
    Require(Inside(m.TableBytes(), image.size()) && Inside(m.ReverseBytes(), image.size()));
    // A reverse table the code points at may stand where the pointers alone
    // would find another.
    Require(FindReverseTable(image, m.table, m.entries) == m.reverse || !m.reversePointers.empty());
    for (int i = 0; i < m.entries; ++i) {
        const Entry e = ReadEntry(image, m.table, i);
        Require(e.inFile && e.pointerPos == m.table + CryEntrySize * i + CryEntryPointerOfs);
        if (i < m.reverseEntries) (void)ReverseInStep(image, m, i);
        if (!e.pointsIntoRom) continue;
        Require(e.offset < image.size());
        const SampleInfo s = InspectSample(image, e.offset);
        if (!s.Sound()) continue;
        Require(Inside(s.Bytes(), image.size()));
        Require(DecodeToUnsigned(image, s).size() == s.length);
    }
}

// Applies the plan to a copy: a refused plan leaves it as it was; an applied
// one changes only its declared bytes, and none of the header or the tables
// but pointer words. Putting the old bytes back over the declared spans must
// give the image again.
void CheckPlan(ImageBytes image, const ImageModel& m, const Plan& plan) {
    std::vector<uint8_t> after(image.begin(), image.end());
    const bool applied = ApplyPlan(plan, after);
    Require(applied == plan.Ok());
    if (applied) {
        const Span header{0, RomHeaderSize};
        for (const Write& w : plan.writes) {
            Require(Inside(w.Bytes(), image.size()) && !w.Bytes().Overlaps(header));
            Require(!w.Bytes().Overlaps(m.TableBytes()) && !w.Bytes().Overlaps(m.ReverseBytes()));
        }
        for (const PointerUpdate& u : plan.pointers) {
            const uint32_t table = u.table == TableKind::Cry ? m.table : m.reverse.value_or(0);
            Require(u.at == table + CryEntrySize * u.index + CryEntryPointerOfs);
            Require(GetLe32(&image[u.at]) == u.from && GetLe32(&after[u.at]) == u.to);
        }
        for (const VoiceUpdate& v : plan.voices) {
            const uint32_t table = v.table == TableKind::Cry ? m.table : m.reverse.value_or(0);
            Require(v.at == table + CryEntrySize * v.index + EntryVoiceOfs);
            Require(image[v.at] == v.from && after[v.at] == v.to && VoiceKind(GetLe32(&after[v.at]), v.table));
        }
        auto undo = [&](Span s) { std::copy(image.begin() + s.start, image.begin() + s.end, after.begin() + s.start); };
        for (const Write& w : plan.writes) undo(w.Bytes());
        for (const PointerUpdate& u : plan.pointers) undo({u.at, u.at + 4});
        for (const VoiceUpdate& v : plan.voices) undo({v.at, v.at + 1});
    }
    Require(std::equal(after.begin(), after.end(), image.begin(), image.end()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Script script = ReadScript(data, size);
    // A buffer of its own, so that the sanitizers catch a read on either side.
    const std::vector<uint8_t> bytes(data + script.used, data + size);
    const ImageBytes image(bytes);
    // The reading every front end opens with: the table, its shortfall, an image cut short.
    const ImageReading reading = ReadImageModel(image, script.table);
    const ImageModel& model = reading.model;
    if (model.problem != OpenProblem::None) return 0;
    CheckModel(image, model);
    const Plan plan = PlanEdits(image, model, script.edits);
    for (const Problem& p : plan.problems) (void)ProblemName(p.kind);
    for (const PlanWarning& w : plan.warnings) (void)PlanWarningName(w.kind);
    CheckPlan(image, model, plan);
    return 0;
}
