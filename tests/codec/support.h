// Helpers shared by the codec tests: a scratch directory per test, and the
// values a decoder must play back for a given input.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "crylib.h"
#include "testdata.h"

// A fresh directory named after the running test, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        // The clock keeps two builds' runs of the same test apart.
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        dir_ = std::filesystem::temp_directory_path() / (std::string("brevox-codec-") + test->test_suite_name() +
                                                         "-" + test->name() + "-" + std::to_string(stamp));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string File(const std::string& name) const { return (dir_ / name).string(); }

private:
    std::filesystem::path dir_;
};

// The bytes in a file of their own, open for reading at `start`; nullptr
// when it cannot be made. Not tmpfile(): under Wine, test processes run side
// by side draw the same names from it. The files take turns among a few
// names, so at most that many may be open at once.
inline FILE* OpenCopy(const Bytes& bytes, long start = 0) {
    static const ScratchDir dir;
    static int files = 0;
    const std::string path = dir.File("copy-" + std::to_string(files++ % 4) + ".bin");
    if (!WriteFileBytes(path, bytes)) return nullptr;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f && std::fseek(f, start, SEEK_SET) != 0) {
        std::fclose(f);
        return nullptr;
    }
    return f;
}

// What `run` prints on standard output.
template <class F>
std::string Printed(F run) {
    testing::internal::CaptureStdout();
    run();
    return testing::internal::GetCapturedStdout();
}

inline Bytes Repeat(Bytes head, size_t count, uint8_t value) {
    head.insert(head.end(), count, value);
    return head;
}

// The canonical 44-byte header this tool writes for n samples, followed by data.
inline Bytes DumpedWav(std::span<const uint8_t> data) { return MakeWav(data, 11050, 1, 8); }

// The canonical header for `dataSize` bytes at `rate`, spelled out.
inline Bytes CanonicalHeader(uint8_t size0, uint8_t rate0, uint8_t rate1, uint8_t data0) {
    return {'R', 'I', 'F', 'F', size0, 0x00, 0x00, 0x00, 'W', 'A', 'V', 'E',
            'f', 'm', 't', ' ', 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00,
            rate0, rate1, 0x00, 0x00, rate0, rate1, 0x00, 0x00, 0x01, 0x00, 0x08, 0x00,
            'd', 'a', 't', 'a', data0, 0x00, 0x00, 0x00};
}

// RIFF files assembled chunk by chunk, for the shapes a canonical header
// cannot express. Odd bodies get their pad byte unless told otherwise.
inline Bytes Chunk(const char tag[5], std::span<const uint8_t> body, bool pad = true) {
    Bytes c(8 + body.size() + 1);  // one allocation: g++ 12 misreads a growing insert here
    std::copy(tag, tag + 4, c.begin());
    c.resize(8);
    PutLe32(&c[4], static_cast<uint32_t>(body.size()));
    c.insert(c.end(), body.begin(), body.end());
    if (pad && body.size() % 2 == 1) c.push_back(0);
    return c;
}

inline Bytes FmtBody(uint16_t format, uint16_t channels, uint32_t rate, uint16_t bits) {
    Bytes b(16);
    PutLe16(&b[0], format);
    PutLe16(&b[2], channels);
    PutLe32(&b[4], rate);
    PutLe32(&b[8], rate * channels * bits / 8);
    PutLe16(&b[12], static_cast<uint16_t>(channels * bits / 8));
    PutLe16(&b[14], bits);
    return b;
}

inline Bytes Riff(std::initializer_list<Bytes> chunks) {
    Bytes f = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    for (const Bytes& c : chunks) f.insert(f.end(), c.begin(), c.end());
    PutLe32(&f[4], static_cast<uint32_t>(f.size() - 8));
    return f;
}
