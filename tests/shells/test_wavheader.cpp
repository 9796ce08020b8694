// The WAV header on a stream: the three writes in front of every dumped cry,
// and the check of the fixed layout.
#include "fileshells.h"
#include "support.h"
#include "wavlib.h"

// Writes the header for n into a file and returns the file's bytes.
static Bytes WrittenHeader(const ScratchDir& dir, uint32_t n) {
    const std::string path = dir.File("h.wav");
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    EXPECT_EQ(WriteWavHeader(n, f), 0);
    std::fclose(f);
    return ReadFileBytes(path);
}

TEST(WavHeader, WritesTheCanonicalFieldsByteForByte) {
    ScratchDir dir;
    const struct {
        const char* name;
        Bytes written, expected;
    } cases[] = {
        {"header of a file", WrittenHeader(dir, 100), CanonicalHeader(0x88, 0x2A, 0x2B, 0x64)},
        {"empty header of a file", WrittenHeader(dir, 0), CanonicalHeader(0x24, 0x2A, 0x2B, 0x00)},
        {"empty file in memory", WavFileBytes({}, WavRate), WrittenHeader(dir, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.written, c.expected);
    }
}

TEST(WavHeader, ReportsAFailedWrite) {
    ScratchDir dir;
    const std::string path = dir.File("ro.wav");
    ASSERT_TRUE(WriteFileBytes(path, Bytes(4, 0)));
    FILE* f = std::fopen(path.c_str(), "rb");  // a stream that takes no writes
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(WriteWavHeader(5, f), -1);
    std::fclose(f);
}

// Runs CheckWavHeader on a file holding `bytes`; `printed` receives stdout.
static int Check(const ScratchDir& dir, const Bytes& bytes, std::string* printed = nullptr) {
    const std::string path = dir.File("check.wav");
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    FILE* f = std::fopen(path.c_str(), "rb");
    int result = -1;
    const std::string out = Printed([&] { result = CheckWavHeader(f); });
    if (printed) *printed = out;
    std::fclose(f);
    return result;
}

TEST(CheckWavHeader, ResultsFollowTheOrderOfTheTests) {
    ScratchDir dir;
    std::string printed;
    EXPECT_EQ(Check(dir, DumpedWav(Noise(10, 1)), &printed), 0);
    EXPECT_EQ(printed, "11050\r\n1\r\n");
    EXPECT_EQ(Check(dir, MakeWav(Bytes(8, 0), 11050, 1, 16), &printed), 5);
    EXPECT_EQ(printed, "");

    Bytes wav = DumpedWav(Bytes(4, 0x80));
    Bytes bad = wav;
    bad[3] = 'X';
    EXPECT_EQ(Check(dir, bad), 1);
    bad = wav;
    bad[8] = 'w';
    EXPECT_EQ(Check(dir, bad), 2);
    bad = wav;
    bad[15] = '_';
    EXPECT_EQ(Check(dir, bad), 3);
    // A LIST chunk between the format and the data is not the fixed layout.
    const Bytes list = Riff({Chunk("fmt ", FmtBody(1, 1, 11050, 8)), Chunk("LIST", Bytes(6, 'i')),
                             Chunk("data", Bytes(4, 0x80))});
    EXPECT_EQ(Check(dir, list), 4);
}

TEST(CheckWavHeader, FewerThan44BytesAreRefusedAsNotRiff) {
    ScratchDir dir;
    const Bytes wav = DumpedWav({});
    EXPECT_EQ(Check(dir, Bytes(wav.begin(), wav.end() - 1)), 1);
    EXPECT_EQ(Check(dir, Bytes(wav.begin(), wav.begin() + 12)), 1);
    EXPECT_EQ(Check(dir, {}), 1);
}

