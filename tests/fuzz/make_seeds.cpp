// Writes seed inputs built from small images in the games' own layout (packed
// samples, zero bytes between them, the reverse table after the cry table,
// program bytes around them, an FF tail), a few KiB each, into
// DIR/<target>/, in the input format each target reads. run.sh calls it
// before fuzzing, so the seeds always follow the test-data builder.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "crylib.h"
#include "testdata.h"

namespace {

constexpr size_t MaxCodecSeed = 256;  // run.sh fuzzes fuzz_codec with -max_len=300

// A plan of `count` short cries whose lengths cover a cut last block, a whole
// block and a block and a bit.
RomPlan SmallGamePlan(int count, uint32_t seed) {
    RomPlan plan;
    plan.layout = RomLayout::Game;
    plan.gameCode = "BRVG";
    plan.tableOffset = 0x500;
    plan.size = 0x900 + 0x60 * count;
    for (int i = 0; i < count; ++i) {
        const uint32_t n = (i % 3 == 1 ? 64 : 1 + (seed * 37 + 11 * i) % 90);
        plan.cries.push_back(i % 2 ? Tone(n, 300 + 50 * i, 10512) : DecayingChirp(n, 2000, 300 + i));
    }
    return plan;
}

Bytes Cat(Bytes prefix, const Bytes& image) {
    prefix.insert(prefix.end(), image.begin(), image.end());
    return prefix;
}

void Put(const std::filesystem::path& dir, const std::string& target, const std::string& name, const Bytes& bytes) {
    std::filesystem::create_directories(dir / target);
    if (!WriteFileBytes((dir / target / name).string(), bytes)) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", (dir / target / name).c_str());
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    for (int count = 1; count <= 4; ++count) {
        const RomPlan plan = SmallGamePlan(count, count);
        const Bytes rom = MakeRom(plan);
        const std::string name = "game-" + std::to_string(count) + ".bin";
        const uint32_t sample = CrySampleOffset(rom, plan, count - 1);
        uint8_t word[4];
        PutLe32(word, sample);
        Put(dir, "fuzz_dump", name, Cat({word, word + 4}, rom));
        Put(dir, "fuzz_findtable", name, Cat({0}, rom));
        // One edit on the image: replace the last cry (Auto, InPlace, Free,
        // with reclaim from two cries on) or repoint it at the first.
        const uint8_t flags = static_cast<uint8_t>(count > 1 ? 0x05 : 0x01);
        const uint8_t last = static_cast<uint8_t>(count - 1);
        const uint32_t first = CrySampleOffset(rom, plan, 0) / 4;
        const Bytes edit = count == 4 ? Bytes{flags, 4, last, static_cast<uint8_t>(first), static_cast<uint8_t>(first >> 8)}
                                      : Bytes{flags, static_cast<uint8_t>(count - 1), last, 100, 0};
        Put(dir, "fuzz_image", name, Cat(edit, rom));
        // The codec target reads short inputs: the sample and what follows
        // it, decoded from offset 0 and encoded by either coder.
        const Bytes packed(rom.begin() + sample, rom.begin() + std::min<size_t>(rom.size(), sample + MaxCodecSeed));
        Put(dir, "fuzz_codec", name, Cat({static_cast<uint8_t>(count % 2 ? 0x00 : 0x0B), 0, 0, 0xFF}, packed));
    }
    // A hack's mix of kinds: the second cry of a three-cry image stored
    // uncompressed in the FF tail, its entries' voice bytes 00 and 10.
    {
        const RomPlan plan = SmallGamePlan(3, 3);
        Bytes rom = MakeRom(plan);
        const uint32_t at = (FreeTailOffset(rom) + 3) & ~3u;
        PutUncompressedSample(rom, at, Tone(40, 900, 10512), 10512, true);
        for (uint32_t table : {plan.tableOffset, ReverseTableOffset(plan)}) {
            const uint32_t entry = table + CryEntrySize;
            rom[entry] &= 0x10;  // 20 becomes 00, 30 becomes 10
            PutLe32(&rom[entry + CryEntryPointerOfs], 0x08000000 | at);
        }
        Put(dir, "fuzz_image", "hack-mixed.bin", Cat({0x01, 0x10, 1, 20, 0}, rom));
    }
    return 0;
}
