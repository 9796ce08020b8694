// The cry-table scan. Its answers are those of the simplest reading: take the
// bytes as consecutive 4-byte words from where the scan starts, and at each word
//   - if it is not 20 3C 00 00, move on one word;
//   - else if the next word's top byte is not 08, move on past that word;
//   - else if the word after is not FF 00 FF 00, move on past that one;
//   - else the entry starts at the first of the three words.
// A failed test never backs up, so an entry that starts inside a rejected
// candidate is not found, and only positions a multiple of 4 from the start
// are ever tested.
//
// The walk runs over bytes in memory. A caller that holds them a block at a
// time (the file shell's stream scan) carries the untested tail, always
// shorter than one entry, into the next block and goes on from there.
#include <climits>
#include <cstring>

#include "crylib.h"

namespace {

constexpr size_t WordSize = 4;
constexpr uint8_t EntryHead[WordSize] = {0x20, 0x3C, 0x00, 0x00};
constexpr uint8_t EntryTail[WordSize] = {0xFF, 0x00, 0xFF, 0x00};
constexpr uint8_t RomAddressTopByte = RomAddressBase >> 24;

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

TableScan ScanTable(std::span<const uint8_t> bytes, size_t start) {
    size_t pos = start;
    while (pos <= bytes.size() && bytes.size() - pos >= CryEntrySize) {
        // Candidates whose whole entry lies in the bytes.
        const size_t end = bytes.size() - CryEntrySize + 1;
        const size_t p = FindHead(bytes.data(), pos, end);
        if (p == end) {
            pos += (end - pos + WordSize - 1) / WordSize * WordSize;
            break;
        }
        const size_t skip = RejectedSpan(bytes.data() + p);
        if (skip == 0) return {p, p};
        pos = p + skip;
    }
    return {std::nullopt, pos};
}

Result<uint32_t> FindTableIn(std::span<const uint8_t> image, size_t start) {
    const TableScan scan = ScanTable(image, start);
    if (!scan.found || *scan.found > INT_MAX)
        return Failure<uint32_t>({CoreProblem::NotFound, start, 0, image.size()});
    return {static_cast<uint32_t>(*scan.found)};
}
