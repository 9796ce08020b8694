// Every patch the command line writes, applied by a BPS patcher written apart
// from ours (tests/bps: the npm package `bps`, which checks the source's, the
// target's and the patch's CRC-32 as it applies): it must give, byte for
// byte, the image the same command writes without --patch, while the ROM
// stays as it was and the patch stays small.
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <functional>

#include "support.h"

namespace {

struct PatchCase {
    const char* what;
    // A writing command, "ROM" standing for the image; or none, for a diff of
    // the image and what `edited` makes of it.
    std::vector<std::string> args;
    std::function<Bytes(Bytes)> edited;
};

// Bytes that differ, counting those past the shorter image.
size_t Changed(const Bytes& a, const Bytes& b) {
    size_t n = std::max(a.size(), b.size()) - std::min(a.size(), b.size());
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) n += a[i] != b[i];
    return n;
}

class CliPatch : public CliGameTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(CliGameTest::SetUp());
        if (std::system("command -v node >/dev/null") != 0) GTEST_SKIP() << "no node to run the patcher";
        // A command that only writes a patch needs no write permission on the ROM.
        ASSERT_EQ(chmod(romPath.c_str(), 0444), 0);
    }

    // The independent patcher applies `patch` to `source`, writing `out`.
    CliResult Apply(const std::string& source, const std::string& patch, const std::string& out) const {
        const std::string cmd = "node " + Quote(BPS_APPLY_SCRIPT) + " " + Quote(BPS_APPLIER_DIR) + " " + Quote(source) +
                                " " + Quote(patch) + " " + Quote(out) + " 2>" + Quote(Path(".err"));
        const int raw = std::system(cmd.c_str());
        CliResult r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, "", Slurp(Path(".err"))};
        fs::remove(Path(".err"));
        return r;
    }

    // What the patch the case writes makes of the image, and the image the
    // case itself makes: the command run on a copy, or the edited image.
    void Check(const PatchCase& c) {
        SCOPED_TRACE(c.what);
        const std::string patch = Path("out.bps"), target = Path("target.gba");
        Bytes expected;
        if (c.edited) {
            expected = c.edited(rom);
            ASSERT_TRUE(WriteFileBytes(target, expected));
            CliResult r = Run({"diff", romPath, target, patch});
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_NE(r.out.find("wrote patch " + patch + " (" + std::to_string(fs::file_size(patch)) + " bytes)"),
                      std::string::npos) << r.out;
        } else {
            ASSERT_TRUE(WriteFileBytes(target, rom));
            std::vector<std::string> args = c.args;
            std::replace(args.begin(), args.end(), std::string("ROM"), target);
            CliResult r = Run(args);
            ASSERT_EQ(r.status, 0) << r.err;
            expected = ReadFileBytes(target);
            std::replace(args.begin(), args.end(), target, romPath);
            args.insert(args.end(), {"--patch", patch});
            r = Run(args);
            ASSERT_EQ(r.status, 0) << r.err;
            const std::string size = std::to_string(fs::file_size(patch));
            if (std::find(args.begin(), args.end(), "--json") == args.end()) {
                EXPECT_NE(r.out.find("wrote patch " + patch + " (" + size + " bytes); " + romPath + " left unchanged"),
                          std::string::npos) << r.out;
            } else {
                const nlohmann::json j = nlohmann::json::parse(r.out);
                EXPECT_EQ(j["patch"], patch);
                EXPECT_EQ(j["patch_bytes"].dump(), size);
            }
        }
        EXPECT_EQ(ReadFileBytes(romPath), rom);
        const size_t changed = Changed(rom, expected);
        EXPECT_LT(fs::file_size(patch), 2048 + changed) << changed << " bytes changed";
        CliResult applied = Apply(romPath, patch, Path("applied.gba"));
        ASSERT_EQ(applied.status, 0) << applied.err;
        EXPECT_EQ(ReadFileBytes(Path("applied.gba")), expected);
    }
};

TEST_F(CliPatch, ThePatcherMakesOfTheImageWhatTheCommandWrites) {
    fs::create_directory(dir / "in");
    for (int id = 1; id <= 20; ++id) {
        char name[32];
        std::snprintf(name, sizeof name, "in/cry-%03d.wav", id);
        WavOf(name, Noise(40 + 211 * (id % 7), id));  // some fit their slots, the others move
    }
    const std::vector<PatchCase> cases = {
        {"one cry in place", {"encode", "ROM", WavOf("short.wav", Noise(40, 25)), "25", "--raw"}, nullptr},
        {"into the FF tail, both tables repointed",
         {"encode", "ROM", WavOf("long.wav", Noise(3000, 2)), "7", "--repoint-free", "--raw", "--json"}, nullptr},
        {"repoint", {"repoint", "ROM", "7", Hex8(CrySampleOffset(rom, plan, 2))}, nullptr},
        {"20 cries, the moved ones' slots reclaimed", {"import", "ROM", Path("in"), "--raw", "--reclaim", "--json"}, nullptr},
        {"identical", {}, [](Bytes b) { return b; }},
        {"grown past the end", {},
         [](Bytes b) {
             b[0x1234] ^= 1;
             b.insert(b.end(), 40000, 0xFF);
             const Bytes noise = Noise(3000, 9);
             b.insert(b.end(), noise.begin(), noise.end());
             return b;
         }},
        {"cut short", {}, [](Bytes b) { b.resize(b.size() / 2 + 3); b.back() ^= 0x80; return b; }},
    };
    for (const PatchCase& c : cases) Check(c);
}

// The patcher's agreement counts only if it refuses what does not fit.
TEST_F(CliPatch, ThePatcherRefusesAnotherSourceAndADamagedPatch) {
    Bytes edited = rom;
    edited[0x2000] ^= 0xFF;
    ASSERT_TRUE(WriteFileBytes(Path("edited.gba"), edited));
    ASSERT_EQ(Run({"diff", romPath, Path("edited.gba"), Path("p.bps")}).status, 0);
    EXPECT_NE(Apply(Path("edited.gba"), Path("p.bps"), Path("out.gba")).status, 0);
    Bytes damaged = ReadFileBytes(Path("p.bps"));
    damaged[damaged.size() / 2] ^= 1;
    ASSERT_TRUE(WriteFileBytes(Path("damaged.bps"), damaged));
    EXPECT_NE(Apply(romPath, Path("damaged.bps"), Path("out.gba")).status, 0);
    EXPECT_FALSE(fs::exists(Path("out.gba")));
}

}  // namespace
