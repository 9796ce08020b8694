// The best-quality block coder against the reference search, the greedy
// coder and the decoders.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "crylib.h"
#include "fileshells.h"
#include "reference.h"
#include "testdata.h"

namespace {

using Coded = std::array<uint8_t, BlockSize>;

Coded Best(const Block& in, int count) {
    Coded out;
    EncodeBlockBest(in.data(), count, out.data());
    return out;
}

Coded Greedy(const Block& in) {
    Coded out;
    EncodeBlock(in.data(), out.data());
    return out;
}

// Uniform bytes, small random walks (where most paths tie) and large steps
// that keep crossing the wrap between 127 and -128.
Block RandomBlock(std::mt19937& rng, int kind) {
    Block in;
    std::uniform_int_distribution<int> byte(0, 255), small(-3, 3), large(60, 200);
    int v = byte(rng);
    for (uint8_t& x : in) {
        v += kind == 0 ? byte(rng) : kind == 1 ? small(rng) : large(rng);
        x = static_cast<uint8_t>(v);
    }
    return in;
}

Coded RandomCoded(std::mt19937& rng) {
    Coded c;
    for (uint8_t& b : c) b = static_cast<uint8_t>(rng());
    c[1] &= 0x0F;
    return c;
}

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("brevox-optimal-" + name)).string();
}

}  // namespace

TEST(Reference, AgreesWithExhaustiveSearchOnShortBlocks) {
    std::mt19937 rng(7);
    for (int t = 0; t < 24; ++t) {
        const Block in = RandomBlock(rng, t % 3);
        const int count = 1 + t % 3;
        const uint64_t least = ExhaustiveError(in.data(), count);
        EXPECT_EQ(ReferenceError(in.data(), count), least) << "case " << t;
        EXPECT_EQ(BlockError(in.data(), count, Best(in, count).data()), least) << "case " << t;
    }
}

TEST(EncodeBlockBest, ReachesTheReferenceOptimum) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> counts(1, BlockSamples);
    for (int t = 0; t < 300; ++t) {
        const Block in = RandomBlock(rng, t % 3);
        const int count = t < 30 ? BlockSamples : counts(rng);
        EXPECT_EQ(BlockError(in.data(), count, Best(in, count).data()), ReferenceError(in.data(), count))
            << "case " << t << ", count " << count;
    }
}

TEST(EncodeBlockBest, MatchesTheFullSearchByteForByte) {
    // The coder computes only the states the greedy path's error leaves
    // possible; the plain search over every state must give the same bytes,
    // ties included, whether the greedy path is far from the optimum (random
    // bytes, large steps) or close to it (small walks, tones, decaying chirps).
    std::mt19937 rng(19);
    std::uniform_int_distribution<int> counts(1, BlockSamples);
    std::vector<Block> blocks;
    for (int t = 0; t < 600; ++t) blocks.push_back(RandomBlock(rng, t % 3));
    for (const Bytes& sound : {Tone(2000, 440), Sweep(2000, 200, 4000, 11050, 127), DecayingChirp(4000, 1500, 300, 3, 10512),
                               DecayingChirp(4000, 2000, 300), Noise(2000, 5)})
        for (const Block& b : BlocksOf(sound)) blocks.push_back(b);
    for (size_t t = 0; t < blocks.size(); ++t) {
        const int count = t % 4 == 0 ? counts(rng) : BlockSamples;
        const Coded expected = ReferenceBlock(blocks[t].data(), count);
        ASSERT_EQ(Best(blocks[t], count), expected) << "block " << t << ", count " << count;
    }
}

TEST(EncodeBlockBest, GivesBackEveryBlockTheDecoderCanPlay) {
    // A decodable input has error 0 along exactly one path (the deltas differ
    // modulo 256), so the coder must return the very block it came from.
    std::mt19937 rng(3);
    for (int t = 0; t < 50; ++t) {
        const Coded block = RandomCoded(rng);
        Block in;
        DecodeBlock(block.data(), in.data());
        EXPECT_EQ(Best(in, BlockSamples), block) << "case " << t;
    }
}

TEST(EncodeBlockBest, NeverWorseThanGreedy) {
    std::vector<Bytes> sounds = {Tone(4000, 440), Tone(4000, 2500, 11050, 127), Sweep(4000, 200, 4000, 11050, 127),
                                 Sweep(4000, 20, 300, 11050, 60), Noise(4000, 9), DecayingChirp(4000, 2000, 300)};
    Bytes wrapping(4000);  // steps of about +100 that wrap every few samples
    for (size_t i = 0; i < wrapping.size(); ++i) wrapping[i] = static_cast<uint8_t>(i * 101 + i * i % 7);
    sounds.push_back(wrapping);
    std::mt19937 rng(13);
    Bytes random(4000);
    for (uint8_t& b : random) b = static_cast<uint8_t>(rng());
    sounds.push_back(random);

    for (size_t s = 0; s < sounds.size(); ++s) {
        uint64_t best = 0, greedy = 0;
        for (const Block& in : BlocksOf(sounds[s])) {
            const uint64_t b = BlockError(in.data(), BlockSamples, Best(in, BlockSamples).data());
            const uint64_t g = BlockError(in.data(), BlockSamples, Greedy(in).data());
            ASSERT_LE(b, g) << "sound " << s;
            best += b;
            greedy += g;
        }
        EXPECT_LT(best, greedy) << "sound " << s << ": the search found nothing better anywhere";
    }
}

TEST(EncodeBlockBest, IgnoresAndZeroesPositionsPastCount) {
    std::mt19937 rng(17);
    for (int count = 1; count <= 64; count += 9) {
        Block in = RandomBlock(rng, 1);
        const Coded out = Best(in, count);
        for (int i = count; i < static_cast<int>(BlockSamples); ++i) in[i] = static_cast<uint8_t>(rng());
        EXPECT_EQ(Best(in, count), out) << "count " << count;
        EXPECT_EQ(out[1] >> 4, 0);
        const Values v = DecodeLocal(out.data());
        for (int i = count; i < static_cast<int>(BlockSamples); ++i) EXPECT_EQ(v[i], v[i - 1]) << "count " << count;
    }
}

TEST(EncodeBlockBest, BreaksTiesTowardsTheLowestValue) {
    // 0 then 2: both 0 -> 1 and 1 -> 2 miss by 1 in total; the lower ends first.
    Block in{};
    in[1] = 2;
    const Coded out = Best(in, 2);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 1);
}

TEST(EncodeSample, BestKeepsTheGreedyLayout) {
    const Bytes sound = DecayingChirp(1000, 1500, 300);
    for (uint32_t n : {0u, 1u, 63u, 64u, 65u, 1000u}) {
        const std::span<const uint8_t> wav(sound.data(), n);
        // Room for a whole last block: the blocks are read whole below.
        Bytes fast(SampleExtent(n) + BlockSize, 0xEE), best(SampleExtent(n) + BlockSize, 0xEE);
        ASSERT_EQ(EncodeSample(wav, fast, EncodeMode::Fast), SampleExtent(n));
        ASSERT_EQ(EncodeSample(wav, best, EncodeMode::Best), SampleExtent(n));
        EXPECT_TRUE(std::equal(fast.begin(), fast.begin() + SampleHeaderSize, best.begin())) << "n " << n;
        EXPECT_TRUE(std::all_of(best.begin() + SampleExtent(n), best.end(), [](uint8_t b) { return b == 0xEE; }))
            << "n " << n << ": wrote past the extent";

        // Every block is the optimum for the samples it holds.
        const auto blocks = BlocksOf(wav);
        for (size_t b = 0; b < blocks.size(); ++b) {
            const int count = CountIn(n, b);
            const uint8_t* coded = &best[SampleHeaderSize + b * BlockSize];
            EXPECT_EQ(BlockError(blocks[b].data(), count, coded), ReferenceError(blocks[b].data(), count))
                << "n " << n << ", block " << b;
        }
    }
}

TEST(EncodeSample, BestPlaysBackThroughDump) {
    const Bytes sound = Sweep(700, 200, 4000, 11050, 127);
    constexpr uint32_t Offset = 0x40;
    Bytes rom(Offset + SampleExtent(700) + BlockSize, 0xFF);  // the last block is read whole below
    ASSERT_EQ(EncodeSample(sound, std::span<uint8_t>(rom).subspan(Offset), EncodeMode::Best), SampleExtent(700));
    const std::string romPath = TempPath("dump.gba"), wavPath = TempPath("dump.wav");
    ASSERT_TRUE(WriteFileBytes(romPath, rom));

    ASSERT_EQ(Dump(romPath.c_str(), Offset, wavPath.c_str()), 700);
    const Bytes wav = ReadFileBytes(wavPath);
    ASSERT_EQ(wav.size(), 44u + 700);
    for (uint32_t i = 0; i < 700; ++i) {
        const Values v = DecodeLocal(&rom[Offset + SampleHeaderSize + i / BlockSamples * BlockSize]);
        ASSERT_EQ(wav[44 + i], static_cast<uint8_t>(v[i % BlockSamples]) ^ 0x80) << "sample " << i;
    }
    std::filesystem::remove(romPath);
    std::filesystem::remove(wavPath);
}
