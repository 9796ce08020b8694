// Dump and Compress over real files: the bytes they write, the bytes they
// leave alone, and every refusal leaving the user's files byte-identical.
#include <random>

#ifdef __linux__
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "fileshells.h"
#include "support.h"
#include "wavlib.h"

static CryError CompressFile(const std::string& wav, uint32_t offset, const std::string& rom,
                             std::string* printed = nullptr) {
    CryError error = CryOk;
    const std::string out = Printed([&] { EXPECT_EQ(Compress(wav.c_str(), offset, rom.c_str(), &error), 0); });
    if (printed) *printed = out;
    return error;
}

static int DumpFile(const std::string& rom, uint32_t offset, const std::string& wav, CryError* error,
                    std::string* printed = nullptr) {
    int n = 0;
    const std::string out = Printed([&] { n = Dump(rom.c_str(), offset, wav.c_str(), error); });
    if (printed) *printed = out;
    return n;
}

static Bytes EncodedSample(const Bytes& wav) {
    Bytes sample(SampleExtent(static_cast<uint32_t>(wav.size())));
    EXPECT_EQ(EncodeSample(wav, sample), sample.size());
    return sample;
}

// A raw sample: the constant header with length n, then the given blocks.
static Bytes RawSample(uint16_t n, const Bytes& blocks) {
    Bytes s(SampleHeaderTemplate, SampleHeaderTemplate + SampleHeaderSize);
    PutLe16(&s[SampleLengthOfs], n);
    s.insert(s.end(), blocks.begin(), blocks.end());
    return s;
}

TEST(Dump, WritesTheWorkedBlockAsAWav) {
    ScratchDir dir;
    const std::string rom = dir.File("rom.gba"), wav = dir.File("out.wav");
    Bytes image = Noise(0x20, 99);
    const Bytes sample = RawSample(64, Repeat({0x00, 0x07, 0x77, 0x30}, 29, 0));
    image.insert(image.end(), sample.begin(), sample.end());
    ASSERT_TRUE(WriteFileBytes(rom, image));
    CryError error = CryInfileNotFound;
    EXPECT_EQ(DumpFile(rom, 0x20, wav, &error), 64);
    EXPECT_EQ(error, CryOk);
    EXPECT_EQ(ReadFileBytes(wav), DumpedWav(Repeat({0x80, 0xB1, 0xE2, 0x13}, 60, 0x1C)));
}

TEST(Dump, LengthDecidesHowManyBlocksAndBytes) {
    ScratchDir dir;
    const std::string rom = dir.File("rom.gba"), wav = dir.File("out.wav");
    Bytes blocks(33, 0);
    blocks.push_back(0x05);  // second block: first value 5, then held
    blocks.resize(66, 0);
    CryError error;
    for (uint16_t n : {0, 64, 65}) {
        ASSERT_TRUE(WriteFileBytes(rom, RawSample(n, blocks)));
        EXPECT_EQ(DumpFile(rom, 0, wav, &error), n);
        EXPECT_EQ(error, CryOk);
        Bytes data(std::min<int>(n, 64), 0x80);
        if (n == 65) data.push_back(0x85);
        EXPECT_EQ(ReadFileBytes(wav), DumpedWav(data)) << n;
    }
    // Bytes 14-15 of the header are not part of the length.
    Bytes high = RawSample(65, blocks);
    high[14] = 0x12;
    high[15] = 0x34;
    ASSERT_TRUE(WriteFileBytes(rom, high));
    EXPECT_EQ(DumpFile(rom, 0, wav, &error), 65);
    EXPECT_EQ(ReadFileBytes(wav).size(), 44u + 65);
}

TEST(Dump, BlockBytesPastTheRomEndCountAsZero) {
    ScratchDir dir;
    const std::string rom = dir.File("rom.gba"), wav = dir.File("out.wav");
    Bytes sample = RawSample(100, Noise(66, 4));
    sample.resize(16 + 33 + 3);  // the second block is cut after 3 bytes
    ASSERT_TRUE(WriteFileBytes(rom, sample));
    CryError error;
    EXPECT_EQ(DumpFile(rom, 0, wav, &error), 100);
    Bytes blocks(sample.begin() + 16, sample.end());
    blocks.resize(66, 0);
    Bytes expected(100);
    DecodeSample(RawSample(100, blocks), 0, expected);
    EXPECT_EQ(ReadFileBytes(wav), DumpedWav(expected));
}

TEST(Dump, UnreadableLengthCreatesNoWavAndKeepsAnExistingOne) {
    ScratchDir dir;
    const std::string rom = dir.File("rom.gba"), kept = dir.File("kept.wav"), absent = dir.File("absent.wav");
    ASSERT_TRUE(WriteFileBytes(rom, Noise(100, 1)));
    const Bytes keep = DumpedWav(Noise(50, 2));
    ASSERT_TRUE(WriteFileBytes(kept, keep));
    // Offset 87 leaves one of the two length bytes inside the file.
    for (uint32_t offset : {87u, 100u, 5000u, 0xFFFFFFF8u}) {
        CryError error = CryOk;
        std::string printed;
        EXPECT_EQ(DumpFile(rom, offset, kept, &error, &printed), 0);
        EXPECT_EQ(error, CryBadLength) << offset;
        EXPECT_NE(printed.find(rom), std::string::npos);
        EXPECT_EQ(ReadFileBytes(kept), keep);
        EXPECT_EQ(DumpFile(rom, offset, absent, &error), 0);
        EXPECT_FALSE(std::filesystem::exists(absent));
    }
}

TEST(Dump, MissingRomOrUnopenableWavIsReportedWithItsLine) {
    ScratchDir dir;
    const std::string rom = dir.File("rom.gba"), wav = dir.File("out.wav"), missing = dir.File("none.gba");
    ASSERT_TRUE(WriteFileBytes(rom, RawSample(10, Bytes(33, 0))));
    CryError error = CryOk;
    std::string printed;
    EXPECT_EQ(DumpFile(missing, 0, wav, &error, &printed), 0);
    EXPECT_EQ(error, CryInfileNotFound);
    EXPECT_EQ(printed, "Infile " + missing + " not found!\r\n");
    EXPECT_FALSE(std::filesystem::exists(wav));

    std::filesystem::create_directory(wav);
    EXPECT_EQ(DumpFile(rom, 0, wav, &error, &printed), 0);
    EXPECT_EQ(error, CryOutfileNotFound);
    EXPECT_EQ(printed, "Outfile " + wav + " not found!\r\n");
}

// An uncompressed sample as hacks store one: type 00 00 00 00, the games'
// rate, no loop, S in bytes 12-15, then the S values as signed bytes and,
// unless left out, the loop value 0.
static Bytes UncompressedSample(uint32_t s, const Bytes& values, bool loopValue = true) {
    Bytes sample = RawSample(0, {});
    sample[0] = 0;
    PutLe32(&sample[SampleLengthOfs], s);
    for (uint8_t v : values) sample.push_back(static_cast<uint8_t>(v ^ 0x80));
    if (loopValue) sample.push_back(0);
    return sample;
}

TEST(Dump, AnUncompressedSampleGivesItsValuesAsTheyAre) {
    ScratchDir dir;
    const std::string rom = dir.File("rom.gba"), wav = dir.File("out.wav");
    // Steps of 7 wrap past 255, so a missed or doubled sign flip shows.
    Bytes ramp(70000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(3 + 7 * i);
    const Bytes three(ramp.begin(), ramp.begin() + 300);
    const Bytes before = DumpedWav(Noise(50, 2));
    const struct {
        const char* name;
        Bytes sample;  // placed at 0x24, after other bytes
        Bytes tail;    // what follows it in the ROM
        CryError error;
        int n;  // values written; the WAV is kept as it was on a refusal
    } cases[] = {
        {"with its loop value", UncompressedSample(300, three), Noise(40, 3), CryOk, 300},
        {"without it, at the end of the ROM", UncompressedSample(300, three, false), {}, CryOk, 300},
        {"more values than 16 bits count, over many reads", UncompressedSample(70000, ramp), {}, CryOk, 70000},
        {"no values", UncompressedSample(0, {}), Noise(8, 4), CryOk, 0},
        {"its last value past the end", UncompressedSample(300, Bytes(three.begin(), three.end() - 1), false), {},
         CryBadLength, 0},
        {"a length no cry has", UncompressedSample(0x01000000, three), {}, CryBadLength, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image = Noise(0x24, 1);
        image.insert(image.end(), c.sample.begin(), c.sample.end());
        image.insert(image.end(), c.tail.begin(), c.tail.end());
        ASSERT_TRUE(WriteFileBytes(rom, image));
        ASSERT_TRUE(WriteFileBytes(wav, before));
        CryError error = CryInfileNotFound;
        std::string printed;
        EXPECT_EQ(DumpFile(rom, 0x24, wav, &error, &printed), c.n);
        EXPECT_EQ(error, c.error);
        if (c.error == CryOk) {
            EXPECT_EQ(printed, "");
            EXPECT_EQ(ReadFileBytes(wav), DumpedWav(Bytes(ramp.begin(), ramp.begin() + c.n)));
        } else {
            EXPECT_EQ(printed, "Infile " + rom + " too short for a sample at 24!\r\n");
            EXPECT_EQ(ReadFileBytes(wav), before);
        }
    }
}

TEST(Compress, BestModeWritesWhatTheOptimalCoderMakesInMemory) {
    ScratchDir dir;
    const std::string rom = dir.File("rom.gba"), wav = dir.File("in.wav");
    const Bytes data = Sweep(1000, 200, 4000);
    ASSERT_TRUE(WriteFileBytes(wav, MakeWav(data)));
    CryError error = CryInfileNotFound;
    Printed([&] { Compress(wav.c_str(), 0, rom.c_str(), &error, EncodeMode::Best); });
    EXPECT_EQ(error, CryOk);
    Bytes expected(SampleExtent(1000));
    ASSERT_EQ(EncodeSample(data, expected, EncodeMode::Best), expected.size());
    EXPECT_EQ(ReadFileBytes(rom), expected);
}

TEST(Compress, CodesTheWorkedBlockAndAnEmptyWav) {
    ScratchDir dir;
    const std::string rom = dir.File("rom.gba"), wav = dir.File("in.wav");
    ASSERT_TRUE(WriteFileBytes(rom, Bytes(100, 0xFF)));
    ASSERT_TRUE(WriteFileBytes(wav, MakeWav(Repeat({0x80, 0xE4}, 62, 0x1C))));
    EXPECT_EQ(CompressFile(wav, 0, rom), CryOk);
    Bytes expected = RawSample(64, Repeat({0x00, 0x07, 0x77, 0x30}, 29, 0));
    expected.resize(100, 0xFF);
    EXPECT_EQ(ReadFileBytes(rom), expected);

    // A canonical 44-byte file: length 0, the header alone.
    ASSERT_TRUE(WriteFileBytes(wav, MakeWav({})));
    EXPECT_EQ(CompressFile(wav, 0, rom), CryOk);
    expected = RawSample(0, Repeat({0x00, 0x07, 0x77, 0x30}, 29, 0));  // the old block stays
    expected.resize(100, 0xFF);
    EXPECT_EQ(ReadFileBytes(rom), expected);
}

TEST(Compress, ChangesOnlyTheSampleExtentAndRoundTripsAtRandomOffsets) {
    ScratchDir dir;
    const std::string rom = dir.File("rom.gba"), wav = dir.File("in.wav"), out = dir.File("out.wav");
    std::mt19937 rng(77);
    for (uint32_t n : {0u, 1u, 63u, 64u, 65u, 1000u, 65535u}) {
        SCOPED_TRACE(n);
        const Bytes data = Noise(n, 1000 + n);
        const Bytes before = Noise(3000, n);
        const uint32_t offset = rng() % 6000;  // half the time beyond the end
        ASSERT_TRUE(WriteFileBytes(rom, before));
        ASSERT_TRUE(WriteFileBytes(wav, MakeWav(data)));
        ASSERT_EQ(CompressFile(wav, offset, rom), CryOk);

        // Exactly [offset, offset + span) changes; a shorter file grows with zeros.
        Bytes expected = before;
        expected.resize(std::max<size_t>(before.size(), offset + SampleExtent(n)), 0);
        const Bytes sample = EncodedSample(data);
        std::copy(sample.begin(), sample.end(), expected.begin() + offset);
        const Bytes after = ReadFileBytes(rom);
        ASSERT_EQ(after, expected);

        const Bytes played = EncReportedValues(data);
        Bytes decoded(n);
        DecodeSample(after, offset, decoded);
        EXPECT_EQ(decoded, played);
        CryError error;
        EXPECT_EQ(DumpFile(rom, offset, out, &error), static_cast<int>(n));
        EXPECT_EQ(ReadFileBytes(out), DumpedWav(played));
    }
}

// In the games' images a cry's last block stops at the byte that holds its
// last value and the next cry starts at the following multiple of 4. A sound
// of the stored length, written over each of the first 40 cries in turn (all
// remainders of a block), must leave the next cry byte for byte as it was.
TEST(Compress, SameLengthCryInTheGamesLayoutKeepsItsNeighbour) {
    ScratchDir dir;
    const std::string rom = dir.File("rom.gba"), wav = dir.File("in.wav");
    const RomPlan plan = GameRomPlan();
    const Bytes before = MakeRom(plan);
    for (int index = 0; index < 40; ++index) {
        SCOPED_TRACE(index);
        const uint32_t offset = CrySampleOffset(before, plan, index);
        const uint32_t next = CrySampleOffset(before, plan, index + 1);
        const uint32_t nextEnd = next + SampleExtent(static_cast<uint32_t>(plan.cries[index + 1].size()));
        const Result<uint16_t> stored = ReadSampleLength(before, offset);
        ASSERT_TRUE(stored.Ok());
        const uint16_t n = stored.value;
        const Bytes data = Sweep(n, 200 + index, 3000);
        ASSERT_TRUE(WriteFileBytes(rom, before));
        ASSERT_TRUE(WriteFileBytes(wav, MakeWav(data)));
        ASSERT_EQ(CompressFile(wav, offset, rom), CryOk);

        const Bytes after = ReadFileBytes(rom);
        Bytes expected = before;
        const Bytes sample = EncodedSample(data);
        std::copy(sample.begin(), sample.end(), expected.begin() + offset);
        ASSERT_EQ(after, expected);
        // The padding after the new sample and the next cry, header and data.
        ASSERT_TRUE(std::equal(after.begin() + offset + sample.size(), after.begin() + nextEnd,
                               before.begin() + offset + sample.size()));
        ASSERT_EQ(DecodedCry(after, next), DecodedCry(before, next));
    }
}

TEST(Compress, CreatesAMissingRom) {
    ScratchDir dir;
    const std::string rom = dir.File("new.gba"), wav = dir.File("in.wav");
    const Bytes data = Tone(200, 440);
    ASSERT_TRUE(WriteFileBytes(wav, MakeWav(data)));
    EXPECT_EQ(CompressFile(wav, 8, rom), CryOk);
    Bytes expected(8, 0);
    const Bytes sample = EncodedSample(data);
    expected.insert(expected.end(), sample.begin(), sample.end());
    EXPECT_EQ(ReadFileBytes(rom), expected);
}

TEST(Compress, TakesTheAudioFromTheDataChunkAlone) {
    ScratchDir dir;
    const std::string rom = dir.File("rom.gba"), wav = dir.File("in.wav");
    const Bytes data = Sweep(301, 100, 2000);
    ASSERT_TRUE(WriteFileBytes(wav, Riff({Chunk("LIST", Bytes(9, 'a')), Chunk("fmt ", FmtBody(1, 1, 22050, 8)),
                                          Chunk("data", data), Chunk("LIST", Bytes(40, 'b'))})));
    ASSERT_TRUE(WriteFileBytes(rom, Bytes(SampleExtent(301), 0xFF)));
    EXPECT_EQ(CompressFile(wav, 0, rom), CryOk);
    EXPECT_EQ(ReadFileBytes(rom), EncodedSample(data));
}

TEST(Compress, RefusalsLeaveTheRomByteIdentical) {
    ScratchDir dir;
    const std::string rom = dir.File("rom.gba"), wav = dir.File("in.wav");
    const Bytes before = Noise(2000, 8);
    const Bytes audio = Noise(100, 9);
    const Bytes canonical = MakeWav(audio);
    const struct {
        const char* name;
        Bytes wav;
        CryError error;
        const char* line;
    } cases[] = {
        {"43 bytes", Bytes(canonical.begin(), canonical.begin() + 43), CryBadWav, "infile is not an 8-bit mono PCM WAV\r\n"},
        {"not RIFF", Repeat({}, 200, 0x80), CryBadWav, nullptr},
        {"16-bit", MakeWav(audio, 11050, 1, 16), CryBadWav, nullptr},
        {"stereo", MakeWav(audio, 11050, 2, 8), CryBadWav, nullptr},
        {"0 channels", MakeWav(audio, 11050, 0, 8), CryBadWav, nullptr},
        {"float", Riff({Chunk("fmt ", FmtBody(3, 1, 11050, 8)), Chunk("data", audio)}), CryBadWav, nullptr},
        {"fmt of size 0", Riff({Chunk("fmt ", {}), Chunk("data", audio)}), CryBadWav, nullptr},
        {"no data", Riff({Chunk("fmt ", FmtBody(1, 1, 11050, 8)), Chunk("LIST", audio)}), CryBadWav, nullptr},
        {"65536 samples", MakeWav(Bytes(65536, 0x80)), CryTooLong, "infile holds 65536 samples or more\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteFileBytes(rom, before));
        ASSERT_TRUE(WriteFileBytes(wav, c.wav));
        std::string printed;
        EXPECT_EQ(CompressFile(wav, 100, rom, &printed), c.error);
        if (c.line) {
            EXPECT_EQ(printed, c.line);
        }
        EXPECT_EQ(ReadFileBytes(rom), before);
    }
    std::string printed;
    EXPECT_EQ(CompressFile(dir.File("none.wav"), 100, rom, &printed), CryInfileNotFound);
    EXPECT_EQ(printed, "infile not found\r\n");
    EXPECT_EQ(ReadFileBytes(rom), before);
    // A sample absent from the ROM is not created by a refusal either.
    EXPECT_EQ(CompressFile(wav, 0, dir.File("absent.gba")), CryTooLong);
    EXPECT_FALSE(std::filesystem::exists(dir.File("absent.gba")));
}

TEST(Compress, FolderAtTheRomPathIsRefusedAndKept) {
    ScratchDir dir;
    const std::string wav = dir.File("in.wav"), folder = dir.File("rom.gba");
    ASSERT_TRUE(WriteFileBytes(wav, MakeWav(Noise(100, 1))));
    std::filesystem::create_directory(folder);
    std::string printed;
    EXPECT_EQ(CompressFile(wav, 0, folder, &printed), CryOutfileNotFound);
    EXPECT_EQ(printed, "outfile not found\r\n");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

#ifdef __linux__
// Runs Compress as an unprivileged user when the tests run as root, since
// root opens any file whatever its permission bits say.
static CryError CompressAsUser(const std::string& wav, const std::string& rom) {
    if (geteuid() != 0) return CompressFile(wav, 0, rom);
    const pid_t child = fork();
    if (child == 0) {
        CryError error = CryOk;
        if (setgid(65534) == 0 && setuid(65534) == 0) Compress(wav.c_str(), 0, rom.c_str(), &error);
        else error = CryWriteFailed;
        _exit(error);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? static_cast<CryError>(WEXITSTATUS(status)) : CryWriteFailed;
}
#endif

// A ROM that may be written but not read refuses "rb+", while a blind "wb"
// fallback would truncate it.
TEST(Compress, WriteOnlyRomIsRefusedAndKept) {
#ifdef __linux__
    namespace fs = std::filesystem;
    ScratchDir dir;
    const std::string wav = dir.File("in.wav"), rom = dir.File("writeonly.gba");
    const Bytes before = Noise(500, 3);
    ASSERT_TRUE(WriteFileBytes(wav, MakeWav(Noise(100, 1))));
    ASSERT_TRUE(WriteFileBytes(rom, before));
    fs::permissions(wav, fs::perms::owner_read | fs::perms::others_read);
    fs::permissions(rom, fs::perms::owner_write | fs::perms::others_write);
    EXPECT_EQ(CompressAsUser(wav, rom), CryOutfileNotFound);
    fs::permissions(rom, fs::perms::owner_read, fs::perm_options::add);
    EXPECT_EQ(ReadFileBytes(rom), before);
#else
    GTEST_SKIP() << "needs POSIX permissions";
#endif
}

// /dev/full takes every open and seek and fails every write.
TEST(FileShells, FailedWriteIsAFailure) {
#ifdef __linux__
    ScratchDir dir;
    const std::string wav = dir.File("in.wav"), rom = dir.File("rom.gba");
    ASSERT_TRUE(WriteFileBytes(wav, MakeWav(Noise(20000, 1))));
    std::string printed;
    EXPECT_EQ(CompressFile(wav, 0, "/dev/full", &printed), CryWriteFailed);
    EXPECT_EQ(printed, "outfile could not be written\r\n");
    ASSERT_TRUE(WriteFileBytes(rom, EncodedSample(Noise(5000, 2))));
    CryError error = CryOk;
    EXPECT_EQ(DumpFile(rom, 0, "/dev/full", &error), 0);
    EXPECT_EQ(error, CryWriteFailed);
#else
    GTEST_SKIP() << "needs /dev/full";
#endif
}

#ifndef _WIN32
// Asks sox about a file; empty when it had nothing to say.
static std::string SoxInfo(const char* flag, const std::string& path) {
    const std::string command = std::string("sox --i ") + flag + " '" + path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {};
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}
#endif

TEST(Dump, AnOutsideReaderSeesUnsigned8BitMonoAt11050) {
#ifdef _WIN32
    GTEST_SKIP() << "sox runs on the Linux side";
#else
    if (std::system("sox --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
    ScratchDir dir;
    const std::string rom = dir.File("rom.gba"), wav = dir.File("out.wav"), raw = dir.File("out.raw");
    const Bytes data = Sweep(1234, 300, 2500);
    ASSERT_TRUE(WriteFileBytes(rom, EncodedSample(data)));
    CryError error;
    ASSERT_EQ(DumpFile(rom, 0, wav, &error), 1234);
    EXPECT_EQ(SoxInfo("-t", wav), "wav");
    EXPECT_EQ(SoxInfo("-r", wav), "11050");
    EXPECT_EQ(SoxInfo("-c", wav), "1");
    EXPECT_EQ(SoxInfo("-b", wav), "8");
    EXPECT_EQ(SoxInfo("-e", wav), "Unsigned Integer PCM");
    EXPECT_EQ(SoxInfo("-s", wav), "1234");
    // And the samples it reads are the ones decoded.
    const std::string convert = "sox '" + wav + "' -t raw -e unsigned-integer -b 8 '" + raw + "' 2>/dev/null";
    ASSERT_EQ(std::system(convert.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(raw), EncReportedValues(data));
#endif
}
