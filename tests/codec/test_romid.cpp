// ROM identification from synthetic headers: every known release, the
// revision rule of the two US releases, and the scan for unknown codes; and
// the two rules that turn an ID into a cry-table index.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <sstream>

#include "romid.h"
#include "testdata.h"

namespace {

// The releases as a user sees them: code, table offset and label, in the
// order they are searched.
const char KnownReleases[] =
    "AXVE 452590 Rubis US v1.0\n"
    "XXXX 4525A4 Rubis US v1.1\n"
    "AXVF 45B668 Rubis FR\n"
    "AXVD 46052C Rubis D\n"
    "AXVI 454914 Rubis IT\n"
    "AXVS 457A28 Rubis ES\n"
    "AXVJ 414840 Rubis JAP\n"
    "AXPE 4525EC Saphir US v1.0\n"
    "XXXX 452604 Saphir US v1.1\n"
    "AXPF 45B668 Saphir FR\n"
    "AXPD 460498 Saphir D\n"
    "AXPI 4545B8 Saphir IT\n"
    "AXPS 457764 Saphir ES\n"
    "AXPJ 414828 Saphir JAP\n"
    "BPEE 69DCF4 Emeraude US\n"
    "BPEF 6A1C10 Emeraude FR\n"
    "BPED 6AEEE0 Emeraude D\n"
    "BPEI 69A308 Emeraude IT\n"
    "BPES 6A02A8 Emeraude ES\n"
    "BPEJ 625814 Emeraude JAP\n"
    "BPRE 48C914 Rouge Feu US\n"
    "BPRF 4829DC Rouge Feu FR\n"
    "BPRD 48AF38 Rouge Feu D\n"
    "BPRI 480368 Rouge Feu IT\n"
    "BPRS 483210 Rouge Feu ES\n"
    "BPRJ 451554 Rouge Feu JAP\n"
    "BPGE 48C1F0 Vert Feuille US\n"
    "BPGF 481704 Vert Feuille FR\n"
    "BPGD 48A0A4 Vert Feuille D\n"
    "BPGI 47FB00 Vert Feuille IT\n"
    "BPGS 482908 Vert Feuille ES\n"
    "BPGJ 451398 Vert Feuille JAP\n";

struct Release {
    std::string code;
    uint32_t tableOffset;
    std::string label;
};

std::vector<Release> Releases() {
    std::vector<Release> all;
    std::istringstream lines(KnownReleases);
    std::string code, label;
    uint32_t offset;
    while (lines >> code >> std::hex >> offset && std::getline(lines >> std::ws, label))
        all.push_back({code, offset, label});
    return all;
}

// A header of `size` bytes with the game code and revision byte in place.
Bytes Header(const std::string& code, int revision = 0, size_t size = 0x200) {
    Bytes rom(size, 0x00);
    for (size_t i = 0; i < code.size() && GameCodeOfs + i < size; ++i) rom[GameCodeOfs + i] = uint8_t(code[i]);
    if (RevisionOfs < size) rom[RevisionOfs] = uint8_t(revision);
    return rom;
}

RomIdentity Identify(const Bytes& rom) { return IdentifyImage(rom); }

void ExpectRelease(const RomIdentity& id, const Release& release) {
    EXPECT_EQ(id.kind, RomKnown);
    EXPECT_EQ(id.tableOffset, release.tableOffset) << release.label;
    EXPECT_STREQ(id.label, release.label.c_str());
}

// With the revision rule below, every row of Versions: code, offset, label
// and place in the search order.
TEST(IdentifyRom, KnowsEveryReleaseByItsCode) {
    const std::vector<Release> releases = Releases();
    ASSERT_EQ(releases.size(), size_t(VersionCount));
    for (int row = 0; row < VersionCount; ++row) {
        if (releases[row].code == "XXXX") continue;  // reached through the revision rule
        const RomIdentity id = Identify(Header(releases[row].code, 1));
        EXPECT_EQ(id.row, row);
        EXPECT_STREQ(id.code, releases[row].code.c_str());
        EXPECT_EQ(id.revision, 1);
        ExpectRelease(id, releases[row]);
    }
}

TEST(IdentifyRom, SecondRevisionOfTheUsReleases) {
    const std::vector<Release> r = Releases();
    for (int revision : {0, 1, 3, 0x82, 0xFF}) {
        ExpectRelease(Identify(Header("AXVE", revision)), r[0]);
        ExpectRelease(Identify(Header("AXPE", revision)), r[7]);
    }
    ExpectRelease(Identify(Header("AXVE", 2)), r[1]);
    ExpectRelease(Identify(Header("AXPE", 2)), r[8]);
    ExpectRelease(Identify(Header("BPRE", 2)), r[20]);
    for (int revision : {0, 2, 7}) ExpectRelease(Identify(Header("XXXX", revision)), r[1]);
    // Too short to hold the revision byte: not 2.
    const RomIdentity cut = Identify(Header("AXVE", 2, RevisionOfs));
    EXPECT_EQ(cut.revision, -1);
    ExpectRelease(cut, r[0]);
}

TEST(IdentifyRom, ScansForTheTableOfAnUnknownCode) {
    Bytes rom = Header("axve");  // codes are compared case included
    const uint8_t entry[] = {0x20, 0x3C, 0x00, 0x00, 0x90, 0x25, 0x45, 0x08, 0xFF, 0x00, 0xFF, 0x00};
    std::memcpy(rom.data() + 0x1F0, entry, sizeof entry);
    std::memcpy(rom.data() + 0x10, entry, sizeof entry);  // before the scan's start
    std::memcpy(rom.data() + 0x102, entry, sizeof entry);  // off the word grid
    const RomIdentity id = Identify(rom);
    EXPECT_EQ(id.kind, RomScanned);
    EXPECT_EQ(id.row, -1);
    EXPECT_EQ(id.tableOffset, 0x1F0u);
    // "Inconnu. Table trouvée à 95%", accents as single Windows-1252 bytes.
    EXPECT_EQ(std::string(id.label), std::string("Inconnu. Table trouv") + char(0xE9) + "e " + char(0xE0) + " 95%");
}

TEST(IdentifyRom, LabelsBecomeUtf8) {
    EXPECT_EQ(Cp1252ToUtf8("Inconnu. Table trouv\xE9" "e \xE0 95%"), "Inconnu. Table trouvée à 95%");
    EXPECT_EQ(Cp1252ToUtf8("\x80\x9F\xFF"), "€Ÿÿ");
    EXPECT_EQ(Cp1252ToUtf8("\x81"), "\xEF\xBF\xBD");  // undefined in the code page
}

TEST(IdentifyRom, UnknownWithoutATable) {
    const RomIdentity id = Identify(Header("ZZZZ"));
    EXPECT_EQ(id.kind, RomUnknown);
    EXPECT_STREQ(id.label, "Version inconnue");
    // Too short for a whole game code: no scan either.
    const RomIdentity cut = Identify(Header("AXVE", 0, GameCodeOfs + 3));
    EXPECT_EQ(cut.kind, RomUnknown);
    EXPECT_STREQ(cut.code, "");
    EXPECT_STREQ(cut.label, "Version inconnue");
    EXPECT_EQ(Identify(Bytes{}).kind, RomUnknown);
    const Result<int> none = FindVersion("AXV\0", 0);  // all four bytes take part
    ASSERT_FALSE(none.Ok());
    EXPECT_EQ(none.error->code, CoreProblem::NotFound);
    EXPECT_TRUE(IdentifyHeader(Header("AXVE", 0, GameCodeOfs + 3)).error.has_value());
    EXPECT_EQ(FindVersion("BPGJ", 2).value, 31);
}

// The cry-number rule restated plainly: IDs 1 to 411 are cry numbers,
// every ID above addresses entry 200.
int ExpectedCryIndex(int id) { return id >= 412 ? 200 : id - 1; }

// The species rule's ranges restated plainly, the later species through the
// core's own IdTable, whose contents the next test checks on its own.
int ExpectedSpeciesIndex(int id) {
    if (id >= 412 || (id >= 252 && id <= 276)) return 200;
    if (id < 277) return id - 1;
    return IdTable[id - 277];
}

TEST(IdRules, BothRulesFromMinusFiveTo999) {
    for (int id = -5; id <= 999; ++id) {
        EXPECT_EQ(CryNumberIndex(id), ExpectedCryIndex(id)) << id;
        EXPECT_EQ(SpeciesNumberIndex(id), ExpectedSpeciesIndex(id)) << id;
    }
    EXPECT_EQ(CryNumberIndex(INT_MIN), INT_MIN);  // negative, and no overflow
}

// The later species' table, from points checked by hand (the first and last
// species, and the first of each line of fifteen) and what holds for all:
// every species of its own reaches an entry of its own inside the games'
// 388, apart from entry 200, which species 252 to 276 share.
TEST(IdRules, LaterSpeciesReachEntriesOfTheirOwn) {
    const std::pair<int, int> points[] = {{277, 273}, {278, 274}, {286, 359}, {292, 292}, {307, 373},
                                          {322, 362}, {337, 254}, {352, 323}, {367, 314}, {382, 364},
                                          {397, 372}, {407, 257}, {411, 387}};
    for (auto [species, index] : points) EXPECT_EQ(SpeciesNumberIndex(species), index) << species;
    std::vector<int> reached(388, 0);
    for (int species = 1; species <= 411; ++species) {
        if (species >= 252 && species <= 276) continue;
        const int index = SpeciesNumberIndex(species);
        ASSERT_GE(index, 0) << species;
        ASSERT_LT(index, 388) << species;
        EXPECT_EQ(++reached[size_t(index)], 1) << "entry " << index << " again at species " << species;
        if (species > 251) {
            EXPECT_GE(index, 251) << species;  // past the species that index their cry directly
        }
    }
    EXPECT_EQ(std::count(reached.begin(), reached.end(), 1), 411 - 25);
}

}  // namespace
