// Checked stream operations shared by the code that reads and writes ROM and
// WAV files in place.
//
// Error convention: each returns false (or a short count with `failed` set)
// instead of seeking or reading past what the platform can address.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// fseek takes a long, which is 32 bits on Windows: positions beyond LONG_MAX
// are refused rather than wrapped.
inline bool SeekTo(FILE* stream, uint64_t pos) {
    return pos <= static_cast<uint64_t>(LONG_MAX) && std::fseek(stream, static_cast<long>(pos), SEEK_SET) == 0;
}

// Reads up to `size` bytes. Returns how many arrived; a short count is the end
// of the file unless `failed` is then set (a read error).
inline size_t ReadUpTo(FILE* stream, void* dst, size_t size, bool* failed) {
    const size_t got = std::fread(dst, 1, size, stream);
    if (got < size && std::ferror(stream)) *failed = true;
    return got;
}

// A write counts only when every byte was taken.
inline bool WriteAll(FILE* stream, const void* src, size_t size) {
    return std::fwrite(src, 1, size, stream) == size;
}
