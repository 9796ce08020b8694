// Shared by the brevox-cli tests: a scratch directory per test, running the
// built program, and reading back the WAV files it writes. The Windows build
// runs them under Wine.
#pragma once

#include <gtest/gtest.h>
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "crylib.h"
#include "testdata.h"

namespace fs = std::filesystem;

struct CliResult {
    int status;
    std::string out;
    std::string err;
};

inline std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::string Quote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class CliTest : public testing::Test {
protected:
    fs::path dir;

    void SetUp() override {
        dir = fs::temp_directory_path() / ("brevox-cli-test-" + std::to_string(std::random_device{}()));
        ASSERT_TRUE(fs::create_directory(dir)) << dir;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Path(const std::string& name) const { return (dir / name).string(); }

#ifdef _WIN32
    // Runs brevox-cli with `args`, its output going to files it inherits. A
    // run that hangs is stopped after a minute and seen as status 124.
    CliResult Run(const std::vector<std::string>& args) const {
        std::string line = "\"" BREVOX_CLI_PATH "\"";
        for (const std::string& a : args) line.append(" \"").append(a).append("\"");
        std::string out = Path(".out"), err = Path(".err");
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        STARTUPINFOA start{};
        start.cb = sizeof start;
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdOutput = CreateFileA(out.c_str(), GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS, 0, nullptr);
        start.hStdError = CreateFileA(err.c_str(), GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS, 0, nullptr);
        PROCESS_INFORMATION child{};
        DWORD status = DWORD(-1);
        if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &child)) {
            if (WaitForSingleObject(child.hProcess, 60000) == WAIT_TIMEOUT) TerminateProcess(child.hProcess, 124);
            WaitForSingleObject(child.hProcess, INFINITE);
            GetExitCodeProcess(child.hProcess, &status);
            CloseHandle(child.hProcess);
            CloseHandle(child.hThread);
        }
        CloseHandle(start.hStdOutput);
        CloseHandle(start.hStdError);
        CliResult r{static_cast<int>(status), Slurp(out), Slurp(err)};
#else
    // Runs brevox-cli with `args`; `prefix` is shell text put before it
    // (limits, traps) inside the same shell. A run that hangs is stopped
    // after `seconds` and seen as status 124.
    CliResult Run(const std::vector<std::string>& args, const std::string& prefix = "", int seconds = 60) const {
        std::string cmd = prefix + "exec timeout " + std::to_string(seconds) + " " + Quote(BREVOX_CLI_PATH);
        for (const std::string& a : args) cmd.append(" ").append(Quote(a));
        std::string out = Path(".out"), err = Path(".err");
        cmd.append(" >").append(Quote(out)).append(" 2>").append(Quote(err));
        int raw = std::system(("sh -c " + Quote(cmd)).c_str());
        CliResult r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out), Slurp(err)};
#endif
        fs::remove(out);
        fs::remove(err);
        return r;
    }

    // Every file in the scratch directory other than `keep`, to catch
    // temporary files left behind.
    std::vector<std::string> Strays(const std::vector<std::string>& keep) const {
        std::vector<std::string> strays;
        for (const auto& e : fs::directory_iterator(dir)) {
            std::string name = e.path().filename().string();
            if (std::find(keep.begin(), keep.end(), name) == keep.end()) strays.push_back(name);
        }
        return strays;
    }
};

// The scratch directory holding rom.gba: 20 cries, table at 0x1000.
class CliRomTest : public CliTest {
protected:
    RomPlan plan = ToneRomPlan(20);
    Bytes rom;
    std::string romPath;

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(CliTest::SetUp());
        rom = MakeRom(plan);
        romPath = Path("rom.gba");
        ASSERT_TRUE(WriteFileBytes(romPath, rom));
    }
};

// The scratch directory holding game.gba, laid out as the games lay out theirs.
class CliGameTest : public CliTest {
protected:
    RomPlan plan = GameRomPlan();
    Bytes rom = MakeRom(plan);
    std::string romPath;

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(CliTest::SetUp());
        romPath = Path("game.gba");
        ASSERT_TRUE(WriteFileBytes(romPath, rom));
    }
    // `sound` written as the WAV file `name` at the games' rate.
    std::string WavOf(const std::string& name, const Bytes& sound) {
        const std::string path = Path(name);
        EXPECT_TRUE(WriteFileBytes(path, MakeWav(sound, 10512)));
        return path;
    }
};


// Upper-case hexadecimal without prefix, as offsets are typed.
inline std::string Hex8(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(v));
    return text;
}

// The stored length of the sample at `offset`, or -1 when unreadable.
inline int InspectLength(const Bytes& rom, uint32_t offset) {
    const Result<uint16_t> n = ReadSampleLength(rom, offset);
    return n.Ok() ? n.value : -1;
}

// The fields of a canonical WAV that these tests look at.
struct WavFile {
    uint16_t channels = 0, bits = 0;
    uint32_t rate = 0;
    Bytes data;
};

inline WavFile ParseWav(const Bytes& b) {
    WavFile w;
    if (b.size() < 44) return w;
    w.channels = GetLe16(&b[22]);
    w.rate = GetLe32(&b[24]);
    w.bits = GetLe16(&b[34]);
    w.data.assign(b.begin() + 44, b.end());
    return w;
}

// The frequency of a sine in unsigned 8-bit samples, from the first and last
// upward crossings of the midline, interpolated between samples.
inline double MeasureFrequency(const Bytes& s, double rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        double a = s[i - 1] - 128.0, b = s[i] - 128.0;
        if (a < 0 && b >= 0) {
            double t = (i - 1) + a / (a - b);
            if (first < 0) first = t;
            last = t;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * rate / (last - first) : 0;
}

// A 16-bit stereo WAV holding the same sine on both channels.
inline Bytes StereoSine16(uint32_t frames, double hz, uint32_t rate) {
    Bytes data(frames * 4);
    for (uint32_t i = 0; i < frames; ++i) {
        auto v = static_cast<int16_t>(std::lround(20000 * std::sin(2 * 3.14159265358979323846 * hz * i / rate)));
        PutLe16(&data[4 * i], static_cast<uint16_t>(v));
        PutLe16(&data[4 * i + 2], static_cast<uint16_t>(v));
    }
    return MakeWav(data, rate, 2, 16);
}

// An 8-bit mono AIFF file of unsigned samples (AIFF stores them signed,
// big-endian fields; the rate is an 80-bit float).
inline Bytes MakeAiff(const Bytes& samples, uint32_t rate) {
    auto be = [](Bytes& b, uint64_t v, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    int e = 31;
    while (!(rate >> e)) --e;
    Bytes body = {'A', 'I', 'F', 'F', 'C', 'O', 'M', 'M'};
    be(body, 18, 4);
    be(body, 1, 2);
    be(body, samples.size(), 4);
    be(body, 8, 2);
    be(body, 16383 + e, 2);
    be(body, uint64_t{rate} << (63 - e), 8);
    body.insert(body.end(), {'S', 'S', 'N', 'D'});
    be(body, samples.size() + 8, 4);
    be(body, 0, 8);
    for (uint8_t v : samples) body.push_back(v ^ 0x80);
    if (samples.size() % 2) body.push_back(0);
    Bytes file = {'F', 'O', 'R', 'M'};
    be(file, body.size(), 4);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}
