// The cry-table scan over bytes: where it accepts an entry, what it rejects
// without backing up, and that a scan carried from block to block through
// ScanTable's resume point finds what the scan over the whole image finds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

#include "crylib.h"
#include "testdata.h"

namespace {

// 20 3C 00 00 | 90 25 45 top | tail0 00 FF 00 at `at`.
void Plant(Bytes& image, size_t at, uint8_t top = 0x08, uint8_t tail0 = 0xFF) {
    const uint8_t entry[CryEntrySize] = {0x20, 0x3C, 0x00, 0x00, 0x90, 0x25, 0x45, top, tail0, 0x00, 0xFF, 0x00};
    for (size_t i = 0; i < CryEntrySize && at + i < image.size(); ++i) image[at + i] = entry[i];
}

// FindTableIn's answer, -1 for NotFound.
long long Found(const Bytes& image, size_t start) {
    const Result<uint32_t> r = FindTableIn(image, start);
    if (r.Ok()) return r.value;
    EXPECT_EQ(r.error->code, CoreProblem::NotFound);
    EXPECT_EQ(r.error->offset, start);
    return -1;
}

// The same scan fed `block` bytes at a time, as a stream shell feeds it.
long long FoundByBlocks(const Bytes& image, size_t start, size_t block) {
    Bytes held;
    size_t base = start, next = start;
    for (;;) {
        const size_t take = next < image.size() ? std::min(block, image.size() - next) : 0;
        held.insert(held.end(), image.begin() + long(next), image.begin() + long(next + take));
        next += take;
        const TableScan scan = ScanTable(held, 0);
        if (scan.found) return static_cast<long long>(base + *scan.found);
        if (take < block) return -1;
        EXPECT_LT(held.size() - scan.resume, CryEntrySize);
        held.erase(held.begin(), held.begin() + long(scan.resume));
        base += scan.resume;
    }
}

TEST(ScanTable, StepsByWordsAndNeverBacksUp) {
    const struct {
        const char* name;
        size_t size;
        std::vector<std::array<size_t, 3>> plants;  // at, top byte, first byte of the last word
        size_t start;
        long long found;
    } cases[] = {
        {"a whole number of words from the start", 0x200, {{0xF0, 8, 0xFF}}, 0xB0, 0xF0},
        {"off the word grid", 0x200, {{0xF2, 8, 0xFF}}, 0xB0, -1},
        {"on the grid of another start", 0x200, {{0xF2, 8, 0xFF}}, 0xB2, 0xF2},
        {"pointer outside the ROM addresses", 0x200, {{0xF0, 9, 0xFF}}, 0xB0, -1},
        {"wrong last word", 0x200, {{0x100, 8, 0xFE}}, 0xB0, -1},
        {"head before the entry", 0x200, {{0xF0, 8, 0xFF}, {0xF4, 8, 0xFF}}, 0xB0, -1},
        {"head and pointer before the entry", 0x200, {{0xF0, 8, 0xFF}, {0xF8, 8, 0xFF}}, 0xB0, -1},
        {"cut short by the end", 0x200, {{0x1F8, 8, 0xFF}}, 0xB0, -1},
        {"ending exactly at the end", 0x204, {{0x1F8, 8, 0xFF}}, 0xB0, 0x1F8},
        {"start past the end", 0x200, {{0xF0, 8, 0xFF}}, 0x300, -1},
        {"empty image", 0, {}, 0, -1},
    };
    for (const auto& c : cases) {
        Bytes image(c.size, 0x00);
        for (const auto& p : c.plants) Plant(image, p[0], uint8_t(p[1]), uint8_t(p[2]));
        EXPECT_EQ(Found(image, c.start), c.found) << c.name;
        for (size_t block : {12, 13, 64, 4096}) EXPECT_EQ(FoundByBlocks(image, c.start, block), c.found) << c.name;
    }
}

TEST(ScanTable, BlockByBlockFindsWhatTheWholeScanFinds) {
    std::mt19937 random(20261209);
    for (int trial = 0; trial < 200; ++trial) {
        const size_t size = 24 + random() % 3000;
        Bytes image = Noise(uint32_t(size), random());
        for (int i = 0, plants = 1 + int(random() % 12); i < plants; ++i) {
            const size_t at = random() % size;
            switch (random() % 3) {
            case 0: Plant(image, at); break;
            case 1: Plant(image, at, 0x09); break;
            default: Plant(image, at, 0x08, 0x20); break;  // its last word fails as a head
            }
        }
        const size_t start = random() % 8;
        const long long whole = Found(image, start);
        for (size_t block : {12, 16, 100, 1024}) EXPECT_EQ(FoundByBlocks(image, start, block), whole) << trial;
    }
}

}  // namespace
