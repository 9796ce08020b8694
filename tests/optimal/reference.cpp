#include "reference.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

constexpr int SignedDeltas[16] = {0, 1, 4, 9, 16, 25, 36, 49, -64, -49, -36, -25, -16, -9, -4, -1};

// Signed 8-bit wrap of any integer: 128 -> -128, -129 -> 127.
int Wrap(int v) { return ((v + 128) % 256 + 256) % 256 - 128; }

uint64_t Square(int d) { return uint64_t(int64_t(d) * d); }

uint64_t PathError(const uint8_t in[BlockSamples], int count, int first, const int* indexes) {
    uint64_t error = Square(first - Signed(in[0]));
    for (int i = 1, v = first; i < count; ++i) {
        v = Wrap(v + SignedDeltas[indexes[i]]);
        error += Square(v - Signed(in[i]));
    }
    return error;
}

}  // namespace

int Signed(uint8_t b) { return b < 128 ? b : b - 256; }

std::vector<Block> BlocksOf(std::span<const uint8_t> wav) {
    std::vector<Block> blocks((wav.size() + BlockSamples - 1) / BlockSamples);
    for (auto& b : blocks) b.fill(0);
    for (size_t i = 0; i < wav.size(); ++i) blocks[i / BlockSamples][i % BlockSamples] = wav[i] ^ 0x80;
    return blocks;
}

int CountIn(size_t n, size_t b) { return static_cast<int>(std::min<size_t>(BlockSamples, n - b * BlockSamples)); }

Values DecodeLocal(const uint8_t block[BlockSize]) {
    Values v{};
    v[0] = Signed(block[0]);
    for (uint32_t i = 1; i < BlockSamples; ++i) {
        // Sample i sits in byte (i + 2) / 2: the high nibble for even i, the low for odd.
        const uint8_t byte = block[(i + 2) / 2];
        const int index = i % 2 == 0 ? byte >> 4 : byte & 0xF;
        v[i] = Wrap(v[i - 1] + SignedDeltas[index]);
    }
    return v;
}

uint64_t BlockError(const uint8_t in[BlockSamples], int count, const uint8_t block[BlockSize]) {
    const Values v = DecodeLocal(block);
    uint64_t error = 0;
    for (int i = 0; i < count; ++i) error += Square(v[i] - Signed(in[i]));
    return error;
}

uint64_t ReferenceError(const uint8_t in[BlockSamples], int count) {
    // best[i][v + 128]
    std::vector<std::array<uint64_t, 256>> best(count);
    for (int v = -128; v < 128; ++v) best[count - 1][v + 128] = Square(v - Signed(in[count - 1]));
    for (int i = count - 2; i >= 0; --i) {
        for (int v = -128; v < 128; ++v) {
            uint64_t after = std::numeric_limits<uint64_t>::max();
            for (int delta : SignedDeltas) after = std::min(after, best[i + 1][Wrap(v + delta) + 128]);
            best[i][v + 128] = Square(v - Signed(in[i])) + after;
        }
    }
    return *std::min_element(best[0].begin(), best[0].end());
}

uint64_t ExhaustiveError(const uint8_t in[BlockSamples], int count) {
    uint64_t least = std::numeric_limits<uint64_t>::max();
    int paths = 1;
    for (int i = 1; i < count; ++i) paths *= 16;
    for (int first = -128; first < 128; ++first) {
        for (int p = 0; p < paths; ++p) {
            int indexes[BlockSamples] = {};
            for (int i = 1, rest = p; i < count; ++i, rest /= 16) indexes[i] = rest % 16;
            least = std::min(least, PathError(in, count, first, indexes));
        }
    }
    return least;
}

std::array<uint8_t, BlockSize> ReferenceBlock(const uint8_t in[BlockSamples], int count) {
    // reach[i][v + 128]: the least error of positions 0..i over the paths that hold v at i.
    std::vector<std::array<uint64_t, 256>> reach(count);
    for (int v = -128; v < 128; ++v) reach[0][v + 128] = Square(v - Signed(in[0]));
    for (int i = 1; i < count; ++i) {
        for (int v = -128; v < 128; ++v) {
            uint64_t before = std::numeric_limits<uint64_t>::max();
            for (int delta : SignedDeltas) before = std::min(before, reach[i - 1][Wrap(v - delta) + 128]);
            reach[i][v + 128] = Square(v - Signed(in[i])) + before;
        }
    }
    int v = int(std::min_element(reach[count - 1].begin(), reach[count - 1].end()) - reach[count - 1].begin()) - 128;
    int indexes[BlockSamples] = {};
    for (int i = count - 1; i > 0; --i) {
        const uint64_t before = reach[i][v + 128] - Square(v - Signed(in[i]));
        int k = 0;
        while (reach[i - 1][Wrap(v - SignedDeltas[k]) + 128] != before) ++k;
        indexes[i] = k;
        v = Wrap(v - SignedDeltas[k]);
    }
    std::array<uint8_t, BlockSize> block{};
    block[0] = static_cast<uint8_t>(v);
    for (uint32_t i = 1; i < BlockSamples; ++i)
        block[(i + 2) / 2] |= static_cast<uint8_t>(i % 2 == 0 ? indexes[i] << 4 : indexes[i]);
    return block;
}
