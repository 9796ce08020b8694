// The cry table and the reverse table: where they lie and how far they reach.
#include <algorithm>
#include <cstdio>

#include "image.h"

namespace {

bool CarriesWords(const Entry& e, TableKind table) {
    return e.inFile && VoiceKind(e.firstWord, table) && e.lastWord == EntryLastWord && e.pointsIntoRom;
}

// How many entries from `at` point into the image, whatever their other
// words: the extent of a table whose size is stated, or of a reverse table
// found by its pointers.
int PointingEntries(ImageBytes image, uint32_t at, int limit) {
    int n = 0;
    while (n < limit && ReadEntry(image, at, n).pointsIntoRom) ++n;
    return n;
}

// The reverse table anywhere: a word-aligned run of entries whose pointer
// words match the cry table's first ones.
std::optional<uint32_t> FindReverseByPointers(ImageBytes image, uint32_t tableOffset, int entries) {
    constexpr int Compared = 16;
    std::vector<uint32_t> pointers;
    for (int i = 0; i < std::min(Compared, entries); ++i) {
        const Entry e = ReadEntry(image, tableOffset, i);
        if (!e.pointsIntoRom) break;
        pointers.push_back(e.pointer);
    }
    if (pointers.empty()) return std::nullopt;
    const size_t allowedMisses = pointers.size() / 4;
    auto matches = [&](uint64_t r) {
        size_t misses = 0;
        for (size_t i = 0; i < pointers.size() && misses <= allowedMisses; ++i) {
            const uint64_t at = r + CryEntrySize * i + CryEntryPointerOfs;
            if (at + 4 > image.size() || GetLe32(&image[at]) != pointers[i]) ++misses;
        }
        return misses <= allowedMisses;
    };
    const Span cry{tableOffset, tableOffset + CryEntrySize * static_cast<uint32_t>(entries)};
    // One pass over the words: only a word equal to one of the compared
    // pointers makes a candidate, placed so that the word is its entry i.
    for (uint64_t p = CryEntryPointerOfs; p + 4 <= image.size(); p += 4) {
        const uint32_t word = GetLe32(&image[p]);
        for (size_t i = 0; i < pointers.size(); ++i) {
            const uint64_t back = CryEntrySize * i + CryEntryPointerOfs;
            if (word != pointers[i] || p < back) continue;
            const uint64_t r = p - back;
            const Span candidate{static_cast<uint32_t>(r), static_cast<uint32_t>(r + CryEntrySize * pointers.size())};
            if (!candidate.Overlaps(cry) && matches(r)) return static_cast<uint32_t>(r);
        }
    }
    return std::nullopt;
}

}  // namespace

const char* TableName(TableKind table) { return table == TableKind::Cry ? "cry" : "reverse"; }

uint32_t VoiceWord(TableKind table, SampleKind kind) {
    const uint32_t voice = (table == TableKind::Reverse ? ReverseVoiceBit : 0) |
                           (kind == SampleKind::Compressed ? CompressedVoiceBit : 0);
    return VoiceWordRest | voice;
}

std::optional<SampleKind> VoiceKind(uint32_t firstWord, TableKind table) {
    for (SampleKind kind : {SampleKind::Compressed, SampleKind::Uncompressed})
        if (firstWord == VoiceWord(table, kind)) return kind;
    return std::nullopt;
}

int MeasureTable(ImageBytes image, uint32_t tableOffset, TableKind table) {
    int n = 0;
    while (CarriesWords(ReadEntry(image, tableOffset, n), table)) ++n;
    return n;
}

const char* SourceName(TableSource source) {
    switch (source) {
        case TableSource::Given: return "given";
        case TableSource::Known: return "known release";
        case TableSource::Moved: return "moved from the release's offset";
        case TableSource::Scan: return "table scan";
        case TableSource::None: return "none";
    }
    return "none";
}

std::optional<uint32_t> FindReverseTable(ImageBytes image, uint32_t tableOffset, int entries) {
    const uint32_t after = tableOffset + CryEntrySize * static_cast<uint32_t>(entries);
    if (MeasureTable(image, after, TableKind::Reverse) > 0) return after;
    return FindReverseByPointers(image, tableOffset, entries);
}

std::vector<EntryRow> EntryRows(const ImageModel& model, IdRule rule) {
    std::vector<EntryRow> rows;
    std::vector<bool> reached(static_cast<size_t>(std::max(model.entries, 0)), false);
    for (int id = 1; id <= LastId; ++id) {
        if (IsPlaceholderId(id, rule)) continue;
        const int index = EntryIndex(id, rule);
        if (index >= model.entries) continue;
        rows.push_back({id, index});
        reached[index] = true;
    }
    for (int i = 0; i < model.entries; ++i)
        if (!reached[i]) rows.push_back({std::nullopt, i});
    return rows;
}

bool ReverseInStep(ImageBytes image, const ImageModel& model, int index) {
    if (!model.reverse || index >= model.reverseEntries) return false;
    const Entry c = ReadEntry(image, model.table, index);
    const Entry r = ReadEntry(image, *model.reverse, index);
    return c.inFile && r.inFile && c.pointer == r.pointer;
}

std::vector<int> EntriesPlaying(ImageBytes image, const ImageModel& model, uint32_t offset, int index) {
    std::vector<int> found;
    const auto at = [&](uint32_t table, int i) {
        const Entry e = ReadEntry(image, table, i);
        return e.pointsIntoRom && e.offset == offset;
    };
    for (int i = 0; i < model.entries; ++i)
        if (i != index && (at(model.table, i) || (model.reverse && i < model.reverseEntries && at(*model.reverse, i))))
            found.push_back(i);
    return found;
}

std::vector<TableFound> FindTables(ImageBytes image) {
    std::vector<TableFound> found;
    // Table starts: an entry that carries a table's words where the entry
    // before it does not.
    for (uint64_t p = 0; p + CryEntrySize <= image.size(); p += 4) {
        // Every voice word is 3C 00 00 after a byte 00, 10, 20 or 30.
        if ((GetLe32(&image[p]) & ~uint32_t{0x30}) != VoiceWordRest) continue;
        for (TableKind kind : {TableKind::Cry, TableKind::Reverse}) {
            const uint32_t at = static_cast<uint32_t>(p);
            if (!CarriesWords(ReadEntry(image, at, 0), kind)) continue;
            if (p >= CryEntrySize && CarriesWords(ReadEntry(image, at - CryEntrySize, 0), kind)) continue;
            found.push_back({kind, at, MeasureTable(image, at, kind), {}});
        }
    }
    if (found.empty()) return found;
    // The words that point at them, outside every table and every sample.
    std::vector<Span> excluded;
    for (const TableFound& t : found) {
        excluded.push_back({t.offset, t.offset + CryEntrySize * static_cast<uint32_t>(t.entries)});
        for (int i = 0; i < t.entries; ++i) {
            const SampleInfo s = InspectSample(image, ReadEntry(image, t.offset, i).offset);
            if (s.Sound()) excluded.push_back(s.Bytes());
        }
    }
    std::sort(excluded.begin(), excluded.end(), [](Span x, Span y) { return x.start < y.start; });
    // Spans sorted by start; the longest reach so far tells whether a word lies in one.
    std::vector<uint32_t> reach(excluded.size());
    for (size_t i = 0; i < excluded.size(); ++i) reach[i] = std::max(excluded[i].end, i ? reach[i - 1] : 0u);
    auto isExcluded = [&](uint32_t at) {
        auto it = std::upper_bound(excluded.begin(), excluded.end(), at, [](uint32_t v, Span x) { return v < x.start; });
        return it != excluded.begin() && reach[static_cast<size_t>(it - excluded.begin()) - 1] > at;
    };
    std::vector<std::pair<uint32_t, size_t>> targets;  // address, index into found
    for (size_t i = 0; i < found.size(); ++i) targets.push_back({RomAddressBase | found[i].offset, i});
    std::sort(targets.begin(), targets.end());
    for (uint64_t p = 0; p + 4 <= image.size(); p += 4) {
        const uint32_t word = GetLe32(&image[p]);
        if ((word & ~RomAddressMask) != RomAddressBase) continue;
        auto it = std::lower_bound(targets.begin(), targets.end(), std::pair<uint32_t, size_t>{word, 0});
        if (it == targets.end() || it->first != word || isExcluded(static_cast<uint32_t>(p))) continue;
        for (; it != targets.end() && it->first == word; ++it) found[it->second].pointerWords.push_back(static_cast<uint32_t>(p));
    }
    return found;
}

namespace {

void SetTable(ImageModel& m, ImageBytes image, TableSource source, uint32_t offset, const TableRequest& request) {
    m.source = source;
    m.table = offset;
    if (request.entries) {
        m.entries = *request.entries;
        if (uint64_t{offset} + uint64_t{CryEntrySize} * static_cast<uint64_t>(m.entries) > image.size()) {
            m.problem = OpenProblem::EntriesTooMany;
            m.entries = 0;
        }
    } else {
        m.entries = MeasureTable(image, offset);
    }
}

const TableFound* FoundAt(const std::vector<TableFound>& tables, TableKind kind, uint32_t offset) {
    for (const TableFound& t : tables)
        if (t.kind == kind && t.offset == offset) return &t;
    return nullptr;
}

// The run of cry entries that holds `offset`: a scan that looks only for
// compressed entries lands past the uncompressed ones a table starts with.
std::optional<uint32_t> CryTableHolding(const std::vector<TableFound>& tables, uint32_t offset) {
    for (const TableFound& t : tables)
        if (t.kind == TableKind::Cry && t.offset <= offset && offset < t.offset + CryEntrySize * static_cast<uint32_t>(t.entries))
            return t.offset;
    return std::nullopt;
}

// The cry table the code points at, among several: the release's own, else
// the one most words point at, else the longest.
const TableFound* ChoosePointed(const std::vector<const TableFound*>& pointed, const ImageModel& m) {
    const TableFound* best = nullptr;
    for (const TableFound* t : pointed) {
        if (m.identity.kind == RomKnown && t->offset == m.knownOffset) return t;
        if (!best || t->pointerWords.size() > best->pointerWords.size() ||
            (t->pointerWords.size() == best->pointerWords.size() && t->entries > best->entries))
            best = t;
    }
    return best;
}

// How many of the first entries of two tables point at the same samples.
int SharedPointers(ImageBytes image, uint32_t a, uint32_t b, int entries) {
    int same = 0;
    for (int i = 0; i < entries; ++i) same += ReadEntry(image, a, i).pointer == ReadEntry(image, b, i).pointer;
    return same;
}

// The cry table the code points at when it points at none holding `given`:
// a given table the game no longer reads.
std::optional<uint32_t> PointedElsewhere(const std::vector<TableFound>& tables, uint32_t given) {
    std::optional<uint32_t> pointed;
    for (const TableFound& t : tables) {
        if (t.kind != TableKind::Cry || t.pointerWords.empty()) continue;
        if (t.offset <= given && given < t.offset + CryEntrySize * static_cast<uint32_t>(t.entries)) return std::nullopt;
        if (!pointed) pointed = t.offset;
    }
    return pointed;
}

void ChooseTable(ImageModel& m, ImageBytes image, const std::vector<TableFound>& tables, const TableRequest& request) {
    if (request.offset) {
        const uint32_t t = *request.offset;
        m.table = t;  // named by the problems below
        if (t % 4 != 0) m.problem = OpenProblem::TableUnaligned;
        else if (uint64_t{t} + CryEntrySize > image.size()) m.problem = OpenProblem::TablePastEnd;
        if (m.problem != OpenProblem::None) return;
        SetTable(m, image, TableSource::Given, t, request);
        if (m.problem == OpenProblem::None && m.entries == 0) m.problem = OpenProblem::TableNoEntries;
        m.tableInUse = PointedElsewhere(tables, t);
        return;
    }
    const bool known = m.identity.kind == RomKnown;
    if (known) m.knownOffset = m.identity.tableOffset;
    std::vector<const TableFound*> pointed;
    for (const TableFound& t : tables)
        if (t.kind == TableKind::Cry && !t.pointerWords.empty()) pointed.push_back(&t);
    if (!pointed.empty()) {
        const TableFound* chosen = ChoosePointed(pointed, m);
        if (pointed.size() > 1)
            for (const TableFound* t : pointed) m.competing.push_back(t->offset);
        const bool own = known && chosen->offset == m.knownOffset;
        SetTable(m, image, !known ? TableSource::Scan : own ? TableSource::Known : TableSource::Moved, chosen->offset, request);
        if (known && !own && MeasureTable(image, m.knownOffset) > 0) m.unusedTable = m.knownOffset;
        // Another image's dead table: the longest run of cry entries no word
        // reaches, outside the games' size of the table in use (a run within
        // it is that table's own, past a damaged entry).
        const Span games{m.table, m.table + CryEntrySize * GameTableEntries};
        for (const TableFound& t : tables)
            if (!known && t.kind == TableKind::Cry && t.pointerWords.empty() && t.entries > 1 &&
                !games.Contains({t.offset, t.offset + CryEntrySize}) &&
                (!m.unusedTable || t.entries > MeasureTable(image, *m.unusedTable)))
                m.unusedTable = t.offset;
        return;
    }
    // No code points at any table (an image without code): the release's
    // offset when it holds entries, else the scan.
    if (known) {
        SetTable(m, image, TableSource::Known, m.knownOffset, request);
        if (m.entries > 0 || m.problem != OpenProblem::None) return;
    }
    const Result<uint32_t> hit = FindTableIn(image, ScanStartOfs);
    std::optional<uint32_t> start = hit.Ok() ? CryTableHolding(tables, hit.value) : std::nullopt;
    if (hit.Ok() && !start) start = hit.value;
    // A table of uncompressed entries alone carries no entry the scan knows.
    for (const TableFound& t : tables)
        if (!start && t.kind == TableKind::Cry && t.offset >= ScanStartOfs) start = t.offset;
    m.source = TableSource::None;
    m.entries = 0;
    if (start) SetTable(m, image, known ? TableSource::Moved : TableSource::Scan, *start, request);
}

// A stated size holds for the reverse table too: its run of entries may be
// cut where the cry table's is (an entry pointing past a cut image), and the
// entries past the cut are in step or not, one by one.
int ReverseEntries(const ImageModel& m, ImageBytes image, const TableRequest& request, int measured) {
    if (!request.entries) return std::min(m.entries, measured);
    const uint64_t room = (image.size() - std::min<uint64_t>(*m.reverse, image.size())) / CryEntrySize;
    return static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(m.entries), room));
}

void ChooseReverse(ImageModel& m, ImageBytes image, const std::vector<TableFound>& tables, const TableRequest& request) {
    const uint32_t after = m.TableBytes().end;
    if (MeasureTable(image, after, TableKind::Reverse) > 0) {
        m.reverse = after;
        m.reverseEntries = ReverseEntries(m, image, request, MeasureTable(image, after, TableKind::Reverse));
    } else {
        // One the code points at, in step with the cry table over most of
        // its first entries; else one found by its pointers alone.
        constexpr int Compared = 16;
        const TableFound* best = nullptr;
        int bestSame = 0;
        for (const TableFound& t : tables) {
            if (t.kind != TableKind::Reverse || t.pointerWords.empty()) continue;
            const int compared = std::min({Compared, t.entries, m.entries});
            const int same = SharedPointers(image, m.table, t.offset, compared);
            if (same * 4 >= compared * 3 && same > bestSame) best = &t, bestSame = same;
        }
        m.reverse = best ? std::optional(best->offset) : FindReverseTable(image, m.table, m.entries);
        if (m.reverse) {
            const TableFound* t = FoundAt(tables, TableKind::Reverse, *m.reverse);
            m.reverseEntries = ReverseEntries(m, image, request, t ? t->entries : PointingEntries(image, *m.reverse, m.entries));
        }
    }
    if (const TableFound* t = m.reverse ? FoundAt(tables, TableKind::Reverse, *m.reverse) : nullptr)
        m.reversePointers = t->pointerWords;
}

}  // namespace

ImageModel OpenImage(ImageBytes image, const TableRequest& request) {
    ImageModel m;
    if (image.size() > MaxImageSize) {
        m.problem = OpenProblem::TooLarge;
        return m;
    }
    m.size = static_cast<uint32_t>(image.size());
    m.identity = IdentifyImage(image);
    const std::vector<TableFound> tables = FindTables(image);
    ChooseTable(m, image, tables, request);
    if (m.problem != OpenProblem::None || m.entries == 0) {
        if (m.problem == OpenProblem::None) m.source = TableSource::None;
        m.competing.clear();
        return m;
    }
    if (const TableFound* t = FoundAt(tables, TableKind::Cry, m.table)) m.tablePointers = t->pointerWords;
    ChooseReverse(m, image, tables, request);
    return m;
}

TableShortfall CheckTableLength(ImageBytes image, const ImageModel& m) {
    TableShortfall s;
    if (!m.HasTable() || m.entries >= GameTableEntries) return s;
    const Entry e = ReadEntry(image, m.table, m.entries);
    s.index = m.entries;
    s.at = m.table + CryEntrySize * static_cast<uint32_t>(m.entries);
    if (!e.inFile) {
        s.stop = TableStop::ImageEnd;
        return s;
    }
    if (!VoiceKind(e.firstWord, TableKind::Cry)) {
        s.stop = TableStop::VoiceWord;
        s.word = e.firstWord;
    } else if (!e.pointsIntoRom) {
        s.stop = TableStop::Pointer;
        s.word = e.pointer;
    } else {
        s.stop = TableStop::LastWord;
        s.word = e.lastWord;
    }
    s.resumes = MeasureTable(image, s.at + CryEntrySize);
    return s;
}

const char* TableStopName(TableStop stop) {
    switch (stop) {
        case TableStop::None: return "None";
        case TableStop::ImageEnd: return "ImageEnd";
        case TableStop::VoiceWord: return "VoiceWord";
        case TableStop::Pointer: return "Pointer";
        case TableStop::LastWord: return "LastWord";
    }
    return "Unknown";
}

std::optional<ImageCut> CheckImageSize(ImageBytes image, const ImageModel& m) {
    ImageCut cut;
    cut.size = static_cast<uint32_t>(std::min<uint64_t>(image.size(), UINT32_MAX));
    if (m.identity.kind == RomKnown && image.size() < GameImageSize) cut.gameSize = GameImageSize;
    const int entries = m.source == TableSource::None ? 0 : std::max(m.entries, GameTableEntries);
    for (int i = 0; i < entries; ++i) {
        const Entry e = ReadEntry(image, m.table, i);
        if (!e.inFile || !VoiceKind(e.firstWord, TableKind::Cry) || e.lastWord != EntryLastWord) break;
        const bool romAddress = (e.pointer & ~RomAddressMask) == RomAddressBase;
        if (romAddress && e.offset >= image.size() && e.offset > cut.pointedPast) {
            cut.pointedPast = e.offset;
            cut.entry = i;
        }
    }
    if (cut.gameSize == 0 && cut.entry < 0) return std::nullopt;
    return cut;
}
