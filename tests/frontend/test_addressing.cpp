// Cry-table addressing through the stand-in: ReturnOfs, the repoint and
// sizes commands, and BaseOfs, on synthetic ROMs in a temporary folder, for
// what does not depend on the ID rule (IDs below 252 address the same entry
// in both). Every refusal must leave the ROM byte-identical.
#include "addressing.h"

namespace {

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
