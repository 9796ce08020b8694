// brevox-web-images: the inputs of the browser page's test, written into DIR:
//   game.gba     a games' layout image (GameRomPlan) with its FF tail
//   full.gba     the same with no free tail left
//   hack.gba     the same with a few cries made uncompressed, as hacks keep
//                some of theirs, one of them at 22050 Hz, and a code word
//                pointing at the cry table
//   cut.gba      game.gba with entry 4's pointer zeroed: a table measured as 4 entries
//   twice.gba    game.gba with a copy of its cry table in the FF tail, and a word of the
//                code pointing at each: two cry tables in use, none edited until one is named
//   hifi.wav     8-bit mono at 22050 Hz, shorter than hack.gba's 22050 Hz cry
//   short.wav    8-bit mono at 10512 Hz, a block shorter than cry 5's sample: fits in place
//   over.wav     8-bit mono at 10512 Hz, a fifth longer than cry 5's sample: fits its slot
//                only at a lower rate
//   long.wav     8-bit mono at 10512 Hz, far longer than any slot
//   long.sample  long.wav as the optimal coder compresses it
//   long-decoded.wav  what that sample decodes to, as a dump writes it
//   wide.wav     16-bit stereo at 22050 Hz (noise), converted by the page
//   cd.wav       16-bit mono at 44100 Hz, a sweep from 100 Hz to 15 kHz: most of
//                it lies above a cry's Nyquist frequency, where resamplers differ
//   phase.wav    16-bit stereo at 10512 Hz, a tone on the left and its negation on
//                the right: a mix of the two is silence
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "crylib.h"
#include "image.h"
#include "samplekind.h"
#include "testdata.h"
#include "wavlib.h"

namespace {

constexpr uint32_t CodeWordAt = 0x800;  // among the program bytes before the cry table

// A cry made uncompressed in the hack-like image.
struct PlainCry {
    int index;
    uint32_t hz;
    Bytes values;
};

// game.gba as a hack changes it: each plain cry goes into the FF tail (its
// S values, then the loop value 0), both its entries point at it with the
// uncompressed voice bytes 00 and 10, and a word of the code points at the
// cry table.
Bytes MakeHack(const RomPlan& plan, Bytes rom, const std::vector<PlainCry>& cries) {
    uint32_t at = FreeTailOffset(rom);
    for (const PlainCry& cry : cries) {
        const uint32_t span = PutUncompressedSample(rom, at, cry.values);
        rom[at + span] = 0;
        PutLe32(&rom[at + SampleRateOfs], cry.hz * 1024);
        for (auto [table, kind] : {std::pair{plan.tableOffset, TableKind::Cry},
                                   std::pair{ReverseTableOffset(plan), TableKind::Reverse}}) {
            const uint32_t entry = table + CryEntrySize * uint32_t(cry.index);
            PutLe32(&rom[entry], VoiceWord(kind, SampleKind::Uncompressed));
            PutLe32(&rom[entry + CryEntryPointerOfs], RomAddressBase | at);
        }
        at = (at + span + 1 + 3) & ~3u;
    }
    PutLe32(&rom[CodeWordAt], RomAddressBase | plan.tableOffset);
    return rom;
}

// game.gba with its cry table copied to the start of the FF tail and the
// code pointing at both.
Bytes MakeTwice(const RomPlan& plan, Bytes rom) {
    const uint32_t copy = FreeTailOffset(rom), size = CryEntrySize * uint32_t(plan.cries.size());
    std::copy_n(rom.begin() + plan.tableOffset, size, rom.begin() + copy);
    PutLe32(&rom[CodeWordAt], RomAddressBase | plan.tableOffset);
    PutLe32(&rom[CodeWordAt + 4], RomAddressBase | copy);
    return rom;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: brevox-web-images DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const uint32_t rate = GameRateField / 1024;
    RomPlan plan = GameRomPlan();
    Bytes game = MakeRom(plan);
    Bytes full = game;
    for (uint32_t i = FreeTailOffset(full); i < full.size(); ++i) full[i] = 0x5A;
    Bytes cut = game;
    PutLe32(&cut[plan.tableOffset + CryEntrySize * 4 + CryEntryPointerOfs], 0);
    const uint32_t hifiRate = 22050;
    const Bytes hack = MakeHack(plan, game,
                                {{CryNumberIndex(4), hifiRate, Sweep(3000, 400, 3000, hifiRate)},
                                 {CryNumberIndex(9), 13379, Tone(1200, 500, 13379)},
                                 {SpeciesNumberIndex(302), rate, DecayingChirp(900, 1800, 250, 3, rate)}});

    Bytes shortSound = Sweep(uint32_t(plan.cries[CryNumberIndex(5)].size()) - BlockSamples, 300, 2500, rate);
    Bytes overSound = Sweep(uint32_t(plan.cries[CryNumberIndex(5)].size()) * 6 / 5, 300, 2500, rate);
    Bytes longSound = DecayingChirp(4000, 2500, 200, 2, rate);
    Bytes sample(SampleExtent(uint32_t(longSound.size())));
    EncodeSample(longSound, sample, EncodeMode::Best);
    SampleInfo info = InspectSample(sample, 0);
    Bytes wide = MakeWav(Noise(4 * 3000, 7), hifiRate, 2, 16);
    const uint32_t cdRate = 44100, cdFrames = cdRate * 3 / 10;
    Bytes cd(2 * cdFrames);
    for (uint32_t i = 0; i < cdFrames; ++i) {
        const double t = double(i) / cdRate, sweepPerSecond = (15000 - 100) / (double(cdFrames) / cdRate);
        const double phase = 2 * 3.14159265358979 * (100 * t + sweepPerSecond * t * t / 2);
        PutLe16(&cd[2 * i], uint16_t(static_cast<int16_t>(std::lround(20000 * std::sin(phase)))));
    }
    Bytes opposed(4 * 4000);
    for (uint32_t i = 0; i < 4000; ++i) {
        const auto left = static_cast<int16_t>(std::lround(12000 * std::sin(2 * 3.14159265358979 * 440 * i / rate)));
        PutLe16(&opposed[4 * i], uint16_t(left));
        PutLe16(&opposed[4 * i + 2], uint16_t(-left));
    }

    const struct {
        const char* name;
        const Bytes& bytes;
    } files[] = {{"game.gba", game},
                 {"full.gba", full},
                 {"hack.gba", hack},
                 {"cut.gba", cut},
                 {"twice.gba", MakeTwice(plan, game)},
                 {"hifi.wav", MakeWav(Sweep(2500, 3000, 500, hifiRate), hifiRate)},
                 {"short.wav", MakeWav(shortSound, rate)},
                 {"over.wav", MakeWav(overSound, rate)},
                 {"long.wav", MakeWav(longSound, rate)},
                 {"long.sample", sample},
                 {"long-decoded.wav", WavFileBytes(DecodeToUnsigned(sample, info), rate)},
                 {"wide.wav", wide},
                 {"cd.wav", MakeWav(cd, cdRate, 1, 16)},
                 {"phase.wav", MakeWav(opposed, rate, 2, 16)}};
    for (const auto& f : files) {
        if (!WriteFileBytes(dir + "/" + f.name, f.bytes)) {
            std::fprintf(stderr, "brevox-web-images: cannot write %s/%s\n", dir.c_str(), f.name);
            return 1;
        }
    }
    return 0;
}
