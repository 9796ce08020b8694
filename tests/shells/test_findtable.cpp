// FindTable reads by blocks; FindTableByWords reads one word per call, as the
// scan is defined. Both must give the same offset and leave the stream in the
// same place, wherever signatures, near misses and block edges fall.
#include <gtest/gtest.h>

#include <random>

#include "fileshells.h"
#include "support.h"

namespace {

// Writes an entry's 12 bytes at `at`: 20 3C 00 00 | 90 25 45 top | FF 00 FF 00.
// Other values of `top` or `tail0` make the near misses the scan must reject.
void Plant(Bytes& image, size_t at, uint8_t top = 0x08, uint8_t tail0 = 0xFF) {
    const uint8_t entry[CryEntrySize] = {0x20, 0x3C, 0x00, 0x00, 0x90, 0x25, 0x45, top,
                                         tail0, 0x00, 0xFF, 0x00};
    for (size_t i = 0; i < CryEntrySize && at + i < image.size(); ++i) image[at + i] = entry[i];
}

struct Outcome {
    int found;
    long position;
    bool atEnd;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "found " << o.found << ", position " << o.position << (o.atEnd ? ", at end" : "");
}

Outcome Scan(int (*scan)(FILE*), const Bytes& image, long start) {
    FILE* f = OpenCopy(image, start);
    if (f == nullptr) return {-2, -2, false};
    const int found = scan(f);
    const Outcome o = {found, std::ftell(f), std::feof(f) != 0};
    std::fclose(f);
    return o;
}

// Both scans, and every later match found by scanning on from the stream's
// position after the previous one.
void ExpectSameScans(const Bytes& image, long start) {
    FILE* fast = OpenCopy(image, start);
    FILE* plain = OpenCopy(image, start);
    ASSERT_NE(fast, nullptr);
    ASSERT_NE(plain, nullptr);
    for (int round = 0; round < 64; ++round) {
        const Outcome expected = {FindTableByWords(plain), std::ftell(plain), std::feof(plain) != 0};
        const Outcome got = {FindTable(fast), std::ftell(fast), std::feof(fast) != 0};
        EXPECT_EQ(got, expected) << "start " << start << ", match " << round;
        if (got != expected || expected.found < 0) break;
    }
    std::fclose(fast);
    std::fclose(plain);
}

struct Planted {
    size_t at;
    uint8_t top = 0x08;
    uint8_t tail0 = 0xFF;
};

TEST(FindTable, StepsByWordsAndNeverBacksUp) {
    const Outcome none = {-1, 0x200, true};
    const struct {
        const char* name;
        size_t size;
        std::vector<Planted> plants;  // in order, a later one over an earlier
        long start;
        Outcome outcome;
    } cases[] = {
        {"a whole number of words from the start", 0x200, {{0xF0}}, 0xB0, {0xF0, 0xFC, false}},
        {"off the word grid", 0x200, {{0xF2}}, 0xB0, none},
        {"on the grid of another start", 0x200, {{0xF2}}, 0xB2, {0xF2, 0xFE, false}},
        {"pointer outside the ROM addresses", 0x200, {{0xF0, 0x09}}, 0xB0, none},
        {"wrong last word", 0x200, {{0x100, 0x08, 0xFE}}, 0xB0, none},
        // 20 3C 00 00 | 20 3C 00 00 | .. .. .. 08 | FF 00 FF 00: the pointer
        // test fails on the true entry's head.
        {"head before the entry", 0x200, {{0xF0}, {0xF4}}, 0xB0, none},
        {"head before the entry, started on it", 0x200, {{0xF0}, {0xF4}}, 0xF4, {0xF4, 0x100, false}},
        // Head and pointer, then the last-word test fails on the true entry's head.
        {"head and pointer before the entry", 0x200, {{0xF0}, {0xF8}}, 0xB0, none},
        {"head and pointer before, started on it", 0x200, {{0xF0}, {0xF8}}, 0xF8, {0xF8, 0x104, false}},
        {"no entry", 0x200, {}, 0xB0, none},
        {"cut short by the end", 0x200, {{0x1F8}}, 0xB0, none},
        {"ending exactly at the end", 0x204, {{0x1F8}}, 0xB0, {0x1F8, 0x204, false}},
        {"empty file", 0, {}, 0, {-1, 0, true}},
    };
    for (const auto& c : cases) {
        Bytes image(c.size, 0x00);
        for (const Planted& p : c.plants) Plant(image, p.at, p.top, p.tail0);
        EXPECT_EQ(Scan(FindTable, image, c.start), c.outcome) << c.name;
    }
}

TEST(FindTable, FirstOfTwoEntriesWinsAndTheSecondFollowsOn) {
    Bytes image(0x200, 0x00);
    Plant(image, 0x120);
    Plant(image, 0x12C);
    FILE* f = OpenCopy(image, 0xB0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(FindTable(f), 0x120);
    EXPECT_EQ(FindTable(f), 0x12C);
    EXPECT_EQ(FindTable(f), -1);
    std::fclose(f);
}

TEST(FindTable, MatchesTheWordByWordScanAcrossBlockEdges) {
    // The signature, a rejected head whose rejection swallows it, and a
    // rejected pointer, each placed across every power-of-two boundary from
    // 4 KiB to 1 MiB (whatever block size the scan reads), at every byte shift.
    for (size_t edge = 4096; edge <= (1u << 20); edge *= 2) {
        for (int shift = -14; shift <= 2; ++shift) {
            Bytes image(edge + 64, 0x11);
            const size_t at = edge + shift;
            Plant(image, at);
            ExpectSameScans(image, 0);
            ExpectSameScans(image, 1);
            Plant(image, at - 4, 0x00);  // head before it, pointer test fails on its head
            ExpectSameScans(image, 0);
            Plant(image, at - 8, 0x08, 0x00);  // head and pointer, last word fails
            ExpectSameScans(image, 0);
        }
    }
}

TEST(FindTable, MatchesTheWordByWordScanOnRandomImages) {
    std::mt19937 random(20261208);
    for (int trial = 0; trial < 40; ++trial) {
        const size_t size = 1000 + random() % 300000;
        Bytes image = Noise(uint32_t(size), random());
        // Dense traps: whole entries, failed pointers, failed last words and
        // lone heads at every alignment, some overlapping each other.
        const int plants = 1 + int(random() % 60);
        for (int i = 0; i < plants; ++i) {
            const size_t at = random() % size;
            switch (random() % 4) {
            case 0: Plant(image, at); break;
            case 1: Plant(image, at, uint8_t(random() % 2 ? 0x09 : 0x00)); break;
            case 2: Plant(image, at, 0x08, uint8_t(random())); break;
            default: Plant(image, at, 0x08, 0x20); break;  // its last word fails as a head
            }
        }
        for (long start : {0L, 1L, 2L, 3L, 0xB0L, long(random() % size)}) ExpectSameScans(image, start);
    }
}

}  // namespace
