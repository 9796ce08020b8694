// Synthetic test data for the tests, the benchmark and the demonstration:
// ROM images with a header, a cry table and compressed samples, and WAV
// files, all built in code. No real game image is ever needed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// How MakeRom lays an image out.
//   Encoder: the habits of our own encoder: whole last blocks, the exact
//     count in the length field, FF between and after the samples, one table.
//   Game: as the games' own build does: samples packed (each ends at the
//     byte holding its last value, the next starts at the following multiple
//     of 4, zero bytes between), a length field one below the values the data
//     holds, the cry table immediately followed by the reverse table (first
//     word 0x3C30), program bytes (not FF, but for one short word-aligned FF
//     run) around them, and an FF tail.
enum class RomLayout { Encoder, Game };

struct RomPlan {
    RomLayout layout = RomLayout::Encoder;
    std::string gameCode = "BRVX";   // 4 characters, written at 0xAC
    uint8_t revision = 0;            // written at 0xBC
    uint32_t size = 0x20000;         // image size before samples are appended
    uint32_t tableOffset = 0x1000;   // where the cry table starts
    uint8_t fill = 0xFF;             // filler byte of the free space
    std::vector<Bytes> cries;        // unsigned 8-bit samples, one per table entry
};

// Builds the image: header fields, a table of one 12-byte entry per cry
// (20 3C 00 00 | 0x08000000 | offset | FF 00 FF 00), and each cry encoded
// after the table at a 4-byte aligned offset. The image grows when the
// samples do not fit in `size` (Encoder layout) or throws (Game layout, whose
// size must leave room for the tables, the samples and an FF tail).
Bytes MakeRom(const RomPlan& plan);

// A plan in the Game layout: `count` cries (388 in the games) of varied
// lengths, odd and even, whole blocks and cut ones, from `seed`; the table at
// 0x1000, the samples after the two tables, 256 KiB in all.
RomPlan GameRomPlan(int count = 388, uint32_t seed = 1);

// Where the Game layout puts things: the reverse table right after the cry
// table, the FF run planted in the program area before the table, and the
// first byte of the FF tail.
uint32_t ReverseTableOffset(const RomPlan& plan);
constexpr uint32_t GameDecoyFreeRun = 0x400;  // 64 FF bytes amid program bytes
constexpr uint32_t GameDecoyFreeSize = 64;
uint32_t FreeTailOffset(const Bytes& rom);

// The values a cry decodes to: its stored length, through DecodeSample.
Bytes DecodedCry(const Bytes& rom, uint32_t sampleOffset);

// The unsigned samples a decoder yields after a greedy encoding of `wav`:
// per block, the chain of values Enc reports, starting from the block's
// first sample. Written against Enc alone, independently of the block coder.
Bytes EncReportedValues(std::span<const uint8_t> wav);

// The file offset of cry `index`'s sample in an image made by MakeRom.
uint32_t CrySampleOffset(const Bytes& rom, const RomPlan& plan, int index);

// A canonical 44-byte-header WAV around `data`. The format fields describe
// the data as given; they do not convert it.
Bytes MakeWav(std::span<const uint8_t> data, uint32_t rate = 11050, uint16_t channels = 1,
              uint16_t bits = 8);

// Generated unsigned 8-bit sounds.
Bytes Tone(uint32_t n, double hz, double rate = 11050, double amplitude = 100);
Bytes Sweep(uint32_t n, double fromHz, double toHz, double rate = 11050, double amplitude = 120);
Bytes Noise(uint32_t n, uint32_t seed);

// Whole-file helpers. ReadFileBytes returns an empty vector when the file
// cannot be read.
bool WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes);
Bytes ReadFileBytes(const std::string& path);

#include <cstdio>

// The cry-table scan read the plainest way, one 4-byte word per fread, as a
// second opinion on FindTable: the same result and the same stream position
// afterwards. A word cut short by the end of the file matches nothing.
int FindTableByWords(FILE* stream);

// A cry-like sound: a linear chirp from fromHz to toHz whose amplitude falls
// exponentially, by a factor e every 1/decayPerSecond seconds.
Bytes DecayingChirp(uint32_t n, double fromHz, double toHz, double decayPerSecond = 3, double rate = 11050,
                    double amplitude = 120);

// The generated part of the encoder quality set, each sound one second at
// 11050 Hz: tones, sweeps (among them a loud 200 to 4000 Hz one), noise, a
// cry-like chirp and a full-scale square wave whose edges cross the wrap.
struct NamedSound {
    std::string name;
    Bytes wav;  // unsigned 8-bit samples
};
std::vector<NamedSound> QualitySet();

// A second table at `at` in an image made by MakeRom: one 12-byte entry per
// cry whose pointer word equals the cry table's, as the reverse-cry table of
// the games holds; its first word is `firstWord`.
void AddSecondTable(Bytes& rom, const RomPlan& plan, uint32_t at, uint32_t firstWord = 0x00003C30);

// Writes an uncompressed sample at `at`: a header whose bytes 0-1 hold 0,
// then the unsigned samples stored as signed bytes. Returns its span.
uint32_t PutUncompressedSample(Bytes& rom, uint32_t at, std::span<const uint8_t> wav);
