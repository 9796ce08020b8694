// brevox-gen: writes synthetic ROM images and WAV files for the end-to-end
// tests of the dialog programs and for the demonstration.
//
//   brevox-gen e2e DIR                    test images, WAVs, the outputs the
//                                         tests expect, and DIR/expect.sh
//   brevox-gen demo DIR [SPEECH.wav...]   DIR/demo.gba and two WAVs to encode
//   brevox-gen hacks DIR                  images as hacks leave them (mixed.gba,
//                                         moved.gba, moved-apart.gba, rates.gba)
//                                         and DIR/layout.sh, where things lie
//
// Every image has a cry table the scan finds; only the test images named
// after a release carry a known game code.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "crylib.h"
#include "romid.h"
#include "testdata.h"
#include "wavlib.h"

namespace {

// Entries up to index 410, so that every ID of both builds lands in the table.
constexpr int TableEntries = LastId;
// The cry table of the games' images.
constexpr int GameCryCount = 388;

bool Write(const std::string& dir, const char* name, const Bytes& bytes) {
    std::string path = dir + "/" + name;
    if (WriteFileBytes(path, bytes)) return true;
    std::fprintf(stderr, "brevox-gen: cannot write %s\n", path.c_str());
    return false;
}

// The WAV file Dump writes for the sample at offset.
Bytes DumpedWav(const Bytes& rom, uint32_t offset) {
    Bytes data(ReadSampleLength(rom, offset).value);
    DecodeSample(rom, offset, data);
    return MakeWav(data);
}

// The image after Compress has written `sound` at offset.
Bytes Encoded(Bytes rom, uint32_t offset, const Bytes& sound) {
    Bytes sample(SampleExtent(uint32_t(sound.size())));
    EncodeSample(sound, sample);
    if (rom.size() < offset + sample.size()) rom.resize(offset + sample.size(), 0);
    std::memcpy(rom.data() + offset, sample.data(), sample.size());
    return rom;
}

// The image after entry `index` of each table has been pointed at offset.
Bytes Repointed(Bytes rom, std::initializer_list<uint32_t> tableOffsets, int index, uint32_t offset) {
    for (uint32_t table : tableOffsets)
        PutLe32(&rom[table + CryEntrySize * uint32_t(index) + CryEntryPointerOfs], RomAddressBase | offset);
    return rom;
}

// A hack's image: the games' layout with entry `index` made uncompressed,
// as hacks store some cries. Its sample, `values` and the loop value 0, lies
// in the FF tail, where its cry and reverse entries point with the voice
// bytes 00 and 10.
Bytes WithUncompressedCry(Bytes rom, const RomPlan& plan, int index, const Bytes& values, uint32_t* at) {
    *at = FreeTailOffset(rom);
    rom[*at + PutUncompressedSample(rom, *at, values)] = 0;
    const uint8_t voices[] = {0x00, 0x10};
    const uint32_t tables[] = {plan.tableOffset, ReverseTableOffset(plan)};
    for (int t = 0; t < 2; ++t) {
        const uint32_t entry = tables[t] + CryEntrySize * uint32_t(index);
        rom[entry] = voices[t];
        PutLe32(&rom[entry + CryEntryPointerOfs], RomAddressBase | *at);
    }
    return rom;
}

// The first cry of an image in the games' layout whose last block, written
// whole, would run into the next cry. Its ID addresses it in both ID rules.
int FirstPackedCry(const Bytes& rom, const RomPlan& plan) {
    int index = 0;
    for (; index + 2 < int(plan.cries.size()); ++index) {
        const uint32_t offset = CrySampleOffset(rom, plan, index);
        const uint16_t n = ReadSampleLength(rom, offset).value;
        if (offset + SampleHeaderSize + BlockSize * BlockCount(n) > CrySampleOffset(rom, plan, index + 1)) break;
    }
    return index;
}

RomPlan HeaderOnly(const char* code, uint8_t revision) {
    RomPlan plan;
    plan.gameCode = code;
    plan.revision = revision;
    plan.size = 0x400;
    plan.tableOffset = 0x400;  // no entries: identified by its code alone
    return plan;
}

int WriteE2e(const std::string& dir) {
    // Cry i is a tone of 20 + i samples, so every entry's sample differs in
    // offset and length.
    RomPlan cries;
    for (int i = 0; i < TableEntries; i++) cries.cries.push_back(Tone(20 + i, 300 + 7 * i));
    Bytes rom = MakeRom(cries);
    auto offset = [&](int index) { return CrySampleOffset(rom, cries, index); };

    Bytes longer = Sweep(300, 200, 3000);  // 5 blocks where entry 0 has 1
    Bytes shorter = Tone(10, 880);         // fits in entry 2's single block
    Bytes encodedLonger = Encoded(rom, offset(0), longer);
    Bytes wide = MakeWav(Tone(64, 440), 11050, 2, 16);

    // The games' layout: a cry whose last block, written whole, would reach
    // the next cry's header, replaced by a sound of its stored length.
    RomPlan game = GameRomPlan();
    Bytes gameRom = MakeRom(game);
    const int packed = FirstPackedCry(gameRom, game);
    const uint16_t packedLength = ReadSampleLength(gameRom, CrySampleOffset(gameRom, game, packed)).value;
    Bytes same = Sweep(packedLength, 250, 2800);
    const uint32_t gameEntry5 = CrySampleOffset(gameRom, game, 5);

    // A hack's image: one cry uncompressed, dumped as it is, and encoded
    // over with a compressed sample, after which both its entries say so.
    constexpr int hacked = 7;
    const Bytes hackValues = Sweep(500, 300, 2400);
    uint32_t hackAt = 0;
    const Bytes hackRom = WithUncompressedCry(gameRom, game, hacked, hackValues, &hackAt);
    Bytes encodedHack = Encoded(hackRom, hackAt, shorter);
    encodedHack[game.tableOffset + CryEntrySize * hacked] = 0x20;
    encodedHack[ReverseTableOffset(game) + CryEntrySize * hacked] = 0x30;

    bool ok = Write(dir, "axve.gba", MakeRom(HeaderOnly("AXVE", 1))) &&
              Write(dir, "axve-rev2.gba", MakeRom(HeaderOnly("AXVE", 2))) &&
              Write(dir, "axpe-rev2.gba", MakeRom(HeaderOnly("AXPE", 2))) &&
              Write(dir, "unknown.gba", MakeRom(HeaderOnly("ZZZZ", 0))) &&
              Write(dir, "cries.gba", rom) &&
              Write(dir, "cry1.wav", DumpedWav(rom, offset(0))) &&
              Write(dir, "longer.wav", MakeWav(longer)) &&
              Write(dir, "shorter.wav", MakeWav(shorter)) &&
              Write(dir, "wide.wav", wide) &&
              Write(dir, "encoded-longer.gba", encodedLonger) &&
              Write(dir, "longer-back.wav", DumpedWav(encodedLonger, offset(0))) &&
              Write(dir, "encoded-shorter.gba", Encoded(rom, offset(2), shorter)) &&
              Write(dir, "repointed.gba", Repointed(rom, {cries.tableOffset}, 1, offset(5))) &&
              Write(dir, "game.gba", gameRom) &&
              Write(dir, "same.wav", MakeWav(same)) &&
              Write(dir, "encoded-game.gba", Encoded(gameRom, CrySampleOffset(gameRom, game, packed), same)) &&
              Write(dir, "repointed-game.gba", Repointed(gameRom, {game.tableOffset, ReverseTableOffset(game)}, 1,
                                                         gameEntry5)) &&
              Write(dir, "hack.gba", hackRom) &&
              Write(dir, "hack-cry.wav", MakeWav(hackValues)) &&
              Write(dir, "encoded-hack.gba", encodedHack);
    if (!ok) return 1;

    std::string path = dir + "/expect.sh";
    FILE* out = std::fopen(path.c_str(), "w");
    if (!out) {
        std::fprintf(stderr, "brevox-gen: cannot write %s\n", path.c_str());
        return 1;
    }
    std::fprintf(out, "TABLE=%X\n", cries.tableOffset);
    for (int index : {0, 1, 2, 5, 200, 273, 276, 387, 410})
        std::fprintf(out, "ENTRY%d=%X\nLENGTH%d=%X\n", index, offset(index), index, 20 + index);
    std::fprintf(out, "LONGER_SIZE=%X\nSHORTER_SIZE=%X\n", unsigned(longer.size()), unsigned(shorter.size()));
    std::fprintf(out, "GAME_TABLE=%X\nGAME_ID=%d\nGAME_ENTRY=%X\nGAME_ENTRY5=%X\n", game.tableOffset, packed + 1,
                 CrySampleOffset(gameRom, game, packed), gameEntry5);
    std::fprintf(out, "HACK_ID=%d\nHACK_ENTRY=%X\n", hacked + 1, hackAt);
    return std::fclose(out) == 0 ? 0 : 1;
}

// The audio of an 8-bit mono WAV, cut to the longest sample a cry can hold.
bool ReadSound(const char* path, Bytes* sound) {
    Bytes file = ReadFileBytes(path);
    WavInfo info;
    if (ParseWavInfo(file.data(), file.size(), &info) != WavOk) {
        std::fprintf(stderr, "brevox-gen: %s is not an 8-bit mono WAV\n", path);
        return false;
    }
    uint32_t n = info.dataSize < MaxSampleLength ? info.dataSize : MaxSampleLength;
    sound->assign(file.begin() + info.dataOffset, file.begin() + info.dataOffset + n);
    return true;
}

int WriteDemo(const std::string& dir, int speechCount, char** speechPaths) {
    // Laid out as the games lay out theirs: 388 packed cries, the reverse
    // table right after the cry table (IDs 389 to 411 land on it and play
    // cries 1 to 23 again), program bytes around them, an FF tail. 1 MiB
    // holds the notes and two speech cries of the longest kind.
    RomPlan demo;
    demo.layout = RomLayout::Game;
    demo.gameCode = "BRVD";
    demo.tableOffset = 0x3A8C0;
    demo.size = 0x100000;
    demo.cries.push_back(Tone(5525, 440));
    demo.cries.push_back(Sweep(6600, 150, 2500));
    for (int i = 0; i < speechCount; i++) {
        Bytes sound;
        if (!ReadSound(speechPaths[i], &sound)) return 1;
        demo.cries.push_back(sound);
    }
    // The rest of the table: short notes up a scale with a burst of noise in
    // front, one per entry.
    while (demo.cries.size() < size_t(GameCryCount)) {
        int step = int(demo.cries.size()) % 24;
        Bytes cry = Noise(300, uint32_t(demo.cries.size()));
        Bytes note = Tone(2200, 220 * std::pow(2.0, step / 12.0), 11050, 90);
        cry.insert(cry.end(), note.begin(), note.end());
        demo.cries.push_back(cry);
    }
    bool ok = Write(dir, "demo.gba", MakeRom(demo)) &&
              Write(dir, "chirp.wav", MakeWav(Sweep(4000, 2400, 300))) &&
              Write(dir, "beep.wav", MakeWav(Tone(1500, 1000)));
    return ok ? 0 : 1;
}

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", v);
    return text;
}

// PREFIX_NAME="a b c": one shell word per item.
void PutList(FILE* out, const char* prefix, const char* name, const std::vector<std::string>& items) {
    std::fprintf(out, "%s_%s=\"", prefix, name);
    for (size_t i = 0; i < items.size(); ++i) std::fprintf(out, "%s%s", i ? " " : "", items[i].c_str());
    std::fprintf(out, "\"\n");
}

// One hack image's layout as shell assignments whose names start with
// `prefix`: offsets in hexadecimal without 0x, counts and rates in decimal,
// an empty value for an old table that is not there, and lists of one word
// per pointer word or per entry (its sample, coding, rate and stored length).
void PutLayout(FILE* out, const char* prefix, const HackRom& hack) {
    std::vector<std::string> cryWords, reverseWords, samples, codings, rates, lengths;
    for (uint32_t w : hack.cryWords) cryWords.push_back(Hex(w));
    for (uint32_t w : hack.reverseWords) reverseWords.push_back(Hex(w));
    for (const HackEntry& e : hack.entries) {
        samples.push_back(Hex(e.sample));
        codings.push_back(e.coding == SampleCoding::Compressed ? "compressed" : "uncompressed");
        rates.push_back(std::to_string(e.rate));
        lengths.push_back(std::to_string(e.played.size()));
    }
    std::fprintf(out, "%s_TABLE=%X\n%s_REVERSE=%X\n%s_ENTRIES=%zu\n", prefix, hack.table, prefix, hack.reverse,
                 prefix, hack.entries.size());
    std::fprintf(out, "%s_OLD_TABLE=%s\n%s_OLD_REVERSE=%s\n", prefix,
                 hack.oldTable ? Hex(*hack.oldTable).c_str() : "", prefix,
                 hack.oldReverse ? Hex(*hack.oldReverse).c_str() : "");
    PutList(out, prefix, "CRY_WORDS", cryWords);
    PutList(out, prefix, "REVERSE_WORDS", reverseWords);
    PutList(out, prefix, "SAMPLES", samples);
    PutList(out, prefix, "CODINGS", codings);
    PutList(out, prefix, "RATES", rates);
    PutList(out, prefix, "LENGTHS", lengths);
}

int WriteHacks(const std::string& dir) {
    const struct {
        const char* file;
        const char* prefix;
        HackPlan plan;
    } hacks[] = {
        {"mixed.gba", "MIXED", MixedHackPlan()},
        {"moved.gba", "MOVED", MovedHackPlan(TableMove::Together)},
        {"moved-apart.gba", "MOVED_APART", MovedHackPlan(TableMove::Apart)},
        {"rates.gba", "RATES", RatesHackPlan()},
    };
    std::string path = dir + "/layout.sh";
    FILE* out = std::fopen(path.c_str(), "w");
    if (!out) {
        std::fprintf(stderr, "brevox-gen: cannot write %s\n", path.c_str());
        return 1;
    }
    bool ok = true;
    for (const auto& h : hacks) {
        const HackRom hack = MakeHackRom(h.plan);
        ok = ok && Write(dir, h.file, hack.rom);
        std::fprintf(out, "# %s\n", h.file);
        PutLayout(out, h.prefix, hack);
    }
    ok = !std::ferror(out) && ok;
    return std::fclose(out) == 0 && ok ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: brevox-gen e2e DIR\n"
                 "       brevox-gen demo DIR [SPEECH.wav...]\n"
                 "       brevox-gen hacks DIR\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    if (std::strcmp(argv[1], "e2e") == 0 && argc == 3) return WriteE2e(argv[2]);
    if (std::strcmp(argv[1], "demo") == 0) return WriteDemo(argv[2], argc - 3, argv + 3);
    if (std::strcmp(argv[1], "hacks") == 0 && argc == 3) return WriteHacks(argv[2]);
    return Usage();
}
