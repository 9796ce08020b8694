// Synthetic test data for the tests, the benchmark and the demonstration:
// ROM images with a header, a cry table and compressed samples, and WAV
// files, all built in code. No real game image is ever needed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
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
//     run) around them holding the code's pointer words to both tables, and
//     an FF tail.
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
// 0x1000, the samples after the two tables, 256 KiB in all. The first n
// cries of a longer plan are those of a shorter one with the same seed.
RomPlan GameRomPlan(int count = 388, uint32_t seed = 1);

// A plan of `count` cries of distinct lengths and pitches, table at 0x1000.
RomPlan ToneRomPlan(int count);

// Where the Game layout puts things: the reverse table right after the cry
// table (which must start at 0x440 or later), the FF run planted in the
// program area before the table, and the first byte of the FF tail.
uint32_t ReverseTableOffset(const RomPlan& plan);
constexpr uint32_t GameDecoyFreeRun = 0x400;  // 64 FF bytes amid program bytes
constexpr uint32_t GameDecoyFreeSize = 64;
uint32_t FreeTailOffset(const Bytes& rom);

// The games' code reaches each table through 32-bit words 0x08000000 + the
// table's offset, word-aligned, in its program area. The Game layout holds
// three words for the cry table and two for the reverse table at these
// offsets: after the header, before the decoy FF run and the table.
constexpr std::array<uint32_t, 3> GameCryTableWords = {0x100, 0x238, 0x2F0};
constexpr std::array<uint32_t, 2> GameReverseTableWords = {0x1A4, 0x37C};

// The rate of every sample MakeRom writes: header bytes 4-7 hold it times
// 1024 (00 40 A4 00).
constexpr uint32_t GameSampleRate = 10512;

// How a sample stores its values: compressed (header bytes 0-1 hold 1) or as
// plain signed bytes (they hold 0).
enum class SampleCoding { Compressed, Uncompressed };

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

// Writes an uncompressed sample at `at`: the header 00 00 00 00 | rate * 1024
// | loop start 0 | S = wav.size() (32 bits), then the unsigned samples stored
// as signed bytes (XOR 0x80). With `loopValue`, one more byte follows: the
// loop value 0 the games' converter writes after the S values. Other tools
// leave it out. Returns the sample's span: 16 + S, plus 1 with the loop value.
uint32_t PutUncompressedSample(Bytes& rom, uint32_t at, std::span<const uint8_t> wav,
                               uint32_t rate = GameSampleRate, bool loopValue = false);

// Hacks: images in the Game layout as their makers modify them.
//
// MakeHackRom builds the Game image of `base` (exactly MakeRom(base)) and
// then changes only these bytes, as a hack does:
//   - Rewritten entries (those in `uncompressed` or `rates`, and every added
//     one) get a new sample in the FF tail, packed as the games pack theirs:
//     each at a multiple of 4, zero bytes up to the next one. Its data holds
//     the plan's N values and its length field N - 1 (compressed: header
//     01 00 00 00 | rate * 1024 | 0 | N - 1, then the blocks up to the byte
//     holding value N - 1; uncompressed: header 00 00 00 00 | rate * 1024 |
//     0 | N - 1, then values 0 to N - 2 as signed bytes and the loop value 0
//     in place of value N - 1). The compressed sample the entry pointed at
//     stays where it was, unreferenced.
//   - An entry pointing at an uncompressed sample has the kind byte 0x00 in
//     the cry table (00 3C 00 00 | pointer | FF 00 FF 00) and 0x10 in the
//     reverse table (10 3C 00 00 ...); a compressed one 0x20 and 0x30.
//   - TableMove::None: the tables stay in place, their rewritten entries
//     point at the new samples. `added` must be empty.
//   - TableMove::Together: the cry table of all entries (base and added) is
//     written at the start of the FF tail, its reverse table right after it,
//     then the new samples. Apart: the cry table, the new samples, then the
//     reverse table, which only its own pointer words reach. Either way the
//     old tables keep their bytes (dead) and the pointer words at
//     GameCryTableWords and GameReverseTableWords are rewritten to the new
//     tables.
// At least HackFreeTail FF bytes stay at the end of the image; MakeHackRom
// throws std::invalid_argument when they would not, on an index past the
// entries, or on `added` cries with TableMove::None.
enum class TableMove { None, Together, Apart };

struct HackPlan {
    RomPlan base;                                 // a Game-layout plan: the image before the hack
    std::vector<Bytes> added;                     // cries of the entries after base's, in order
    TableMove move = TableMove::None;             // must not be None when `added` is not empty
    std::vector<int> uncompressed;                // entries stored uncompressed
    std::vector<std::pair<int, uint32_t>> rates;  // entry, rate in Hz for its new sample's header
};

struct HackEntry {
    uint32_t sample = 0;  // file offset of the sample both active tables point at
    SampleCoding coding = SampleCoding::Compressed;
    uint32_t rate = GameSampleRate;  // Hz; the header holds rate * 1024
    // The unsigned values a reader yields for it (as many as its length
    // field says, N - 1 for a cry of N values): the first N - 1 of the
    // plan's cry for an uncompressed sample, of EncReportedValues(cry) for a
    // compressed one.
    Bytes played;
};

struct HackRom {
    Bytes rom;
    uint32_t table = 0;    // the cry table the pointer words reach
    uint32_t reverse = 0;  // the reverse table they reach
    std::optional<uint32_t> oldTable, oldReverse;  // the Game image's tables, left dead by a move
    std::vector<uint32_t> cryWords, reverseWords;  // file offsets of the pointer words to each
    std::vector<HackEntry> entries;                // one per entry of the table in use
};

constexpr uint32_t HackFreeTail = 0x1000;
HackRom MakeHackRom(const HackPlan& plan);

// Ready-made hacks of GameRomPlan(388, seed), 256 KiB each:
//   Mixed: the tables in place; entries 4, 150 and 387 (the last) uncompressed.
//   Moved: the tables moved (Together or Apart) and extended to 440 entries,
//     the added cries those of GameRomPlan(440, seed) past 388; entries 4,
//     387, 389, 420 and 439 (the last) uncompressed; entry 400 compressed at
//     22050 Hz, 430 uncompressed at 13379 Hz.
//   Rates: the tables in place; entries 3 (compressed) and 10 (uncompressed)
//     at 13379 Hz, 7 (compressed) and 12 (uncompressed) at 22050 Hz.
HackPlan MixedHackPlan(uint32_t seed = 1);
constexpr int MovedHackEntries = 440;
HackPlan MovedHackPlan(TableMove move = TableMove::Together, uint32_t seed = 1);
HackPlan RatesHackPlan(uint32_t seed = 1);
