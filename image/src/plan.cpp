// Planning and applying edits.
//
// A plan is worked out in three passes: each change is checked on its own and
// placed in its slot when it goes there; the slots that moved cries leave are
// reclaimed when asked and nothing else points into them; then the cries that
// need free space are placed, largest first, each in the first run that holds
// it. Every problem found on the way is kept, so a refused edit names them all.
#include <algorithm>
#include <map>

#include "plan.h"
#include "voices.h"

namespace {

uint32_t AlignUp4(uint64_t v) { return static_cast<uint32_t>((v + 3) & ~uint64_t{3}); }

// The bytes a sample of `size` bytes at `at` would take, saturated at the
// top of the address space so that an end past the image stays past it.
Span SpanAt(uint32_t at, size_t size) {
    return {at, static_cast<uint32_t>(std::min<uint64_t>(uint64_t{at} + size, UINT32_MAX))};
}

// Entries of the cry table whose sample starts at `offset`, but `index`.
std::vector<int> EntriesAt(ImageBytes image, const ImageModel& m, uint32_t offset, int index) {
    std::vector<int> found;
    for (int i = 0; i < m.entries; ++i) {
        const Entry e = ReadEntry(image, m.table, i);
        if (i != index && e.pointsIntoRom && e.offset == offset) found.push_back(i);
    }
    return found;
}

// Entries of either table whose sample overlaps `span` without starting at
// `own`: the cries a forced write would run over.
std::vector<int> EntriesOverlapping(ImageBytes image, const ImageModel& m, Span span, uint32_t own) {
    std::vector<int> found;
    auto scan = [&](uint32_t table, int entries) {
        for (int i = 0; i < entries; ++i) {
            const Entry e = ReadEntry(image, table, i);
            if (!e.pointsIntoRom || e.offset == own) continue;
            const SampleInfo s = InspectSample(image, e.offset);
            if (s.Sound() && s.Bytes().Overlaps(span)) found.push_back(i);
        }
    };
    scan(m.table, m.entries);
    if (m.reverse) scan(*m.reverse, m.reverseEntries);
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

// The sample's kind, when its bytes are exactly those of its kind and length.
std::optional<SampleKind> KindOfSample(const std::vector<uint8_t>& sample) {
    const Result<SampleHeader> read = ReadSampleHeader(sample, 0);
    const SampleHeader& h = read.value;
    if (!read.Ok() || !h.format || h.length > h.format->maxValues) return std::nullopt;
    if (sample.size() != h.format->bytes(h.length)) return std::nullopt;
    return h.format->kind;
}

struct Planner {
    ImageBytes image;
    const ImageModel& model;
    const EditRequest& request;
    Plan plan;
    std::vector<Span> fixed;   // header, cry table, reverse table: never written, even forced
    std::vector<Span> guarded; // fixed, plus every sample
    std::vector<Span> claimed; // spans this plan writes samples into
    std::vector<size_t> needFree;  // indexes into request.cries

    void Add(const Problem& p) { plan.problems.push_back(p); }

    static bool OverlapsAny(const std::vector<Span>& spans, Span s) {
        return std::any_of(spans.begin(), spans.end(), [&](Span o) { return o.Overlaps(s); });
    }

    // A span that must lie in the image, word-aligned, clear of the header
    // and the tables, and of every sample but `own` unless forced.
    bool CheckTarget(int index, Span s, std::optional<Span> own, bool force) {
        if (s.start % 4 != 0) {
            Add({.kind = PlanProblem::Unaligned, .index = index, .offset = s.start});
            return false;
        }
        if (s.end > image.size() || s.end < s.start) {
            Add({.kind = PlanProblem::PastEnd, .index = index, .offset = s.start, .bytes = s.Size()});
            return false;
        }
        for (size_t k = 0; k < fixed.size(); ++k) {
            if (fixed[k].Overlaps(s)) {
                Add({.kind = PlanProblem::Protected, .index = index, .offset = s.start, .bytes = s.Size(), .part = static_cast<ProtectedPart>(k)});
                return false;
            }
        }
        const auto otherSample = [&](Span g) {
            return g.Overlaps(s) && !(own && g.start == own->start && g.end == own->end);
        };
        if (!force && std::any_of(guarded.begin(), guarded.end(), otherSample)) {
            Add({.kind = PlanProblem::Protected, .index = index, .offset = s.start, .bytes = s.Size(), .part = SamplePart});
            return false;
        }
        if (OverlapsAny(claimed, s)) {
            Add({.kind = PlanProblem::TwiceInOnePlan, .index = index});
            return false;
        }
        claimed.push_back(s);
        return true;
    }

    void Repointed(CryPlan& cp, uint32_t offset) {
        const Entry e = ReadEntry(image, model.table, cp.index);
        const uint32_t to = RomAddressBase | offset;
        cp.moved = e.pointer != to;
        if (!cp.moved) return;
        plan.pointers.push_back({TableKind::Cry, cp.index, e.pointerPos, e.pointer, to});
        if (!model.reverse) return;
        const Entry r = ReadEntry(image, *model.reverse, cp.index);
        if (ReverseInStep(image, model, cp.index)) {
            plan.pointers.push_back({TableKind::Reverse, cp.index, r.pointerPos, r.pointer, to});
            cp.reverseMoved = true;
        } else if (r.inFile && VoiceKind(r.firstWord, TableKind::Reverse) && r.pointer != to) {
            plan.warnings.push_back({.kind = PlanWarningKind::ReverseLeft, .index = cp.index, .pointer = r.offset});
        }
    }

    // The game plays an entry's sample as its voice byte says. A sample
    // written in place changes kind under every entry that points at it; an
    // entry pointed elsewhere takes its reverse entry along when in step.
    void Voiced(const CryPlan& cp) {
        if (!cp.newKind) return;
        if (!cp.moved) {
            const std::vector<VoiceUpdate> all = VoicesFor(image, model, cp.newOffset, *cp.newKind);
            plan.voices.insert(plan.voices.end(), all.begin(), all.end());
            return;
        }
        const bool inStep = ReverseInStep(image, model, cp.index);
        auto voice = [&](TableKind table, uint32_t tableOffset) {
            const Entry e = ReadEntry(image, tableOffset, cp.index);
            const std::optional<SampleKind> declared = VoiceKind(e.firstWord, table);
            if (!e.inFile || !declared || declared == cp.newKind) return;
            const uint8_t to = static_cast<uint8_t>(VoiceWord(table, *cp.newKind));
            plan.voices.push_back({table, cp.index, e.at + EntryVoiceOfs, image[e.at + EntryVoiceOfs], to});
        };
        voice(TableKind::Cry, model.table);
        if (inStep) voice(TableKind::Reverse, *model.reverse);
    }

    // The bytes a sample's slot holds: up to the last byte of the sample, but
    // never into a sample that another entry points at (some tools write an
    // uncompressed sample without its final loop value).
    Span Slot(const SampleInfo& old) const {
        Span slot = old.Bytes();
        for (Span g : guarded)
            if (g.start > slot.start && g.start < slot.end) slot.end = g.start;
        return slot;
    }

    void Place(CryPlan& cp, const CryChange& c, uint32_t at) {
        cp.newOffset = at;
        plan.writes.push_back({at, c.sample});
    }

    // Pass one: checks, and the cries that stay in their slot or go where told.
    void PlanCry(size_t k) {
        const CryChange& c = request.cries[k];
        CryPlan cp;
        cp.index = c.index;
        cp.replaced = true;
        cp.newBytes = static_cast<uint32_t>(c.sample.size());
        cp.newKind = KindOfSample(c.sample);
        if (!cp.newKind) return Add({.kind = PlanProblem::BadSample, .index = c.index});
        const Entry e = ReadEntry(image, model.table, c.index);
        const SampleInfo old = e.pointsIntoRom ? InspectSample(image, e.offset) : SampleInfo{};
        if (e.pointsIntoRom) cp.oldOffset = e.offset;
        if (old.Sound()) {
            cp.oldKind = old.Kind();
            cp.oldBytes = Slot(old).Size();
            cp.sharing = EntriesAt(image, model, e.offset, c.index);
        }
        const bool fits = old.Sound() && cp.newBytes <= cp.oldBytes;
        switch (c.place) {
            case CryChange::Place::Auto:
                if (!fits) {
                    needFree.push_back(k);
                    break;
                }
                [[fallthrough]];
            case CryChange::Place::InPlace: {
                if (!e.pointsIntoRom) return Add({.kind = PlanProblem::EntryNotInImage, .index = c.index});
                if (!fits && !c.force) {
                    if (old.Sound())
                        return Add({.kind = PlanProblem::DoesNotFit, .index = c.index, .offset = e.offset, .bytes = cp.newBytes, .room = cp.oldBytes});
                    return Add({.kind = PlanProblem::NotASample, .index = c.index, .offset = e.offset});
                }
                const Span s = SpanAt(e.offset, cp.newBytes);
                if (!CheckTarget(c.index, s, old.Sound() ? std::optional<Span>(old.Bytes()) : std::nullopt, c.force)) return;
                if (c.force) cp.overwritten = EntriesOverlapping(image, model, s, e.offset);
                Place(cp, c, e.offset);
                Voiced(cp);
                break;
            }
            case CryChange::Place::Free: needFree.push_back(k); break;
            case CryChange::Place::At: {
                const SampleInfo there = InspectSample(image, c.at);
                const Span s = SpanAt(c.at, cp.newBytes);
                const bool intoSample = there.Sound() && cp.newBytes <= there.extent;
                const bool intoFree = s.end <= image.size() &&
                                      std::all_of(image.begin() + s.start, image.begin() + s.end, [](uint8_t b) { return b == 0xFF; });
                if (s.end <= image.size() && s.start % 4 == 0 && !intoSample && !intoFree && !c.force) {
                    if (there.Sound())
                        return Add({.kind = PlanProblem::DoesNotFit, .index = c.index, .offset = c.at, .bytes = cp.newBytes, .room = there.extent});
                    return Add({.kind = PlanProblem::NotFree, .index = c.index, .offset = c.at});
                }
                if (!CheckTarget(c.index, s, there.Sound() ? std::optional<Span>(there.Bytes()) : std::nullopt, c.force)) return;
                if (c.force) cp.overwritten = EntriesOverlapping(image, model, s, c.at);
                Place(cp, c, c.at);
                Voiced(cp);
                break;
            }
        }
        plan.cries.push_back(cp);
    }

    void PlanRepoint(const RepointChange& r) {
        CryPlan cp;
        cp.index = r.index;
        const Entry e = ReadEntry(image, model.table, r.index);
        if (e.pointsIntoRom) cp.oldOffset = e.offset;
        const SampleInfo target = InspectSample(image, r.target);
        if (r.target % 4 != 0) return Add({.kind = PlanProblem::Unaligned, .index = r.index, .offset = r.target});
        if (!target.headerInFile) return Add({.kind = PlanProblem::PastEnd, .index = r.index, .offset = r.target, .bytes = SampleHeaderSize});
        if (!target.Sound() && !r.force) return Add({.kind = PlanProblem::NotASample, .index = r.index, .offset = r.target});
        cp.newOffset = r.target;
        cp.newBytes = target.Sound() ? target.extent : 0;
        if (target.Sound()) cp.newKind = target.Kind();
        Repointed(cp, r.target);
        if (cp.moved) Voiced(cp);
        plan.cries.push_back(cp);
    }

    // Pass two: the slots that cries moving to free space leave behind.
    std::vector<Span> Reclaim() {
        std::vector<Span> slots;
        if (!request.reclaim) return slots;
        // The entries this plan points elsewhere: their cry entry, and their
        // reverse entry when it follows, no longer hold the old slot.
        // Repoints of entries past the table are refused but still listed.
        std::vector<bool> leaving(static_cast<size_t>(model.entries), false);
        auto leaves = [&](int index) {
            if (index >= 0 && index < model.entries) leaving[index] = true;
        };
        for (size_t k : needFree) leaves(request.cries[k].index);
        for (const RepointChange& r : request.repoints) leaves(r.index);
        auto pointsInto = [&](uint32_t table, int i, Span slot) {
            const Entry e = ReadEntry(image, table, i);
            return e.pointsIntoRom && e.offset >= slot.start && e.offset < slot.end;
        };
        auto stillPointedAt = [&](Span slot) {
            for (int i = 0; i < model.entries; ++i)
                if (!leaving[i] && pointsInto(model.table, i, slot)) return true;
            for (int i = 0; i < model.reverseEntries; ++i)
                if (!(leaving[i] && ReverseInStep(image, model, i)) && pointsInto(*model.reverse, i, slot)) return true;
            return false;
        };
        for (size_t k : needFree) {
            const Entry e = ReadEntry(image, model.table, request.cries[k].index);
            if (!e.pointsIntoRom) continue;
            const SampleInfo old = InspectSample(image, e.offset);
            if (!old.Sound() || old.offset % 4 != 0) continue;
            const Span slot = old.Bytes();
            if (OverlapsAny(fixed, slot) || OverlapsAny(claimed, slot) || stillPointedAt(slot)) continue;
            if (std::any_of(slots.begin(), slots.end(), [&](Span s) { return s.Overlaps(slot); })) continue;
            slots.push_back(slot);
        }
        for (Span s : slots) {
            plan.writes.insert(plan.writes.begin(), Write{s.start, std::vector<uint8_t>(s.Size(), 0xFF)});
            plan.reclaimed.push_back(s);
            plan.bytesFreed += s.Size();
            guarded.erase(std::remove_if(guarded.begin(), guarded.end(), [&](Span g) { return g.start == s.start && g.end == s.end; }),
                          guarded.end());
        }
        return slots;
    }

    // The runs new samples may take: the free tail (or inner runs of the
    // range the caller names), less anything guarded, plus reclaimed slots.
    std::vector<Span> FreePool(const std::vector<Span>& reclaimed) {
        std::vector<Span> runs = request.freeRange ? FreeRuns(image, *request.freeRange) : std::vector<Span>{FreeTail(image)};
        std::vector<Span> pool;
        for (Span run : runs) {
            // Cut each run around what it must not touch.
            std::vector<Span> pieces = {run};
            for (Span g : guarded) {
                std::vector<Span> next;
                for (Span p : pieces) {
                    if (!p.Overlaps(g)) {
                        next.push_back(p);
                        continue;
                    }
                    if (p.start < g.start) next.push_back({p.start, g.start});
                    if (AlignUp4(g.end) < p.end) next.push_back({AlignUp4(g.end), p.end});
                }
                pieces = next;
            }
            for (Span p : pieces)
                if (p.end > p.start) pool.push_back(p);
        }
        pool.insert(pool.end(), reclaimed.begin(), reclaimed.end());
        std::sort(pool.begin(), pool.end(), [](Span a, Span b) { return a.start < b.start; });
        return pool;
    }

    // Pass three: largest first, first fit.
    void PlaceInFree(std::vector<Span> pool) {
        std::vector<size_t> order = needFree;
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return request.cries[a].sample.size() > request.cries[b].sample.size(); });
        for (size_t k : order) {
            const CryChange& c = request.cries[k];
            const uint32_t size = static_cast<uint32_t>(c.sample.size());
            auto run = std::find_if(pool.begin(), pool.end(), [&](Span s) { return s.Size() >= size; });
            CryPlan* cp = CryOf(c.index);
            if (cp == nullptr) continue;
            if (run == pool.end()) {
                uint64_t largest = 0;
                for (Span s : pool) largest = std::max<uint64_t>(largest, s.Size());
                Add({.kind = PlanProblem::NoFreeSpace, .index = c.index, .bytes = size, .room = largest});
                continue;
            }
            Place(*cp, c, run->start);
            Repointed(*cp, run->start);
            Voiced(*cp);
            plan.bytesUsed += size;
            run->start = std::min(AlignUp4(uint64_t{run->start} + size), run->end);
        }
        for (Span s : pool) plan.freeLeft += s.Size();
    }

    CryPlan* CryOf(int index) {
        for (CryPlan& cp : plan.cries)
            if (cp.index == index) return &cp;
        return nullptr;
    }

    // A change written at a given offset may name no entry (index -1); every
    // other change needs the cry table.
    static bool NamesNoEntry(const CryChange& c) { return c.place == CryChange::Place::At && c.index == -1; }

    // What the user should know of the image and table an edit goes into.
    void WarnOfImage() {
        if (model.tableInUse)
            plan.warnings.push_back({.kind = PlanWarningKind::TableNotInUse, .table = model.table, .inUse = *model.tableInUse});
        if (const std::optional<ImageCut> cut = CheckImageSize(image, model))
            plan.warnings.push_back({.kind = PlanWarningKind::ImageCut, .index = cut->entry, .size = cut->size,
                                     .gameSize = cut->gameSize, .pointedPast = cut->pointedPast});
    }

    void Run() {
        WarnOfImage();
        const bool needTable = !request.repoints.empty() ||
                               !std::all_of(request.cries.begin(), request.cries.end(), NamesNoEntry);
        if (needTable && !model.HasTable()) return Add({.kind = PlanProblem::NoTable});
        if (needTable && model.Ambiguous()) return Add({.kind = PlanProblem::AmbiguousTable});
        // In ProtectedPart order: header, cry table, reverse table.
        fixed = {{0, static_cast<uint32_t>(std::min<uint64_t>(RomHeaderSize, image.size()))},
                 model.HasTable() ? model.TableBytes() : Span{},
                 model.reverse ? model.ReverseBytes() : Span{}};
        guarded = ProtectedSpans(image, model);
        std::map<int, int> seen;
        auto checkIndex = [&](int index) {
            if (index < 0 || index >= model.entries) {
                Add({.kind = PlanProblem::IndexPastTable, .index = index, .offset = model.table,
                     .room = static_cast<uint64_t>(model.entries)});
                return false;
            }
            if (seen[index]++) {
                Add({.kind = PlanProblem::TwiceInOnePlan, .index = index});
                return false;
            }
            return true;
        };
        for (size_t k = 0; k < request.cries.size(); ++k) {
            if (NamesNoEntry(request.cries[k]) || checkIndex(request.cries[k].index)) PlanCry(k);
        }
        for (const RepointChange& r : request.repoints)
            if (checkIndex(r.index)) PlanRepoint(r);
        const std::vector<Span> reclaimed = Reclaim();
        PlaceInFree(FreePool(reclaimed));
        std::sort(plan.cries.begin(), plan.cries.end(), [](const CryPlan& a, const CryPlan& b) { return a.index < b.index; });
    }
};

}  // namespace

Plan PlanEdits(ImageBytes image, const ImageModel& model, const EditRequest& request) {
    Planner p{image, model, request, {}, {}, {}, {}, {}};
    p.Run();
    if (!p.plan.Ok()) {
        Plan refused;
        refused.problems = p.plan.problems;
        refused.warnings = p.plan.warnings;
        return refused;
    }
    return p.plan;
}

bool ApplyPlan(const Plan& plan, std::span<uint8_t> image) {
    if (!plan.Ok()) return false;
    for (const Write& w : plan.writes)
        if (uint64_t{w.at} + w.bytes.size() > image.size()) return false;
    for (const PointerUpdate& u : plan.pointers)
        if (uint64_t{u.at} + 4 > image.size()) return false;
    for (const VoiceUpdate& v : plan.voices)
        if (v.at >= image.size()) return false;
    for (const Write& w : plan.writes) std::copy(w.bytes.begin(), w.bytes.end(), image.begin() + w.at);
    for (const PointerUpdate& u : plan.pointers) PutLe32(&image[u.at], u.to);
    for (const VoiceUpdate& v : plan.voices) image[v.at] = v.to;
    return true;
}
