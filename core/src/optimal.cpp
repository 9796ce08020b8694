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
// Most states cannot lie on the best path: the greedy coder's path bounds the
// optimum from above, and any path through value u at position i costs at
// least the error of u there plus the least cost of column i - 1. Only the
// states within that reach of the input are computed; the others count as
// Far, which no sum within the bound can equal. A state that can lie on a path no
// worse than the bound is then computed exactly (its best predecessor is
// such a state too), and every state is computed no lower than it is, so the
// minimum and every tie the walk back compares come out as in the full
// search.
//
// Costs are floats: every cost is an integer no larger than 64 * 255^2
// (about 4.2 million), below 2^24, so float sums and comparisons are exact,
// and a float minimum is a single vector instruction even on baseline x86-64
// (a 32-bit integer minimum is not), which lets the compiler vectorise the
// 256-state update without intrinsics.
#include <algorithm>
#include <array>
#include <cmath>
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

// One step moves the value by -64 to +49 (mod 256), so the predecessors of u
// lie within u - Rise .. u + Fall.
constexpr int Rise = 49;
constexpr int Fall = 64;

// In a column unrolled from u - Rise, the predecessor u - Table[k] lies at u + From(k).
constexpr int From(size_t k) { return Rise - int8_t(Table[k]); }
static_assert(From(7) == 0 && From(8) == Rise + Fall, "the steps reach from -64 to +49");

// States are computed in runs of this many, whole vectors on any target.
constexpr int Run = 8;
// Above any cost and unchanged by adding one: the float whose four bytes are
// all FarByte (about 3.4e38), so that memset writes it.
constexpr uint8_t FarByte = 0x7F;
const Cost Far = [] {
    Cost far;
    std::memset(&far, FarByte, sizeof far);
    return far;
}();

struct Search {
    // cost[i][u]: the least error of positions 0..i over all paths that reach
    // value u at position i, for the states computed[i] = [lo, hi) only.
    Cost cost[BlockSamples][Values];
    std::pair<int, int> computed[BlockSamples];
    Cost least[BlockSamples];  // the least cost of column i
    // The previous column unrolled around the wrap, at[j] = cost[i - 1][j -
    // Rise (mod 256)] or Far, so that each edge reads one contiguous run.
    Cost at[Rise + Values + Fall];
};

bool Computed(const Search& s, int i, int u) { return u >= s.computed[i].first && u < s.computed[i].second; }

Cost Min(Cost a, Cost b) { return b < a ? b : a; }

// The squared error of the greedy coder's path over the first `count` positions.
Cost GreedyError(const uint8_t in[BlockSamples], int count) {
    Cost total = 0;
    for (int i = 1, v = in[0]; i < count; ++i) {
        v = Enc(uint8_t(v), in[i]).value;
        total += Squares[MaxDiff + int(uint8_t(v) ^ 0x80) - int(in[i] ^ 0x80)];
    }
    return total;
}

// The runs of states whose error against x stays within `slack`: [lo, hi).
std::pair<int, int> Window(uint8_t x, Cost slack) {
    const int reach = std::min(MaxDiff, int(std::sqrt(std::max(0.0, double(slack)))));
    const int u = x ^ 0x80;
    return {std::max(0, u - reach) / Run * Run, std::min(Values, (u + reach + Run) / Run * Run)};
}

// Where the loader can choose between copies of a function (ELF on x86-64),
// the update is also built for AVX2, whose vectors hold twice the states.
// The costs are exact either way, so both copies give the same bytes.
#if defined(__x86_64__) && defined(__ELF__) && (defined(__GNUC__) || defined(__clang__))
#define WIDER_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define WIDER_VECTORS
#endif

// out[u] = error[u] + min over k of cost[i - 1][u - Table[k]], read from the
// unrolled column, for the runs [lo, hi); returns the least of them. The 15
// edges after index 0 (delta 0) are spelled out by the fold so that the loop
// over a run has no inner loop and vectorises at any optimisation level; the
// least is kept a lane per element of a run, so no comparison is reordered.
template <size_t... K>
[[gnu::always_inline]] inline Cost RelaxRuns(const Cost* __restrict at, const Cost* __restrict error,
                                             Cost* __restrict out, int lo, int hi, std::index_sequence<K...>) {
    Cost least[Run];
    std::fill(least, least + Run, Far);
    for (int run = lo; run < hi; run += Run)
        for (int l = 0; l < Run; ++l) {
            const int u = run + l;
            Cost best = at[u + From(0)];
            ((best = Min(best, at[u + From(K + 1)])), ...);
            out[u] = best + error[u];
            least[l] = Min(least[l], out[u]);
        }
    return *std::min_element(least, least + Run);
}

WIDER_VECTORS Cost Relax(const Cost* at, const Cost* error, Cost* out, int lo, int hi) {
    return RelaxRuns(at, error, out, lo, hi, std::make_index_sequence<15>());
}

// s.at[j] for j in [first, last) from column i, in at most three pieces:
// Far where a state of the column was not computed.
void Unroll(Search& s, int i, int first, int last) {
    const auto [lo, hi] = s.computed[i];
    if (hi - lo < Values) std::memset(s.at + first, FarByte, sizeof(Cost) * size_t(last - first));
    for (int j = first; j < last;) {
        const int u = (j - Rise) & 0xFF;
        const int n = std::min(last - j, Values - u);
        const int from = std::max(u, lo), to = std::min(u + n, hi);
        if (from < to) std::memcpy(s.at + j + (from - u), s.cost[i] + from, sizeof(Cost) * size_t(to - from));
        j += n;
    }
}

// Column i from column i - 1.
void Step(Search& s, int i, uint8_t x, Cost bound) {
    const auto [lo, hi] = Window(x, bound - s.least[i - 1]);
    Unroll(s, i - 1, lo, hi + Rise + Fall);
    s.least[i] = Relax(s.at, ErrorRow(x), s.cost[i], lo, hi);
    s.computed[i] = {lo, hi};
}

}  // namespace

// Ties, which are common, go to the lowest final value (as a WAV byte), then,
// walking back, to the lowest delta index at each step; the result depends on
// the input alone. Positions from `count` on are coded as index 0.
void EncodeBlockBest(const uint8_t in[BlockSamples], int count, uint8_t out[BlockSize]) {
    count = std::clamp(count, 1, int(BlockSamples));
    Search s;  // 66 KiB, on the stack: the coder keeps no state between blocks
    std::memcpy(s.cost[0], ErrorRow(in[0]), sizeof s.cost[0]);
    s.computed[0] = {0, Values};
    s.least[0] = 0;  // the state equal to the input
    const Cost bound = GreedyError(in, count);
    for (int i = 1; i < count; ++i) Step(s, i, in[i], bound);

    const Cost* last = s.cost[count - 1];
    int u = int(std::min_element(last + s.computed[count - 1].first, last + s.computed[count - 1].second) - last);

    uint8_t index[BlockSamples] = {};
    for (int i = count - 1; i > 0; --i) {
        const Cost reached = s.cost[i][u] - ErrorRow(in[i])[u];
        int k = 0;  // costs are exact, so some edge matches; the bound only guards the table
        auto matches = [&](int k) {
            const int v = (u - Table[k]) & 0xFF;
            return Computed(s, i - 1, v) && s.cost[i - 1][v] == reached;
        };
        while (k < 15 && !matches(k)) ++k;
        index[i] = uint8_t(k);
        u = (u - Table[k]) & 0xFF;
    }

    out[0] = uint8_t(u ^ 0x80);
    out[1] = index[1];
    for (uint32_t b = 2; b < BlockSize; ++b) out[b] = uint8_t(index[2 * b - 2] << 4 | index[2 * b - 1]);
}
