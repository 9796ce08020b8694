// Whole-file reads, and the one way this program replaces a file: the new
// contents go to a temporary file beside it, which is flushed, synced and
// renamed over the old file only once complete. A failure at any point
// removes the temporary file and leaves the old file as it was. Nothing is
// opened before it is known to be a regular file: opening a named pipe or a
// device to read it can wait forever or never end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image.h"

using Bytes = std::vector<uint8_t>;

// A stream closed when it goes out of scope, on every path.
struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Fails, with a message naming `what` (e.g. "ROM"), the path and what it is,
// when `path` names anything but a regular file (a directory, a named pipe, a
// device, a socket). Decided from the path alone, without opening it. A path
// that does not exist passes: the open or creation that follows reports it.
void RequireRegularFile(const std::string& path, const char* what);

// The whole file, refused before it is read when it is not a regular file or
// holds more than `maxSize` bytes; fails with a message naming `what`.
Bytes ReadWholeFile(const std::string& path, const char* what, uint64_t maxSize = MaxImageSize);

struct ReplaceOptions {
    // Sync the new contents to the disk before the rename: for the ROM,
    // whose old image must survive a crash; dumped WAV files skip it.
    bool sync = true;
    // When set, asked once the temporary file holds the contents; true fails
    // the write there. The seam the tests use to fail a write half-way.
    std::function<bool()> injectFailure;
};

// Writes the new contents of `path` through `fill`, which returns false when
// a write failed. An existing file must be a regular file the user may write
// (a read-only one is refused, not replaced); it keeps its permissions, and
// its owner and group where this process may set them. A new file gets the
// usual permissions (0666 less the umask).
void ReplaceFileContents(const std::string& path, const std::function<bool(FILE*)>& fill,
                         const ReplaceOptions& options = {});

// Fails, writing nothing, where ReplaceFileContents would refuse `path`: it
// exists and is not a regular file, or the user may not write it.
void RequireReplaceable(const std::string& path);

// ReplaceFileContents with a byte image.
void ReplaceFileBytes(const std::string& path, const Bytes& bytes, const ReplaceOptions& options = {});

// Whether the stream is a terminal (the progress bar shows only there).
bool IsTerminal(FILE* stream);

// Makes a Windows console show the UTF-8 this program prints; elsewhere nothing.
void UseUtf8Console();

// Where --backup would keep the old image of `romPath` now: the first of
// ROM.bak, ROM.1.bak, ROM.2.bak, ... that does not exist.
std::string BackupPath(const std::string& romPath);

// Writes `image` as a new backup of `romPath` under the first free name of
// that series, with the ROM's permissions, and returns the name. Each name is
// created exclusively, so an existing backup is never overwritten, even by
// another process racing for the same name. Writes nothing when the ROM
// itself could not be replaced (RequireReplaceable).
std::string WriteBackup(const std::string& romPath, const Bytes& image);
