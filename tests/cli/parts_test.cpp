// The command line's parts called directly: argument parsing and text,
// the image inspection (samples, the second table, free space) and the
// safe replacement of a file.
#include <sys/stat.h>

#include "romfile.h"
#include "support.h"
#include "tables.h"
#include "text.h"

namespace {

int StatusOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const CliFailure& e) {
        return e.status;
    }
    return 0;
}

TEST(CliText, ParsesWholeNumbersOnly) {
    EXPECT_EQ(ParseHex("1A2b", "x"), 0x1A2Bu);
    EXPECT_EQ(ParseHex("0x08452590", "x"), 0x08452590u);
    EXPECT_EQ(ParseHex("FFFFFFFF", "x"), 0xFFFFFFFFu);
    for (const char* bad : {"", "0x", "12G", "-1", " 12", "100000000"})
        EXPECT_EQ(StatusOf([&] { ParseHex(bad, "x"); }), ExitUsage) << bad;
    EXPECT_EQ(ParseId("25"), 25);
    for (const char* bad : {"", "1A", "+3", "-1", "99999999999"})
        EXPECT_EQ(StatusOf([&] { ParseId(bad); }), ExitUsage) << bad;
    EXPECT_EQ(Hex(0x452590), "0x452590");
}

TEST(CliText, LabelsBecomeUtf8) {
    EXPECT_EQ(Cp1252ToUtf8("Inconnu. Table trouv\xE9" "e \xE0 95%"), "Inconnu. Table trouvée à 95%");
    EXPECT_EQ(Cp1252ToUtf8("\x80\x9F\xFF"), "€Ÿÿ");
    EXPECT_EQ(Cp1252ToUtf8("\x81"), "\xEF\xBF\xBD");  // undefined in the code page
}

TEST(CliTables, InspectsCompressedAndUncompressedSamples) {
    RomPlan plan = ToneRomPlan(2);
    Bytes rom = MakeRom(plan);
    SampleInfo s = InspectSample(rom, CrySampleOffset(rom, plan, 1));
    EXPECT_TRUE(s.Sound());
    EXPECT_TRUE(s.Compressed());
    EXPECT_EQ(s.length, plan.cries[1].size());
    EXPECT_EQ(s.span, SampleExtent(static_cast<uint32_t>(plan.cries[1].size())));
    EXPECT_DOUBLE_EQ(s.Rate(), 10512.0);
    Bytes decoded = DecodeToUnsigned(rom, s);
    Bytes expected(s.length);
    DecodeSample(rom, s.offset, expected);
    EXPECT_EQ(decoded, expected);

    Bytes plain = Noise(100, 3);
    uint32_t span = PutUncompressedSample(rom, 0x10000, plain);
    SampleInfo u = InspectSample(rom, 0x10000);
    EXPECT_TRUE(u.Sound());
    EXPECT_FALSE(u.Compressed());
    EXPECT_EQ(u.span, span);
    EXPECT_EQ(DecodeToUnsigned(rom, u), plain);

    // A header the encoder would not write, and a sample cut by the end.
    rom[0x10000 + 8] = 1;
    EXPECT_FALSE(InspectSample(rom, 0x10000).headerAsEncoder);
    EXPECT_FALSE(InspectSample(rom, static_cast<uint32_t>(rom.size()) - 8).headerInFile);
    Bytes cut(rom.begin(), rom.begin() + s.offset + s.span - 1);
    EXPECT_FALSE(InspectSample(cut, s.offset).spanInFile);
}

TEST(CliTables, FindsTheSecondTableByItsPointers) {
    RomPlan plan = ToneRomPlan(20);
    Bytes rom = MakeRom(plan);
    EXPECT_FALSE(FindReverseTable(rom, plan.tableOffset));
    AddSecondTable(rom, plan, 0x18000);
    EXPECT_EQ(FindReverseTable(rom, plan.tableOffset), 0x18000u);
    // Four of the sixteen compared entries out of step (edited with a tool
    // that kept only the cry table): still the same table. Five: not.
    for (int i : {0, 3, 9, 15}) PutLe32(&rom[0x18000 + 12 * i + 4], RomAddressBase | 0x100);
    EXPECT_EQ(FindReverseTable(rom, plan.tableOffset), 0x18000u);
    PutLe32(&rom[0x18000 + 12 * 7 + 4], RomAddressBase | 0x100);
    EXPECT_FALSE(FindReverseTable(rom, plan.tableOffset));
}

TEST(CliTables, FreeSpaceIsAnAlignedRunOfFF) {
    Bytes rom(0x100, 0);
    std::fill(rom.begin() + 0x21, rom.begin() + 0x40, 0xFF);  // 31 bytes, from an odd offset
    std::fill(rom.begin() + 0x80, rom.begin() + 0xA0, 0xFF);  // 32 bytes
    EXPECT_EQ(FindFreeSpace(rom, 28, 0, 0x100), 0x24u);
    EXPECT_EQ(FindFreeSpace(rom, 29, 0, 0x100), 0x80u);
    EXPECT_EQ(FindFreeSpace(rom, 32, 0, 0x100), 0x80u);
    EXPECT_FALSE(FindFreeSpace(rom, 33, 0, 0x100));
    EXPECT_FALSE(FindFreeSpace(rom, 32, 0, 0x9F));  // the end bounds the run
    EXPECT_EQ(FindFreeSpace(rom, 16, 0x82, 0x100), 0x84u);
    EXPECT_FALSE(FindFreeSpace(rom, 4, 0x100, 0x200));
}

// Both 32 MiB halves of the ROM's address space; a file offset stays as typed.
TEST(CliTables, RomAddressesBecomeFileOffsets) {
    EXPECT_EQ(ToFileOffset(0x08452590), 0x452590u);
    EXPECT_EQ(ToFileOffset(0x09000010), 0x1000010u);
    EXPECT_EQ(ToFileOffset(0x452590), 0x452590u);
}

class CliReplaceFile : public CliTest {};

TEST_F(CliReplaceFile, ReplacesAndKeepsPermissions) {
    std::string path = Path("rom.gba");
    Bytes old = Noise(1000, 1);
    ASSERT_TRUE(WriteFileBytes(path, old));
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    Bytes next = Noise(1200, 2);
    ReplaceFileBytes(path, next);
    EXPECT_EQ(ReadFileBytes(path), next);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(Strays({"rom.gba"}).empty());

    // Through a link the file is replaced and the link stays a link.
    fs::create_symlink("rom.gba", dir / "link.gba");
    ReplaceFileBytes(Path("link.gba"), old);
    EXPECT_TRUE(fs::is_symlink(dir / "link.gba"));
    EXPECT_EQ(ReadFileBytes(path), old);
}

TEST_F(CliReplaceFile, AFailureAfterTheTemporaryFileLeavesTheOldFile) {
    std::string path = Path("rom.gba");
    Bytes old = Noise(5000, 1);
    ASSERT_TRUE(WriteFileBytes(path, old));
    bool asked = false;
    int status = StatusOf([&] {
        ReplaceOptions options;
        options.injectFailure = [&] {
            asked = true;
            EXPECT_EQ(Strays({"rom.gba"}).size(), 1u);  // the temporary file exists now
            return true;
        };
        ReplaceFileBytes(path, Noise(5000, 2), options);
    });
    EXPECT_TRUE(asked);
    EXPECT_EQ(status, ExitFailure);
    EXPECT_EQ(ReadFileBytes(path), old);
    EXPECT_TRUE(Strays({"rom.gba"}).empty());

    // A writer that fails half-way: the same.
    status = StatusOf([&] { ReplaceFileContents(path, [](FILE* f) { return std::fputs("half", f) >= 0 && false; }); });
    EXPECT_EQ(status, ExitFailure);
    EXPECT_EQ(ReadFileBytes(path), old);
    EXPECT_TRUE(Strays({"rom.gba"}).empty());
}

TEST_F(CliReplaceFile, ARenameRefusedLeavesNoTemporaryFile) {
    // A directory in the way of the rename: the contents were written and
    // synced, the last step fails.
    fs::create_directory(dir / "rom.gba");
    int status = StatusOf([&] { ReplaceFileBytes(Path("rom.gba"), Noise(100, 2)); });
    EXPECT_EQ(status, ExitFailure);
    EXPECT_TRUE(fs::is_directory(dir / "rom.gba"));
    EXPECT_TRUE(Strays({"rom.gba"}).empty());
    // A directory that does not exist: no temporary file can be made.
    EXPECT_EQ(StatusOf([&] { ReplaceFileBytes(Path("missing/rom.gba"), Noise(100, 2)); }), ExitFailure);
}

}  // namespace
