// Whole-file reads, and the one way this program replaces a file: the new
// contents go to a temporary file beside it, which is flushed, synced and
// renamed over the old file only once complete. A failure at any point
// removes the temporary file and leaves the old file as it was.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A stream closed when it goes out of scope, on every path.
struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// The whole file; fails with a message naming `what` (e.g. "ROM").
Bytes ReadWholeFile(const std::string& path, const char* what);

struct ReplaceOptions {
    // Sync the new contents to the disk before the rename: for the ROM,
    // whose old image must survive a crash; dumped WAV files skip it.
    bool sync = true;
    // When set, asked once the temporary file holds the contents; true fails
    // the write there. The seam the tests use to fail a write half-way.
    std::function<bool()> injectFailure;
};

// Writes the new contents of `path` through `fill`, which returns false when
// a write failed. An existing file keeps its permissions; a new one gets the
// usual ones (0666 less the umask).
void ReplaceFileContents(const std::string& path, const std::function<bool(FILE*)>& fill,
                         const ReplaceOptions& options = {});

// ReplaceFileContents with a byte image.
void ReplaceFileBytes(const std::string& path, const Bytes& bytes, const ReplaceOptions& options = {});

// Whether the stream is a terminal (the progress bar shows only there).
bool IsTerminal(FILE* stream);

// Makes a Windows console show the UTF-8 this program prints; elsewhere nothing.
void UseUtf8Console();

// Where --backup keeps the old image of `romPath`.
std::string BackupPath(const std::string& romPath);
