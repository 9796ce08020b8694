// Shared by the fuzz targets: a failed check names its line and aborts, which
// libFuzzer reports as a crash with the input that caused it; scratch files
// are per process so that parallel fuzzing jobs do not collide.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

inline void Require(bool condition, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
    if (condition) return;
    std::fprintf(stderr, "check failed at %s:%d\n", file, line);
    std::abort();
}

// A scratch file of this process, removed when the fuzzer exits normally.
struct ScratchFile {
    std::string path;
    explicit ScratchFile(const std::string& name)
        : path((std::filesystem::temp_directory_path() / ("brevox-fuzz-" + std::to_string(getpid()) + "-" + name))
                   .string()) {}
    ~ScratchFile() { std::remove(path.c_str()); }
};
