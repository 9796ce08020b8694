// Cry-table addressing through the stand-in: the two ID rules, ReturnOfs, the
// repoint and sizes commands, and BaseOfs, on synthetic ROMs in a temporary
// folder. Every refusal must leave the ROM byte-identical.
#include <gtest/gtest.h>

#include <sstream>

#include "crylib.h"
#include "frontend.h"
#include "resource.h"
#include "romid.h"
#include "support.h"
#include "testdata.h"

namespace {

// The ID rules restated from their description. Species 277 to 411 map
// through this list, fifteen species to a line.
const char SpeciesIndexes[] =
    "273 274 275 270 271 272 276 277 278 359 360 378 375 290 291 "
    "292 293 294 283 284 285 286 287 288 301 302 303 266 267 374 "
    "373 269 280 279 310 311 377 381 312 313 251 329 330 306 253 "
    "362 318 319 368 320 321 333 334 289 260 324 325 326 304 305 "
    "254 255 316 317 338 339 340 327 328 383 307 331 332 262 322 "
    "323 308 309 363 336 337 263 264 258 256 361 252 298 299 300 "
    "314 315 376 382 380 379 341 342 343 335 282 281 259 261 367 "
    "364 365 366 356 357 358 344 345 346 347 295 296 297 351 352 "
    "372 348 349 350 353 354 355 370 369 371 257 384 385 386 387";

int ExpectedCryIndex(int id) { return id >= 412 ? 200 : id - 1; }

int ExpectedSpeciesIndex(int id) {
    if (id >= 412 || (id >= 252 && id <= 276)) return 200;
    if (id < 277) return id - 1;
    std::istringstream list(SpeciesIndexes);
    int index = -1;
    for (int species = 277; species <= id; ++species) list >> index;
    return index;
}

int ExpectedIndex(int id) { return BREVOX_TEST_SPECIES ? ExpectedSpeciesIndex(id) : ExpectedCryIndex(id); }

TEST(IdRules, BothRulesFromMinusFiveTo999) {
    for (int id = -5; id <= 999; ++id) {
        EXPECT_EQ(CryNumberIndex(id), ExpectedCryIndex(id)) << id;
        EXPECT_EQ(SpeciesNumberIndex(id), ExpectedSpeciesIndex(id)) << id;
        EXPECT_EQ(RecalcID(id), ExpectedIndex(id)) << id;
    }
    EXPECT_EQ(CryNumberIndex(INT_MIN), INT_MIN);  // negative, and no overflow
}

constexpr uint32_t TableAt = 0x1000;
constexpr int Entries = 412;
constexpr uint32_t SampleAt = 0x3000;  // entry 5's sample
constexpr uint32_t RomSize = 0x4000;

// The ROM address that entry i holds: its own index, shifted, so that a read
// shows which entry was addressed. Entry 5 points at a real sample header.
uint32_t AddressOfEntry(int i) { return i == 5 ? RomAddressBase | SampleAt : RomAddressBase | uint32_t(i) << 8; }

void PutWord(Bytes& b, size_t at, uint32_t w) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(w >> (8 * i));
}

Bytes MakeTestRom() {
    Bytes rom(RomSize, 0xFF);
    for (int i = 0; i < Entries; ++i) {
        PutWord(rom, TableAt + CryEntrySize * i, 0x00003C20);
        PutWord(rom, TableAt + CryEntrySize * i + 4, AddressOfEntry(i));
        PutWord(rom, TableAt + CryEntrySize * i + 8, 0x00FF00FF);
    }
    rom[SampleAt + SampleLengthOfs] = 0x34;  // stored length 0x1234
    rom[SampleAt + SampleLengthOfs + 1] = 0x12;
    return rom;
}

class Addressing : public FolderTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(FolderTest::SetUp());
        rom = MakeTestRom();
        ASSERT_TRUE(WriteFileBytes(romPath, rom));
        ASSERT_TRUE(WriteFileBytes(wavPath, MakeWav(Bytes(0x2C, 0x80))));
        Fields("1000", "1", "0");
    }

    // A fresh dialog: both paths, the three numbers, and "Table" as given.
    void Fields(const char* table, const char* id, const char* sample, bool useTable = true) {
        standin::Reset();
        standin::SetText(IDC_ROM_PATH, romPath);
        standin::SetText(IDC_WAV_PATH, wavPath);
        standin::SetText(IDC_TABLE_OFFSET, table);
        standin::SetText(IDC_ID, id);
        standin::SetText(IDC_SAMPLE_OFFSET, sample);
        standin::SetCheck(IDC_USE_TABLE, useTable);
    }

    // ReturnOfs's result, or -1 when it refused.
    long long Resolve() {
        uint32_t offset = 0xDEADBEEF;
        return ReturnOfs(standin::Dialog(), &offset) ? (long long)offset : -1;
    }
    void Repoint() { RepointCommand(standin::Dialog()); }
    void Sizes() { SizesCommand(standin::Dialog()); }

    // The ROM is as it was made, but for `changes` (position, word).
    void ExpectRom(std::initializer_list<std::pair<uint32_t, uint32_t>> changes = {}) {
        Bytes expected = rom;
        for (auto [at, word] : changes) PutWord(expected, at, word);
        EXPECT_EQ(ReadFileBytes(romPath), expected);
    }

    Bytes rom;
};

const std::string BadId = "box Erreur!: ID invalide!";
const std::string BadOffset = "box Erreur!: Offset invalide!";

TEST_F(Addressing, ReturnOfsReadsTheEntryOfTheId) {
    for (int id = 1; id <= 999; ++id) {
        standin::SetText(IDC_ID, std::to_string(id));
        const uint32_t expected = AddressOfEntry(ExpectedIndex(id)) & RomAddressMask;
        ASSERT_EQ(Resolve(), expected) << id;
        EXPECT_EQ(standin::Text(IDC_SAMPLE_OFFSET), Hex(expected));
    }
    EXPECT_TRUE(standin::Boxes().empty());
    ExpectRom();
}

TEST_F(Addressing, ReturnOfsKeepsTheLow26Bits) {
    PutWord(rom, TableAt + 4, RomAddressBase | 0x452590);
    PutWord(rom, TableAt + 16, 0x09452590);
    ASSERT_TRUE(WriteFileBytes(romPath, rom));
    EXPECT_EQ(Resolve(), 0x452590);
    EXPECT_EQ(standin::Text(IDC_SAMPLE_OFFSET), "452590");
    standin::SetText(IDC_ID, "2");
    EXPECT_EQ(Resolve(), 0x1452590);
    EXPECT_EQ(Log(), (std::vector<std::string>{"text 1015 452590", "text 1015 1452590"}));
}

TEST_F(Addressing, ReturnOfsWithoutTableTakesTheFieldAsTyped) {
    standin::SetCheck(IDC_USE_TABLE, false);
    fs::remove(romPath);
    standin::SetText(IDC_SAMPLE_OFFSET, "FFFFFFFF");
    EXPECT_EQ(Resolve(), 0xFFFFFFFF);
    standin::SetText(IDC_SAMPLE_OFFSET, "  12G");
    EXPECT_EQ(Resolve(), 0x12);
    // 19 characters are read: the 20th and later do not count.
    standin::SetText(IDC_SAMPLE_OFFSET, "0000000000000000001234");
    EXPECT_EQ(Resolve(), 0x1);
    EXPECT_TRUE(Log().empty());
}

TEST_F(Addressing, ReturnOfsParsesTheIdAsAScanDoes) {
    standin::SetText(IDC_ID, " 6A");
    EXPECT_EQ(Resolve(), AddressOfEntry(5) & RomAddressMask);
    standin::SetText(IDC_TABLE_OFFSET, "100Z");  // 0x100: entry 0 lies at 0x100
    standin::SetText(IDC_ID, "1");
    PutWord(rom, 0x104, RomAddressBase | 0xABC);
    ASSERT_TRUE(WriteFileBytes(romPath, rom));
    EXPECT_EQ(Resolve(), 0xABC);
    EXPECT_TRUE(standin::Boxes().empty());
}

TEST_F(Addressing, ReturnOfsRefusals) {
    const struct {
        const char* table;
        const char* id;
        std::string box;
    } cases[] = {
        {"1000", "0", BadId},          {"1000", "-5", BadId},
        {"1000", "", BadId},           {"1000", "x1", BadId},
        {"1000", "99999999999", BadId}, {"", "1", BadOffset},
        {"-1000", "1", BadOffset},     {"G", "1", BadOffset},
        {"3FFC", "1", Invalid},        {"3FFA", "1", Invalid},  // pointer wholly, partly past the end
        {"FFFFFFFF", "412", Invalid},  // no wrap round to the front of the file
    };
    for (const auto& c : cases) {
        Fields(c.table, c.id, "77");
        EXPECT_EQ(Resolve(), -1) << c.table << " " << c.id;
        EXPECT_EQ(Log(), std::vector<std::string>{c.box}) << c.table << " " << c.id;
        EXPECT_EQ(standin::Text(IDC_SAMPLE_OFFSET), "77");
        ASSERT_EQ(standin::Boxes().size(), 1u);
        EXPECT_EQ(standin::Boxes()[0].flags, UINT(MB_ICONWARNING));
        EXPECT_EQ(standin::Boxes()[0].owner, standin::Dialog());
    }
    Fields("1000", "1", "77");
    standin::SetText(IDC_ROM_PATH, (dir / "missing.gba").string());
    EXPECT_EQ(Resolve(), -1);
    EXPECT_EQ(standin::Boxes().back().text, "Fichier invalide!");
    ExpectRom();
}

TEST_F(Addressing, RepointWritesExactlyThePointerWord) {
    standin::SetText(IDC_SAMPLE_OFFSET, "ABCDEF");
    standin::SetText(IDC_ID, "25");
    Repoint();
    const uint32_t at = TableAt + CryEntrySize * 24 + 4;
    ExpectRom({{at, 0x08ABCDEF}});
    EXPECT_EQ(ReadFileBytes(romPath)[at], 0xEF);
    // Bit 27 already set: the same bytes. The "Table" box plays no part.
    standin::SetCheck(IDC_USE_TABLE, false);
    standin::SetText(IDC_SAMPLE_OFFSET, "8ABCDEF");
    standin::SetText(IDC_ID, "30");
    Repoint();
    ExpectRom({{at, 0x08ABCDEF}, {TableAt + CryEntrySize * 29 + 4, 0x08ABCDEF}});
    EXPECT_TRUE(Log().empty());
}

TEST_F(Addressing, RepointAddressesTheEntryOfTheRule) {
    for (int id : {1, 251, 252, 276, 277, 300, 411, 412, 999}) {
        rom = MakeTestRom();
        ASSERT_TRUE(WriteFileBytes(romPath, rom));
        standin::SetText(IDC_ID, std::to_string(id));
        standin::SetText(IDC_SAMPLE_OFFSET, "123");
        Repoint();
        ExpectRom({{TableAt + CryEntrySize * ExpectedIndex(id) + 4, 0x08000123}});
    }
}

TEST_F(Addressing, RepointReadsEightCharacters) {
    standin::SetText(IDC_SAMPLE_OFFSET, "123456789");  // reads 12345678
    standin::SetText(IDC_ID, "2 ");
    standin::SetText(IDC_TABLE_OFFSET, "00001000FF");  // reads 00001000
    Repoint();
    ExpectRom({{TableAt + CryEntrySize + 4, 0x1A345678}});
}

TEST_F(Addressing, RepointWritesTheLastWordOfTheFile) {
    standin::SetText(IDC_TABLE_OFFSET, "3FEC");
    standin::SetText(IDC_ID, "2");  // entry 1's pointer at 0x3FEC + 12 + 4 = 0x4000 - 4
    standin::SetText(IDC_SAMPLE_OFFSET, "10");
    Repoint();
    ExpectRom({{RomSize - 4, 0x08000010}});
}

TEST_F(Addressing, RepointRefusalsLeaveTheRomAlone) {
    const std::string outside = "box Erreur!: Entr\xE9" "e hors de la Rom!";
    const struct {
        const char* sample;
        const char* id;
        const char* table;
        std::string box;
    } cases[] = {
        {"10", "0", "1000", BadId},         {"10", "-1", "1000", BadId},
        {"10", "", "1000", BadId},          {"", "1", "1000", BadOffset},
        {"-10", "1", "1000", BadOffset},    {"10", "1", "zz", BadOffset},
        {"10", "1", "3FFC", outside},       {"10", "1", "3FFA", outside},  // would lengthen the ROM
        {"10", "1", "0", outside},          {"10", "1", "B0", outside},    // inside the header
        {"10", "412", "FFFFFFF0", outside},  // wraps to 0x964 in 32 bits
    };
    for (const auto& c : cases) {
        Fields(c.table, c.id, c.sample);
        Repoint();
        EXPECT_EQ(Log(), std::vector<std::string>{c.box}) << c.sample << " " << c.id << " " << c.table;
        ExpectRom();
    }
    Fields("1000", "1", "10");
    standin::SetText(IDC_ROM_PATH, (dir / "missing.gba").string());
    Repoint();
    EXPECT_EQ(Log(), std::vector<std::string>{"box Erreur!: Impossible d'ouvrir la Rom!"});
    EXPECT_FALSE(fs::exists(dir / "missing.gba"));
}

TEST_F(Addressing, SizesShowsWavThenOffsetThenStoredLength) {
    standin::SetText(IDC_ID, "6");  // entry 5: the sample at 0x3000
    Sizes();
    EXPECT_EQ(Log(), (std::vector<std::string>{"text 1018 2C", "text 1015 3000", "text 1017 1234"}));
    // Without "Table", field 1015 is used as it stands.
    Fields("1000", "6", "3000", false);
    Sizes();
    EXPECT_EQ(Log(), (std::vector<std::string>{"text 1018 2C", "text 1017 1234"}));
    ExpectRom();
}

TEST_F(Addressing, SizesStopsAtAWavItCannotRead) {
    // Too short to hold the data size at bytes 40-43.
    for (size_t size : {0, 20, 43}) {
        Fields("1000", "6", "3000");
        ASSERT_TRUE(WriteFileBytes(wavPath, Bytes(size, 0x52)));
        Sizes();
        EXPECT_EQ(Log(), std::vector<std::string>{Invalid}) << size;
    }
    fs::remove(wavPath);
    Fields("1000", "6", "3000");
    Sizes();
    EXPECT_EQ(Log(), std::vector<std::string>{Invalid});
}

TEST_F(Addressing, SizesWithAMissingRomWarnsTwice) {
    standin::SetText(IDC_ROM_PATH, (dir / "missing.gba").string());
    standin::SetText(IDC_ROM_SIZE, "0 octets");
    Sizes();
    EXPECT_EQ(Log(), (std::vector<std::string>{"text 1018 2C", Invalid, Invalid}));
    EXPECT_EQ(standin::Text(IDC_ROM_SIZE), "0 octets");
}

TEST_F(Addressing, SizesRefusesWhatItCannotMeasure) {
    // An invalid ID: nothing is read from the ROM.
    standin::SetText(IDC_ID, "0");
    Sizes();
    EXPECT_EQ(Log(), (std::vector<std::string>{"text 1018 2C", BadId}));
    // A stored length past the end of the ROM.
    Fields("1000", "6", "3FF3", false);  // length at 0x3FFF..0x4000: one byte short
    Sizes();
    EXPECT_EQ(Log(), (std::vector<std::string>{"text 1018 2C", Invalid}));
    ExpectRom();
}

TEST_F(Addressing, BaseOfsShowsLabelThenTableOffset) {
    Bytes header(0x400, 0x00);
    const char code[] = "AXVE";
    std::copy(code, code + 4, header.begin() + GameCodeOfs);
    header[RevisionOfs] = 2;
    const auto show = [&](const Bytes& bytes) {
        ASSERT_TRUE(WriteFileBytes(romPath, bytes));
        FILE* f = std::fopen(romPath.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        BaseOfs(standin::Dialog(), f);
        std::fclose(f);
    };
    show(header);
    EXPECT_EQ(Log(), (std::vector<std::string>{"text 1011 Rubis US v1.1", "text 1005 4525A4"}));

    standin::Reset();
    header[GameCodeOfs] = 'Q';
    PutWord(header, 0x300, 0x00003C20);
    PutWord(header, 0x304, 0x08452590);
    PutWord(header, 0x308, 0x00FF00FF);
    show(header);
    EXPECT_EQ(Log(), (std::vector<std::string>{std::string("text 1011 ") + UnknownTableFoundLabel,
                                               "text 1005 300"}));

    standin::Reset();
    standin::SetText(IDC_TABLE_OFFSET, "ABC");
    header[0x300] = 0;
    show(header);
    EXPECT_EQ(Log(), std::vector<std::string>{"text 1011 Version inconnue"});
    EXPECT_EQ(standin::Text(IDC_TABLE_OFFSET), "ABC");
}

}  // namespace
