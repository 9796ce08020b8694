// The best-quality block coder: within one block, the decoder's output is
// fixed by byte 0 and the 63 delta indexes, so the indexes that minimise the
// squared error are a shortest path through 64 columns of 256 possible
// values, 16 edges out of each (a Viterbi search).
//
// Values are held in the search as unsigned WAV bytes u = value ^ 0x80. Adding
// a delta modulo 256 commutes with flipping the top bit, so the edges are the
// same, and the signed difference of two values becomes the plain difference
// u - v: the error of every state against an input is one contiguous slice of
// a table of squares.
//
// Costs are floats: every cost is an integer no larger than 64 * 255^2
// (about 4.2 million), below 2^24, so float sums and comparisons are exact,
// and a float minimum is a single vector instruction even on baseline x86-64
// (a 32-bit integer minimum is not), which lets the compiler vectorise the
// 256-state update without intrinsics.
#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "crylib.h"

namespace {

using Cost = float;

constexpr int Values = 256;
constexpr int MaxDiff = Values - 1;

static_assert(BlockSamples * MaxDiff * MaxDiff < (1 << 24), "costs must stay exact in a float");

// Squares[d + 255] = d^2 for d = -255..255.
constexpr std::array<Cost, 2 * MaxDiff + 1> Squares = [] {
    std::array<Cost, 2 * MaxDiff + 1> s{};
    for (int d = -MaxDiff; d <= MaxDiff; ++d) s[d + MaxDiff] = Cost(d * d);
    return s;
}();

// The error of every state u against the input byte x: Squares[u - x + 255].
const Cost* ErrorRow(uint8_t x) { return Squares.data() + MaxDiff - (x ^ 0x80); }

struct Search {
    // cost[i][u]: the least error of positions 0..i over all paths that reach
    // value u at position i.
    Cost cost[BlockSamples][Values];
    // The previous column twice over, so that the value u - Table[k] (mod 256)
    // lies at twice[u + from[k]] and each edge reads one contiguous run.
    Cost twice[2 * Values];
    int from[16];
};

Cost Min(Cost a, Cost b) { return b < a ? b : a; }

// cost[i][u] = error[u] + min over k of cost[i - 1][u - Table[k]]. The 15
// edges after index 0 (delta 0) are spelled out by the fold so that the loop
// over u has no inner loop and vectorises at any optimisation level.
template <size_t... K>
void Relax(Search& s, int i, const Cost* error, std::index_sequence<K...>) {
    for (int u = 0; u < Values; ++u) {
        Cost best = s.twice[u + s.from[0]];
        ((best = Min(best, s.twice[u + s.from[K + 1]])), ...);
        s.cost[i][u] = best + error[u];
    }
}

void Step(Search& s, int i, uint8_t x) {
    std::memcpy(s.twice, s.cost[i - 1], sizeof s.cost[i - 1]);
    std::memcpy(s.twice + Values, s.cost[i - 1], sizeof s.cost[i - 1]);
    Relax(s, i, ErrorRow(x), std::make_index_sequence<15>());
}

}  // namespace

// Ties, which are common, go to the lowest final value (as a WAV byte), then,
// walking back, to the lowest delta index at each step; the result depends on
// the input alone. Positions from `count` on are coded as index 0.
void EncodeBlockBest(const uint8_t in[BlockSamples], int count, uint8_t out[BlockSize]) {
    count = std::clamp(count, 1, int(BlockSamples));
    Search s;  // 66 KiB, on the stack: the coder keeps no state between blocks
    for (int k = 0; k < 16; ++k) s.from[k] = Values - Table[k];
    std::memcpy(s.cost[0], ErrorRow(in[0]), sizeof s.cost[0]);
    for (int i = 1; i < count; ++i) Step(s, i, in[i]);

    const Cost* last = s.cost[count - 1];
    int u = int(std::min_element(last, last + Values) - last);

    uint8_t index[BlockSamples] = {};
    for (int i = count - 1; i > 0; --i) {
        const Cost reached = s.cost[i][u] - ErrorRow(in[i])[u];
        int k = 0;  // costs are exact, so some edge matches; the bound only guards the table
        while (k < 15 && s.cost[i - 1][(u - Table[k]) & 0xFF] != reached) ++k;
        index[i] = uint8_t(k);
        u = (u - Table[k]) & 0xFF;
    }

    out[0] = uint8_t(u ^ 0x80);
    out[1] = index[1];
    for (uint32_t b = 2; b < BlockSize; ++b) out[b] = uint8_t(index[2 * b - 2] << 4 | index[2 * b - 1]);
}
