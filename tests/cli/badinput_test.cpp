// Bad input of every kind against the built program: files that are not
// files (a directory, a named pipe, a device), files too small or too large
// to be an image, outputs that cannot be written or that name an input, audio
// that is no audio, malformed IDs and tables, and a header whose game code is
// not text. Each is refused at once with one line on standard error (or,
// for the game code, shown), and no file in the scratch folder changes. A
// refusal prints nothing on standard output, or under --json the failure's
// object only; the strange but readable is worded as a newcomer reads it.
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <map>

#include "support.h"

namespace {

struct BadInput {
    // "ROM", "WAV", "OUT", "DIR", "PIPE", "EMPTY", "SHORT", "BIG", "CODE" and
    // "MISSING" stand for the scratch files; anything else is taken as it is.
    std::vector<std::string> args;
    int status;        // 0 for input that is strange but readable
    const char* says;  // a piece of the message on standard error
    const char* shows = "";  // a piece of standard output
    const char* never = nullptr;  // a piece that must appear on neither
};

class CliBadInput : public CliRomTest {
protected:
    std::map<std::string, std::string> names = {
        {"WAV", "in.wav"},     {"OUT", "out.wav"},     {"DIR", "folder"},         {"PIPE", "pipe"},
        {"EMPTY", "empty.gba"}, {"SHORT", "short.gba"}, {"BIG", "big.gba"},       {"CODE", "code.gba"},
        {"MISSING", "missing.wav"}, {"ROM", "rom.gba"},
        {"BINSHORT", "short.bin"}, {"BINPAST", "past.bin"}, {"BINKIND", "kind.bin"}, {"BINRATE0", "rate0.bin"},
        {"BINRATE", "rate.bin"}, {"PNG", "picture.png"}, {"CUT", "cut.gba"}, {"PLAIN", "plain.gba"},
        {"SILENT", "silent.wav"}, {"ONE", "one.wav"},
        {"CUTOFF", "cutoff.gba"}, {"NOSAMPLE", "nosample.gba"}, {"DEAD", "dead.gba"}, {"LONG", "long.wav"},
    };
    std::string deadTable;  // the moved hack's old table, which its code no longer reads

    // A sample file: its header and `dataBytes` bytes of data.
    static Bytes SampleFile(uint8_t type, uint32_t hz, uint32_t length, size_t dataBytes) {
        Bytes file(16 + dataBytes);
        file[0] = type;
        PutLe32(&file[4], hz * 1024);
        PutLe32(&file[12], length);
        return file;
    }

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(CliRomTest::SetUp());
        ASSERT_TRUE(WriteFileBytes(Path("in.wav"), MakeWav(Tone(200, 440), 10512)));
        fs::create_directory(Path("folder"));
        ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0644), 0);
        ASSERT_TRUE(WriteFileBytes(Path("empty.gba"), {}));
        ASSERT_TRUE(WriteFileBytes(Path("short.gba"), Bytes(rom.begin(), rom.begin() + 100)));
        // One byte past the 64 MiB address space, sparse: no disk is used.
        ASSERT_TRUE(WriteFileBytes(Path("big.gba"), Bytes(rom.begin(), rom.begin() + 0x200)));
        fs::resize_file(Path("big.gba"), (uintmax_t{1} << 26) + 1);
        // The table is found by the scan whatever the code; the code itself
        // holds a top-bit byte, a control byte and a NUL.
        Bytes code = rom;
        const uint8_t odd[4] = {0x80, 0xFF, 0x07, 0x00};
        std::copy(odd, odd + 4, code.begin() + 0xAC);
        ASSERT_TRUE(WriteFileBytes(Path("code.gba"), code));
        // A picture; the first kilobyte of a known release's image; an image
        // whose cry 1 is uncompressed and which holds a header of rate 0 at
        // 0x1E000; silence; one value at 44100 Hz.
        Bytes png(300, 0);
        const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        std::copy(signature, signature + 8, png.begin());
        ASSERT_TRUE(WriteFileBytes(Path("picture.png"), png));
        Bytes cut(1000, 0);
        std::copy_n("AXVE", 4, cut.begin() + 0xAC);
        cut[0xB2] = 0x96;
        ASSERT_TRUE(WriteFileBytes(Path("cut.gba"), cut));
        Bytes plain = rom;
        PutUncompressedSample(plain, 0x1F000, Tone(300, 440));
        PutLe32(&plain[plan.tableOffset + 4], RomAddressBase | 0x1F000);
        plain[plan.tableOffset] = 0x00;
        std::fill(plain.begin() + 0x1E000, plain.begin() + 0x1E000 + 21, 0);
        plain[0x1E000 + 12] = 4;
        ASSERT_TRUE(WriteFileBytes(Path("plain.gba"), plain));
        // Cut short: entry 4 points past the end, where its sample was.
        Bytes cutoff = rom;
        PutLe32(&cutoff[plan.tableOffset + 12 * 4 + 4], RomAddressBase | static_cast<uint32_t>(rom.size() + 0x100));
        ASSERT_TRUE(WriteFileBytes(Path("cutoff.gba"), cutoff));
        // ID 7's header declares 0x7FFFFFFF values: no sample.
        Bytes nosample = rom;
        PutLe32(&nosample[CrySampleOffset(rom, plan, 6) + 12], 0x7FFFFFFF);
        ASSERT_TRUE(WriteFileBytes(Path("nosample.gba"), nosample));
        const HackRom dead = MakeHackRom(MovedHackPlan());
        deadTable = Hex8(*dead.oldTable);
        ASSERT_TRUE(WriteFileBytes(Path("dead.gba"), dead.rom));
        ASSERT_TRUE(WriteFileBytes(Path("long.wav"), MakeWav(Tone(2000, 440), 10512)));
        ASSERT_TRUE(WriteFileBytes(Path("silent.wav"), MakeWav(Bytes(100, 0x80), 10512)));
        ASSERT_TRUE(WriteFileBytes(Path("one.wav"), MakeWav(Bytes(1, 0x80), 44100)));
        ASSERT_TRUE(WriteFileBytes(Path("short.bin"), Bytes(10, 1)));
        ASSERT_TRUE(WriteFileBytes(Path("past.bin"), SampleFile(1, 10512, 1000, 24)));
        ASSERT_TRUE(WriteFileBytes(Path("kind.bin"), SampleFile(2, 10512, 4, 5)));
        ASSERT_TRUE(WriteFileBytes(Path("rate0.bin"), SampleFile(0, 0, 4, 5)));
        ASSERT_TRUE(WriteFileBytes(Path("rate.bin"), SampleFile(0, 200000, 4, 5)));
    }

    std::string Arg(const std::string& a) const {
        auto it = names.find(a);
        return it == names.end() ? a : Path(it->second);
    }

    // Every entry of the scratch folder: its name, and a regular file's bytes
    // (for the sparse 64 MiB file, its inode, size and time of last write,
    // which any write or replacement changes).
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(dir)) {
            struct stat st;
            const std::string path = e.path().string();
            if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > (1 << 20)) {
                files[path] = std::to_string(st.st_ino) + " " + std::to_string(st.st_size) + " " +
                              std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
            } else {
                files[path] = Slurp(path);
            }
        }
        return files;
    }

    // Puts back what a failed case changed, so that the next case starts
    // from the same files.
    void Restore(const std::map<std::string, std::string>& before) const {
        for (const auto& e : fs::directory_iterator(dir))
            if (!before.count(e.path().string())) fs::remove_all(e.path());
        ASSERT_TRUE(WriteFileBytes(romPath, rom));
    }
};

bool ValidUtf8(const std::string& text) {
    try {
        (void)nlohmann::json(text).dump();
        return true;
    } catch (const nlohmann::json::exception&) {
        return false;
    }
}

TEST_F(CliBadInput, EachIsRefusedAtOnceAndChangesNothing) {
    const auto sampleOf = [&](int index, uint32_t plus) { return Hex8(CrySampleOffset(rom, plan, index) + plus); };
    const std::vector<BadInput> cases = {
        // Not files: refused from what the path is, before an open that
        // would wait for a writer (the pipe) or never end (the device).
        {{"identify", "DIR"}, 1, "directory"},
        {{"identify", "PIPE"}, 1, "named pipe"},
        {{"identify", "/dev/zero"}, 1, "device"},
        {{"list", "PIPE", "--json"}, 1, "named pipe"},
        {{"encode", "ROM", "DIR", "1"}, 1, "directory"},
        {{"encode", "ROM", "PIPE", "1"}, 1, "named pipe"},
        {{"encode", "ROM", "PIPE", "1", "--raw"}, 1, "named pipe"},
        {{"encode", "ROM", "/dev/zero", "1"}, 1, "device"},
        {{"quality", "PIPE"}, 1, "named pipe"},
        {{"quality", "/dev/zero", "--raw"}, 1, "device"},
        {{"dump", "ROM", "1", "-o", "PIPE"}, 1, "named pipe"},
        {{"dump", "ROM", "1", "-o", "DIR"}, 1, "directory"},
        // Too small or too large to be an image.
        {{"identify", "EMPTY"}, 1, "empty.gba"},
        {{"identify", "EMPTY", "--json"}, 1, "empty.gba"},
        {{"list", "EMPTY"}, 1, "empty.gba"},
        {{"identify", "SHORT"}, 1, "short.gba"},
        {{"dump", "SHORT", "1", "-o", "OUT"}, 1, "short.gba"},
        {{"identify", "BIG"}, 1, "64 MiB"},
        {{"encode", "BIG", "WAV", "1"}, 1, "64 MiB"},
        // Outputs that cannot be written, or that would replace the ROM.
        {{"dump", "ROM", "1", "-o", "DIR/nowhere/out.wav"}, 1, "nowhere"},
        {{"dump", "ROM", "1", "-o", "/proc/brevox-out.wav"}, 1, "/proc"},
        {{"dump-all", "ROM", "/proc/brevox-out"}, 1, "/proc"},
        {{"dump", "ROM", "1", "-o", "ROM"}, 1, "rom.gba"},
        // Audio that is no audio, or is missing: our own message, naming it.
        {{"encode", "ROM", "ROM", "1"}, 1, "rom.gba"},
        {{"encode", "ROM", "ROM", "1", "--raw"}, 1, "rom.gba"},
        {{"encode", "ROM", "MISSING", "1"}, 1, "cannot open audio"},
        {{"quality", "MISSING"}, 1, "cannot open audio"},
        // diff reads both images as a ROM is read; no patch replaces an input.
        {{"diff", "DIR", "ROM", "OUT"}, 1, "directory"},
        {{"diff", "ROM", "PIPE", "OUT"}, 1, "named pipe"},
        {{"diff", "ROM", "BIG", "OUT"}, 1, "64 MiB"},
        {{"diff", "ROM", "CODE", "ROM"}, 1, "an input"},
        {{"diff", "ROM", "CODE", "DIR"}, 1, "directory"},
        {{"encode", "ROM", "WAV", "1", "--patch", "ROM"}, 1, "an input"},
        {{"encode", "ROM", "WAV", "1", "--patch", "WAV"}, 1, "an input"},
        {{"import", "ROM", "DIR", "--patch", "DIR"}, 1, "directory"},
        {{"encode", "ROM", "WAV", "1", "--patch", "OUT", "--backup"}, 2, "excludes"},
        // Malformed numbers and tables.
        {{"dump", "ROM", "12x", "-o", "OUT"}, 2, "12x"},
        {{"repoint", "ROM", "12x", "1C000"}, 2, "12x"},
        {{"list", "ROM", "--table", "30000"}, 1, "beyond the end"},
        {{"list", "ROM", "--table", "30000", "--json"}, 1, "beyond the end"},
        {{"dump", "ROM", "1", "--table", "1FFFC", "-o", "OUT"}, 1, "beyond the end"},
        // Sample files that are not one, and outputs that name an input.
        {{"sample", "dump", "BINSHORT", "OUT"}, 1, "16-byte header"},
        {{"sample", "dump", "BINPAST", "OUT"}, 1, "the file holds 40 bytes"},
        {{"sample", "dump", "BINKIND", "OUT", "--json"}, 1, "header byte 0 holds 2"},
        {{"sample", "dump", "BINRATE0", "OUT"}, 1, "rate of 0 Hz"},
        {{"sample", "dump", "BINRATE", "OUT"}, 1, "rate of 200000 Hz"},
        {{"sample", "dump", "PIPE", "OUT"}, 1, "named pipe"},
        {{"sample", "dump", "BINRATE", "BINRATE"}, 1, "an input"},
        {{"sample", "encode", "WAV", "WAV"}, 1, "an input"},
        {{"sample", "encode", "ROM", "OUT"}, 1, "rom.gba"},
        {{"sample", "encode", "WAV", "OUT", "--kind", "packed"}, 2, "packed"},
        {{"sample", "encode", "WAV", "OUT", "--rate", "0"}, 2, "--rate"},
        {{"sample", "encode", "WAV", "OUT", "--raw", "--trim"}, 2, "--raw"},
        {{"sample"}, 2, "subcommand"},
        // Usage errors under --json: the failure as JSON too.
        {{"dump", "ROM", "1", "--json"}, 2, "--output"},
        {{"list", "ROM", "--bogus", "--json"}, 2, "--bogus"},
        {{"quality", "WAV", "--quality", "medium", "--json"}, 2, "medium"},
        {{"frob", "--json"}, 2, "unknown command 'frob'"},
        // Worded for what was given.
        {{"dump", "ROM", "--index", "abc", "-o", "OUT"}, 2, "index 'abc' is not"},
        {{"list", "ROM", "--entries", "x"}, 2, "--entries 'x' is not"},
        {{"identify", "EMPTY"}, 1, "is no GBA image"},
        {{"identify", "PNG"}, 1, "is no GBA image"},
        {{"identify", "PNG", "--json"}, 1, "is no GBA image"},
        {{"identify", "CUT"}, 1, "no cry table found", "ends before the release's cry table at 0x452590: it is cut short"},
        {{"identify", "ROM", "--table", "1000"}, 0, "", "cry table 0x1000 (given)"},
        {{"dump", "PLAIN", "--offset", "1E000", "-o", "OUT"}, 1, "declares a rate of 0 Hz, which no game plays"},
        {{"encode", "PLAIN", "WAV", "1", "--dry-run"}, 0, "", "replaces an uncompressed sample"},
        {{"quality", "SILENT"}, 0, "", "exact"},
        {{"encode", "ROM", "SILENT", "1", "--dry-run"}, 0, "", "SNR exact"},
        {{"quality", "ONE"}, 1, "holds 1 value at 44100 Hz, too few to give one at 10512 Hz"},
        // A game code that is not text: shown, in text and in JSON.
        {{"identify", "CODE"}, 0, ""},
        {{"identify", "CODE", "--json"}, 0, ""},
        {{"list", "CODE"}, 0, ""},
        {{"list", "CODE", "--json"}, 0, ""},
        // An image cut short is said so by every command that reads or writes it.
        {{"identify", "CUTOFF"}, 0, "", "shorter than entry 4 says"},
        {{"identify", "CUTOFF", "--json"}, 0, "", "\"pointed_past\""},
        {{"list", "CUTOFF"}, 0, "", "shorter than entry 4 says"},
        {{"encode", "CUTOFF", "WAV", "2", "--dry-run"}, 0, "warning: the image is"},
        // What is no sample is not dumped, whatever names it.
        {{"dump", "NOSAMPLE", "7", "-o", "OUT"}, 1, "ID 7: 0x"},
        {{"dump", "NOSAMPLE", "7", "-o", "OUT", "--json"}, 1, "holds no sample"},
        {{"dump", "ROM", "--offset", sampleOf(2, 1), "-o", "OUT"}, 1, "holds no sample"},
        {{"encode", "NOSAMPLE", "WAV", "7", "--dry-run"}, 1, "ID 7: 0x"},
        // A dead table named: the edit is planned, with a word on it.
        {{"encode", "DEAD", "WAV", "3", "--table", deadTable, "--repoint-free", "--dry-run"}, 0,
         "the game does not read the cry table at 0x"},
        // At an offset there is no entry to name, nor to repoint.
        {{"encode", "ROM", "LONG", "--offset", sampleOf(2, 0), "--force", "--dry-run"}, 0, "the sample at 0x", "",
         "entry -1"},
        {{"encode", "ROM", "LONG", "--offset", sampleOf(2, 0)}, 1, "slot at 0x", "", "--repoint-free"},
        {{"encode", "ROM", "LONG", "3"}, 1, "--repoint-free would place it"},
    };
    const std::map<std::string, std::string> before = Snapshot();
    for (const BadInput& c : cases) {
        std::vector<std::string> args;
        std::string shown;
        for (const std::string& a : c.args) {
            // "DIR/..." is a path inside the scratch folder's directory.
            args.push_back(a.rfind("DIR/", 0) == 0 ? Path("folder") + a.substr(3) : Arg(a));
            shown += a + " ";
        }
        CliResult r = Run(args, "", 10);
        EXPECT_EQ(r.status, c.status) << shown << r.err;
        if (c.status != 0) {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << r.err;
            EXPECT_NE(r.err.find(c.says), std::string::npos) << shown << r.err;
            EXPECT_EQ(r.err.find("System error"), std::string::npos) << shown << r.err;
        } else if (*c.says) {
            EXPECT_NE(r.err.find(c.says), std::string::npos) << shown << r.err;  // a warning
        } else {
            EXPECT_EQ(r.err, "") << shown;
        }
        if (c.never) {
            EXPECT_EQ((r.out + r.err).find(c.never), std::string::npos) << shown << r.out << r.err;
        }
        EXPECT_TRUE(ValidUtf8(r.out)) << shown;
        EXPECT_NE(r.out.find(c.shows), std::string::npos) << shown << r.out;
        const bool json = std::find(c.args.begin(), c.args.end(), "--json") != c.args.end();
        if (!json) {
            EXPECT_TRUE(c.status == 0 || *c.shows || r.out.empty()) << shown << r.out;
        } else if (!nlohmann::json::accept(r.out)) {
            ADD_FAILURE() << shown << "printed no JSON: " << r.out;
        } else if (c.status != 0) {
            const nlohmann::json failure = nlohmann::json::parse(r.out);
            EXPECT_EQ(failure["status"], c.status) << shown;
            EXPECT_NE(failure["error"].get<std::string>().find(c.says), std::string::npos) << shown << r.out;
        }
        if (Snapshot() != before) {
            ADD_FAILURE() << shown << "changed the files";
            Restore(before);
        }
    }
}

}  // namespace
