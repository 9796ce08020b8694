// What must never happen to a user's files: every refusal leaves the ROM and
// the audio byte-identical with one line on standard error, a write that
// fails half-way leaves the ROM as it was with no temporary file behind,
// --dry-run writes nothing, --backup keeps every old image, a read-only ROM
// is refused, and a replaced ROM keeps its permissions and owner.
#include <sys/stat.h>
#include <unistd.h>

#include "support.h"

namespace {

class CliSafety : public CliRomTest {
protected:
    Bytes wav = MakeWav(Tone(200, 440), 10512);
    std::string wavPath;

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(CliRomTest::SetUp());
        wavPath = Path("in.wav");
        ASSERT_TRUE(WriteFileBytes(wavPath, wav));
    }

    // The ROM and the WAV as they were, and no other file than `inputs`.
    void ExpectUntouched(const std::string& context, std::vector<std::string> inputs = {}) {
        EXPECT_EQ(ReadFileBytes(romPath), rom) << context;
        EXPECT_EQ(ReadFileBytes(wavPath), wav) << context;
        inputs.insert(inputs.end(), {"rom.gba", "in.wav"});
        EXPECT_EQ(Strays(inputs), std::vector<std::string>{}) << context;
    }
};

struct Refusal {
    std::vector<std::string> args;  // ROM and WAV given as "ROM" and "WAV"
    int status;
    const char* says;  // a word the message must hold
};

TEST_F(CliSafety, EveryRefusalLeavesTheFilesAsTheyWere) {
    ASSERT_TRUE(WriteFileBytes(Path("junk.wav"), Noise(500, 1)));
    ASSERT_TRUE(WriteFileBytes(Path("long.wav"), MakeWav(Noise(70000, 1), 10512)));
    ASSERT_TRUE(WriteFileBytes(Path("empty.wav"), MakeWav({}, 10512)));
    ASSERT_TRUE(WriteFileBytes(Path("blank.gba"), Bytes(0x2000, 0xFF)));
    const std::string blank = Path("blank.gba");
    const std::string missing = Path("missing.gba");
    const std::vector<Refusal> refusals = {
        {{"encode", missing, "WAV", "1"}, 1, "cannot open ROM"},
        {{"encode", "ROM", Path("nothing.wav"), "1"}, 1, "cannot open audio"},
        {{"encode", "ROM", Path("junk.wav"), "1"}, 1, "audio"},
        {{"encode", "ROM", Path("long.wav"), "1"}, 1, "at most 65535"},
        {{"encode", "ROM", Path("empty.wav"), "1"}, 1, "no audio"},
        {{"encode", "ROM", "WAV", "0"}, 2, "out of range"},
        {{"encode", "ROM", "WAV", "412"}, 2, "out of range"},
        {{"encode", "ROM", "WAV", "1x"}, 2, "decimal"},
        {{"encode", "ROM", "WAV", "260", "--species"}, 1, "no cry of its own"},
        {{"encode", "ROM", "WAV", "21"}, 1, "has 20 entries; ID 21 lies past it"},
        {{"encode", "ROM", "WAV"}, 2, "--index N or --offset"},
        {{"encode", "ROM", "WAV", "1", "--offset", "2000"}, 2, "give one of"},
        {{"encode", "ROM", "WAV", "--offset", "30000"}, 1, "end of the ROM"},
        {{"encode", "ROM", "WAV", "--offset", "1C002"}, 1, "word-aligned"},
        {{"encode", "ROM", "WAV", "--offset", "1000", "--force"}, 1, "cry table"},
        {{"encode", "ROM", "WAV", "--offset", "10", "--force"}, 1, "ROM header"},
        {{"encode", "ROM", "WAV", "--offset", "1100"}, 1, "neither a sample nor free space"},
        {{"encode", "ROM", "WAV", "--offset", "zz"}, 2, "hexadecimal"},
        {{"encode", "ROM", "WAV", "--repoint-free"}, 2, "needs an ID"},
        {{"encode", "ROM", "WAV", "1", "--free-start", "100"}, 2, "--repoint-free"},
        {{"encode", "ROM", "WAV", "1", "--repoint-free", "--free-start", "1C000", "--free-end", "1C020"}, 1,
         "no free space"},
        {{"encode", "ROM", "WAV", "1", "--quality", "good"}, 2, "quality"},
        {{"encode", blank, "WAV", "1"}, 1, "no cry table"},
        {{"encode", "ROM", "WAV", "1", "--table", "30000"}, 1, "beyond the end"},
        {{"repoint", "ROM", "1", "30000"}, 1, "past the end"},
        {{"repoint", "ROM", "1", "1C000"}, 1, "--force"},
        {{"repoint", "ROM", "1", "1C001", "--force"}, 1, "word-aligned"},
        {{"repoint", "ROM", "500", "1C000"}, 2, "out of range"},
        {{"repoint", "ROM", "1"}, 2, "give the sample offset HEX"},
        {{"dump", "ROM", "1"}, 2, "required"},
        {{"dump", "ROM", "-o", "WAV"}, 2, "--index N or --offset"},
        {{"dump", "ROM", "21", "-o", "WAV"}, 1, "lies past it"},
        {{"dump", "ROM", "--offset", "1C000", "-o", "WAV"}, 1, "no sample"},
        {{"dump", missing, "1", "-o", "WAV"}, 1, "cannot open ROM"},
        {{"dump", "ROM", "1", "-o", "WAV", "--rate", "0"}, 2, "--rate"},
        {{"list", blank}, 1, "no cry table"},
        {{"dump-all", blank, Path("out")}, 1, "no cry table"},
        {{"quality", Path("junk.wav")}, 1, "audio"},
        {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
        {{}, 2, "subcommand"},
    };
    for (const Refusal& refusal : refusals) {
        std::vector<std::string> args;
        std::string shown;
        for (const std::string& a : refusal.args) {
            args.push_back(a == "ROM" ? romPath : a == "WAV" ? wavPath : a);
            shown += a + " ";
        }
        CliResult r = Run(args);
        EXPECT_EQ(r.status, refusal.status) << shown << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << r.err;
        EXPECT_NE(r.err.find(refusal.says), std::string::npos) << shown << r.err;
        EXPECT_TRUE(r.out.empty() || refusal.args[0] == "identify") << shown << r.out;
        ExpectUntouched(shown, {"junk.wav", "long.wav", "empty.wav", "blank.gba"});
    }
}

TEST_F(CliSafety, AWriteFailingHalfWayLeavesTheRomAndNoTemporaryFile) {
    // The file size limit lets the temporary file begin and stops it half-way
    // (with SIGXFSZ ignored, the write fails with EFBIG instead of killing).
    const std::string limit = "trap '' XFSZ; ulimit -f " + std::to_string(rom.size() / 2 / 1024) + "; ";
    CliResult r = Run({"encode", romPath, wavPath, "3", "--repoint-free"}, limit);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("left unchanged"), std::string::npos) << r.err;
    ExpectUntouched("encode under a file size limit");
    r = Run({"repoint", romPath, "1", Hex8(CrySampleOffset(rom, plan, 2)), "--backup"}, limit);
    EXPECT_EQ(r.status, 1);
    ExpectUntouched("repoint with backup under a file size limit");
}

TEST_F(CliSafety, DryRunShowsThePlanAndWritesNothing) {
    CliResult r = Run({"encode", romPath, wavPath, "3", "--repoint-free", "--dry-run"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("cry table pointer at 0x101C"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("nothing written"), std::string::npos) << r.out;
    r = Run({"repoint", romPath, "3", Hex8(CrySampleOffset(rom, plan, 0)), "--dry-run", "--backup"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = Run({"encode", romPath, wavPath, "3", "--dry-run", "--patch", Path("p.bps")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("nothing written"), std::string::npos) << r.out;
    ExpectUntouched("dry run");
}

TEST_F(CliSafety, BackupsAccumulateAndTheReplacedRomKeepsItsModeAndOwner) {
    // As root the ROM is given away first: the replaced file must be given
    // back to its owner. Unprivileged, the owner stays the caller's anyway.
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(romPath.c_str(), 4321, 8765), 0);
    }
    ASSERT_EQ(chmod(romPath.c_str(), 0604), 0);
    CliResult r = Run({"encode", romPath, wavPath, "3", "--backup"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("rom.gba.bak"), std::string::npos) << r.out;
    const Bytes first = ReadFileBytes(romPath);
    EXPECT_NE(first, rom);
    // A second backup in a row takes the next free name; the first stays.
    r = Run({"repoint", romPath, "1", Hex8(CrySampleOffset(rom, plan, 2)), "--backup"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("rom.gba.1.bak"), std::string::npos) << r.out;
    EXPECT_EQ(ReadFileBytes(romPath + ".bak"), rom);
    EXPECT_EQ(ReadFileBytes(romPath + ".1.bak"), first);
    for (const std::string& path : {romPath, romPath + ".bak", romPath + ".1.bak"}) {
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0604u) << path;
        if (root) {
            EXPECT_EQ(st.st_uid, 4321u) << path;
            EXPECT_EQ(st.st_gid, 8765u) << path;
        }
    }
    EXPECT_EQ(Strays({"rom.gba", "rom.gba.bak", "rom.gba.1.bak", "in.wav"}), std::vector<std::string>{});
}

TEST_F(CliSafety, AReadOnlyRomIsRefusedNotReplaced) {
    // Mode 0444 refuses root too: the check reads the mode bits as well as
    // asking access(), which root passes whatever the mode.
    ASSERT_EQ(chmod(romPath.c_str(), 0444), 0);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"encode", romPath, wavPath, "3"},
          {"encode", romPath, wavPath, "3", "--repoint-free", "--backup"},
          {"repoint", romPath, "1", Hex8(CrySampleOffset(rom, plan, 2)), "--backup"}}) {
        CliResult r = Run(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_NE(r.err.find("read-only"), std::string::npos) << r.err;
        ExpectUntouched(args[0] + " on a read-only ROM");
    }
    struct stat st;
    ASSERT_EQ(stat(romPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
}

}  // namespace
