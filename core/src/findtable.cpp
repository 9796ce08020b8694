// The cry-table scan. Its answers are those of the simplest reading: take the
// stream as consecutive 4-byte words from where it stands, and at each word
//   - if it is not 20 3C 00 00, move on one word;
//   - else if the next word's top byte is not 08, move on past that word;
//   - else if the word after is not FF 00 FF 00, move on past that one;
//   - else the entry starts at the first of the three words.
// A failed test never backs up, so an entry that starts inside a rejected
// candidate is not found, and only positions a multiple of 4 from the start
// are ever tested.
//
// Reading 4 bytes per call costs far more than the comparison, so the scan
// reads large blocks and walks them, keeping the few bytes of a candidate
// that straddles the end of a block for the next one. On a match the stream
// is put back where the word-by-word reading would have left it: just after
// the entry's third word. Without a match the whole rest of the stream has
// been read, as it would have been word by word.
#include <climits>
#include <cstring>

#include "crylib.h"

namespace {

constexpr size_t WordSize = 4;
constexpr uint8_t EntryHead[WordSize] = {0x20, 0x3C, 0x00, 0x00};
constexpr uint8_t EntryTail[WordSize] = {0xFF, 0x00, 0xFF, 0x00};
constexpr uint8_t RomAddressTopByte = RomAddressBase >> 24;

// Bytes read per call. A multiple of the word size, so that blocks keep the
// word alignment of the start position; small enough for the stack on every
// platform the core builds for.
constexpr size_t ScanBlockSize = 64 * 1024;
static_assert(ScanBlockSize % WordSize == 0);

bool IsWord(const uint8_t* at, const uint8_t (&word)[WordSize]) {
    return std::memcmp(at, word, WordSize) == 0;
}

// The first p in [from, end), stepping by words from `from`, where the entry
// head lies; `end` when there is none.
//
// Runs of 32 bytes are tested first, as four 64-bit lanes of two words each:
// x = lane XOR (head, head) has a zero 32-bit half exactly where a word is
// the head, and (x - 0x0000000100000001) & ~x & 0x8000000080000000 is
// non-zero exactly when x has a zero half. Only a run that holds the head is
// walked word by word. The head is loaded in the machine's own byte order
// like the words it is compared with, so the test holds on any machine.
size_t FindHead(const uint8_t* buf, size_t from, size_t end) {
    constexpr size_t RunBytes = 32;
    constexpr uint64_t LowBits = 0x0000000100000001;
    constexpr uint64_t HighBits = 0x8000000080000000;
    uint32_t head32;
    std::memcpy(&head32, EntryHead, WordSize);
    const uint64_t head = uint64_t(head32) * LowBits;
    size_t p = from;
    for (; end - p >= RunBytes; p += RunBytes) {
        uint64_t lanes[RunBytes / 8];
        std::memcpy(lanes, buf + p, RunBytes);
        uint64_t zero = 0;
        for (uint64_t lane : lanes) {
            const uint64_t x = lane ^ head;
            zero |= (x - LowBits) & ~x & HighBits;
        }
        if (zero != 0) break;
    }
    for (; p < end; p += WordSize)
        if (IsWord(buf + p, EntryHead)) return p;
    return end;
}

// How far the word-by-word reading moves on from a head candidate at `at`
// (12 readable bytes): 0 when the entry matches, else 8 or 12.
size_t RejectedSpan(const uint8_t* at) {
    if (at[WordSize + 3] != RomAddressTopByte) return 2 * WordSize;
    if (!IsWord(at + 2 * WordSize, EntryTail)) return CryEntrySize;
    return 0;
}

}  // namespace

int FindTable(FILE* stream) {
    if (std::feof(stream)) return -1;
    const long start = std::ftell(stream);
    if (start < 0) return -1;

    // buf[0] lies at file offset base. Positions p < have are read; every
    // position from `pos` on that is tested lies a multiple of 4 from the
    // start. A refill keeps the untested tail, always shorter than one entry.
    uint8_t buf[CryEntrySize + ScanBlockSize];
    long long base = start;
    size_t have = 0;
    size_t pos = 0;
    bool atEnd = false;
    for (;;) {
        if (have - pos < CryEntrySize) {
            if (atEnd) return -1;  // too few bytes left for a whole entry
            const size_t tail = have - pos;
            std::memmove(buf, buf + pos, tail);
            base += static_cast<long long>(pos);
            const size_t got = std::fread(buf + tail, 1, ScanBlockSize, stream);
            atEnd = got < ScanBlockSize;  // end of file or a read error
            have = tail + got;
            pos = 0;
            continue;
        }
        // Candidates whose whole entry is in the buffer.
        const size_t end = have - CryEntrySize + 1;
        const size_t p = FindHead(buf, pos, end);
        if (p == end) {
            pos += (end - pos + WordSize - 1) / WordSize * WordSize;
            continue;
        }
        const size_t skip = RejectedSpan(buf + p);
        if (skip != 0) {
            pos = p + skip;
            continue;
        }
        const long long found = base + static_cast<long long>(p);
        if (found > INT_MAX - static_cast<long long>(CryEntrySize)) return -1;
        if (std::fseek(stream, static_cast<long>(found + CryEntrySize), SEEK_SET) != 0) return -1;
        return static_cast<int>(found);
    }
}

int FindTableIn(std::span<const uint8_t> image, size_t start) {
    // The same walk as FindTable's over one buffer that holds everything.
    size_t pos = start;
    while (pos <= image.size() && image.size() - pos >= CryEntrySize) {
        const size_t end = image.size() - CryEntrySize + 1;
        const size_t p = FindHead(image.data(), pos, end);
        if (p >= end) return -1;
        const size_t skip = RejectedSpan(image.data() + p);
        if (skip == 0) return p > INT_MAX ? -1 : static_cast<int>(p);
        pos = p + skip;
    }
    return -1;
}
