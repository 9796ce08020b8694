// The cry table and the reverse table: where they lie and how far they reach.
#include <algorithm>
#include <cstdio>

#include "image.h"

namespace {

bool CarriesWords(const Entry& e, uint32_t firstWord) {
    return e.inFile && e.firstWord == firstWord && e.lastWord == EntryLastWord && e.pointsIntoRom;
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

int MeasureTable(ImageBytes image, uint32_t tableOffset, uint32_t firstWord, int limit) {
    int n = 0;
    while (n < limit && CarriesWords(ReadEntry(image, tableOffset, n), firstWord)) ++n;
    return n;
}

const char* SourceName(TableSource source) {
    switch (source) {
        case TableSource::Given: return "given";
        case TableSource::Known: return "known release";
        case TableSource::Moved: return "table scan (moved from the release's offset)";
        case TableSource::Scan: return "table scan";
        case TableSource::None: return "none";
    }
    return "none";
}

std::optional<uint32_t> FindReverseTable(ImageBytes image, uint32_t tableOffset, int entries) {
    const uint32_t after = tableOffset + CryEntrySize * static_cast<uint32_t>(entries);
    if (ReadEntry(image, after, 0).firstWord == ReverseEntryFirstWord && MeasureTable(image, after, ReverseEntryFirstWord, 1) == 1)
        return after;
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

}  // namespace

ImageModel OpenImage(ImageBytes image, const TableRequest& request) {
    ImageModel m;
    if (image.size() > MaxImageSize) {
        m.problem = OpenProblem::TooLarge;
        return m;
    }
    m.size = static_cast<uint32_t>(image.size());
    m.identity = IdentifyImage(image);
    if (request.offset) {
        const uint32_t t = *request.offset;
        m.table = t;  // named by the problems below
        if (t % 4 != 0) m.problem = OpenProblem::TableUnaligned;
        else if (uint64_t{t} + CryEntrySize > image.size()) m.problem = OpenProblem::TablePastEnd;
        if (m.problem != OpenProblem::None) return m;
        SetTable(m, image, TableSource::Given, t, request);
        if (m.problem == OpenProblem::None && m.entries == 0) m.problem = OpenProblem::TableNoEntries;
    } else if (m.identity.kind == RomKnown) {
        m.knownOffset = m.identity.tableOffset;
        SetTable(m, image, TableSource::Known, m.knownOffset, request);
        if (m.entries == 0 && m.problem == OpenProblem::None) {
            // The release's table has moved (a modified image): look for it.
            const int found = FindTableIn(image, ScanStartOfs);
            m.source = TableSource::None;
            if (found >= 0) SetTable(m, image, TableSource::Moved, static_cast<uint32_t>(found), request);
        }
    } else if (m.identity.kind == RomScanned) {
        SetTable(m, image, TableSource::Scan, m.identity.tableOffset, request);
    }
    if (m.problem != OpenProblem::None || m.entries == 0) {
        if (m.problem == OpenProblem::None) m.source = TableSource::None;
        return m;
    }
    m.reverse = FindReverseTable(image, m.table, m.entries);
    if (m.reverse) {
        const bool adjacent = *m.reverse == m.TableBytes().end;
        m.reverseEntries = adjacent ? std::min(m.entries, MeasureTable(image, *m.reverse, ReverseEntryFirstWord))
                                    : std::min(m.entries, PointingEntries(image, *m.reverse, m.entries));
    }
    return m;
}

std::string DescribeOpenProblem(const ImageModel& m) {
    char at[16];
    std::snprintf(at, sizeof at, "0x%X", static_cast<unsigned>(m.table));
    switch (m.problem) {
        case OpenProblem::None: return {};
        case OpenProblem::TooLarge: return "the image is larger than 64 MiB: not a GBA ROM image";
        case OpenProblem::TableUnaligned: return std::string("the table offset ") + at + " is not word-aligned";
        case OpenProblem::TablePastEnd:
            return std::string("the table offset ") + at + " lies beyond the end of the image";
        case OpenProblem::TableNoEntries:
            return std::string("no cry-table entry (20 3C 00 00 | pointer | FF 00 FF 00) at ") + at +
                   "; give --entries N for a table whose entries carry other words";
        case OpenProblem::EntriesTooMany:
            return std::string("a table of that many entries at ") + at + " runs past the end of the image";
    }
    return {};
}
