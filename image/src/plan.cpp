// Planning and applying edits.
//
// A plan is worked out in three passes: each change is checked on its own and
// placed in its slot when it goes there; the slots that moved cries leave are
// reclaimed when asked and nothing else points into them; then the cries that
// need free space are placed, largest first, each in the first run that holds
// it. Cries whose new samples are byte-identical are planned as one, and the
// others of them are pointed at its copy last. Every problem found on the way
// is kept, so a refused edit names them all.
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
    std::vector<bool> changed;     // per entry: replaced or repointed by this plan
    std::vector<int> copyOf;       // per change: the change whose identical sample it points at, or -1
    std::vector<size_t> pointedAtCopy;  // the changes that have a copyOf

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

    bool Changed(int index) const { return index >= 0 && index < model.entries && changed[index]; }

    // The entries but `index` that play the sample at `offset` and go on
    // playing it after this plan: a cry entry this plan does not change, or a
    // reverse entry not in step with its changed one (which leaves it behind).
    std::vector<int> StillPlaying(uint32_t offset, int index) const {
        std::vector<int> staying;
        for (int i : EntriesPlaying(image, model, offset, index)) {
            const Entry r = model.reverse ? ReadEntry(image, *model.reverse, i) : Entry{};
            const bool reverseLeft = r.pointsIntoRom && r.offset == offset && !ReverseInStep(image, model, i);
            if (!Changed(i) || reverseLeft) staying.push_back(i);
        }
        return staying;
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

    // An entry this plan points away from the sample `owner` writes over at
    // `offset`, or, for a reverse entry, whose cry entry it follows away.
    bool Leaves(const VoiceUpdate& v, int owner, uint32_t offset) const {
        if (v.index == owner || !Changed(v.index)) return false;
        for (size_t k : pointedAtCopy)
            if (request.cries[k].index == v.index && request.cries[copyOf[k]].index == owner) return false;
        for (const RepointChange& r : request.repoints)
            if (r.index == v.index && r.target == offset) return false;
        return v.table == TableKind::Cry || ReverseInStep(image, model, v.index);
    }

    // The game plays an entry's sample as its voice byte says. A sample
    // written in place changes kind under every entry that stays pointing at
    // it; an entry pointed elsewhere takes its reverse entry along when in step.
    void Voiced(const CryPlan& cp) {
        if (!cp.newKind) return;
        if (!cp.moved) {
            for (const VoiceUpdate& v : VoicesFor(image, model, cp.newOffset, *cp.newKind))
                if (!Leaves(v, cp.index, cp.newOffset)) plan.voices.push_back(v);
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
    // What cp's entry points at now: its offset, and the sound there (its
    // kind, its slot's bytes, the other entries that play it).
    SampleInfo ReadOld(CryPlan& cp) {
        const Entry e = ReadEntry(image, model.table, cp.index);
        const SampleInfo old = e.pointsIntoRom ? InspectSample(image, e.offset) : SampleInfo{};
        if (e.pointsIntoRom) cp.oldOffset = e.offset;
        if (old.Sound()) {
            cp.oldKind = old.Kind();
            cp.oldBytes = Slot(old).Size();
            cp.sharing = StillPlaying(e.offset, cp.index);
        }
        return old;
    }

    void PlanCry(size_t k) {
        const CryChange& c = request.cries[k];
        CryPlan cp;
        cp.index = c.index;
        cp.replaced = true;
        cp.newBytes = static_cast<uint32_t>(c.sample.size());
        cp.newKind = KindOfSample(c.sample);
        if (!cp.newKind) return Add({.kind = PlanProblem::BadSample, .index = c.index});
        const Entry e = ReadEntry(image, model.table, c.index);
        const SampleInfo old = ReadOld(cp);
        const bool fits = old.Sound() && cp.newBytes <= cp.oldBytes;
        // Another entry plays the old bytes on: the cry moves alone, unless all
        // that share them are to change with it.
        const bool alone = !cp.sharing.empty() && !request.allSharing;
        const bool inPlace = c.place == CryChange::Place::Auto || c.place == CryChange::Place::InPlace;
        const bool taken = OverlapsAny(claimed, SpanAt(e.offset, cp.newBytes));  // by a cry of this plan that shared it
        switch (alone && inPlace ? CryChange::Place::Free : c.place) {
            case CryChange::Place::Auto:
                if (!fits || taken) {
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
                cp.sharingChanged = !cp.sharing.empty();
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
        std::vector<size_t> movers = needFree;
        movers.insert(movers.end(), pointedAtCopy.begin(), pointedAtCopy.end());
        for (size_t k : movers) leaves(request.cries[k].index);
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
        for (size_t k : movers) {
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

    // The changes whose samples are byte-identical to an earlier one's, each
    // given the one that holds the copy: of those placed Auto, the first that
    // stays in its slot, else the first.
    void GroupIdentical() {
        copyOf.assign(request.cries.size(), -1);
        if (!request.share) return;
        std::map<std::vector<uint8_t>, std::vector<size_t>> groups;
        for (size_t k = 0; k < request.cries.size(); ++k) {
            const CryChange& c = request.cries[k];
            if (c.place == CryChange::Place::Auto && Changed(c.index) && KindOfSample(c.sample))
                groups[c.sample].push_back(k);
        }
        for (const auto& group : groups) {
            const std::vector<uint8_t>& sample = group.first;  // named apart: emscripten's clang lets no lambda capture a structured binding
            const std::vector<size_t>& members = group.second;
            if (members.size() < 2) continue;
            auto staysInSlot = [&](size_t k) {
                const Entry e = ReadEntry(image, model.table, request.cries[k].index);
                const SampleInfo old = e.pointsIntoRom ? InspectSample(image, e.offset) : SampleInfo{};
                return old.Sound() && sample.size() <= Slot(old).Size() &&
                       (request.allSharing || StillPlaying(e.offset, request.cries[k].index).empty());
            };
            const auto holder = std::find_if(members.begin(), members.end(), staysInSlot);
            const size_t owner = holder == members.end() ? members.front() : *holder;
            for (size_t k : members)
                if (k != owner) copyOf[k] = static_cast<int>(owner), pointedAtCopy.push_back(k);
        }
    }

    // Last: each change of a group pointed at the copy its group holds.
    void PointAtCopies() {
        if (!plan.Ok()) return;  // refused: nothing to point at
        for (size_t k : pointedAtCopy) {
            const CryChange& c = request.cries[k];
            const CryPlan* found = CryOf(request.cries[copyOf[k]].index);
            if (found == nullptr) continue;
            const CryPlan holder = *found;  // plan.cries grows below
            CryPlan cp;
            cp.index = c.index;
            cp.replaced = true;
            cp.sameAs = holder.index;
            cp.newOffset = holder.newOffset;
            cp.newBytes = holder.newBytes;
            cp.newKind = holder.newKind;
            ReadOld(cp);
            Repointed(cp, cp.newOffset);
            if (cp.moved) Voiced(cp);
            plan.bytesShared += cp.newBytes;
            plan.cries.push_back(cp);
        }
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
        changed.assign(static_cast<size_t>(std::max(model.entries, 0)), false);
        for (const CryChange& c : request.cries)
            if (c.index >= 0 && c.index < model.entries) changed[c.index] = true;
        for (const RepointChange& r : request.repoints)
            if (r.index >= 0 && r.index < model.entries) changed[r.index] = true;
        GroupIdentical();
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
            const bool named = NamesNoEntry(request.cries[k]) || checkIndex(request.cries[k].index);
            if (named && copyOf[k] < 0) PlanCry(k);
        }
        for (const RepointChange& r : request.repoints)
            if (checkIndex(r.index)) PlanRepoint(r);
        const std::vector<Span> reclaimed = Reclaim();
        PlaceInFree(FreePool(reclaimed));
        PointAtCopies();
        std::sort(plan.cries.begin(), plan.cries.end(), [](const CryPlan& a, const CryPlan& b) { return a.index < b.index; });
    }
};

}  // namespace

Plan PlanEdits(ImageBytes image, const ImageModel& model, const EditRequest& request) {
    Planner p{image, model, request, {}, {}, {}, {}, {}, {}, {}, {}};
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
