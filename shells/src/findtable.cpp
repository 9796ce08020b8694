// FindTable: the cry-table scan over a stream, from where it stands. Its
// answers are those of reading the stream one 4-byte word per call; reading
// that way costs far more than the comparison, so the stream is read in large
// blocks, each walked by the scan over bytes (ScanTable), with the untested
// tail of a block, shorter than one entry, carried into the next. On a match
// the stream is put back where the word-by-word reading would have left it:
// just after the entry's third word. Without a match the whole rest of the
// stream has been read, as it would have been word by word.
#include <climits>
#include <cstring>

#include "fileshells.h"

namespace {

// Bytes read per call. A multiple of the word size, so that blocks keep the
// word alignment of the start position; small enough for the stack on every
// platform the dialogs build for.
constexpr size_t ScanBlockSize = 64 * 1024;
static_assert(ScanBlockSize % 4 == 0);

}  // namespace

int FindTable(FILE* stream) {
    if (std::feof(stream)) return -1;
    const long start = std::ftell(stream);
    if (start < 0) return -1;

    // buf[0] lies at file offset base; buf holds `have` bytes, of which those
    // from `pos` on are untested.
    uint8_t buf[CryEntrySize + ScanBlockSize];
    long long base = start;
    size_t have = 0;
    size_t pos = 0;
    for (;;) {
        const size_t tail = have - pos;
        std::memmove(buf, buf + pos, tail);
        base += static_cast<long long>(pos);
        const size_t got = std::fread(buf + tail, 1, ScanBlockSize, stream);
        have = tail + got;
        const TableScan scan = ScanTable(std::span<const uint8_t>(buf, have), 0);
        if (scan.found) {
            const long long found = base + static_cast<long long>(*scan.found);
            if (found > INT_MAX - static_cast<long long>(CryEntrySize)) return -1;
            if (std::fseek(stream, static_cast<long>(found + CryEntrySize), SEEK_SET) != 0) return -1;
            return static_cast<int>(found);
        }
        if (got < ScanBlockSize) return -1;  // end of file or a read error: too few bytes left for an entry
        pos = scan.resume;
    }
}
