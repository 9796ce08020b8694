// The command line's parts called directly: argument parsing and text, and
// the safe replacement of a file.
#include <sys/stat.h>

#include "romfile.h"
#include "support.h"
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
    EXPECT_EQ(ParseDecimal("25", "ID"), 25);
    for (const char* bad : {"", "1A", "+3", "-1", "99999999999"})
        EXPECT_EQ(StatusOf([&] { ParseDecimal(bad, "ID"); }), ExitUsage) << bad;
    EXPECT_EQ(Hex(0x452590), "0x452590");
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
