#include "testdata.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "crylib.h"
#include "packing.h"

constexpr uint32_t GameCodeAt = 0xAC;
constexpr uint32_t RevisionAt = 0xBC;
constexpr uint32_t GameCodeRoom = 0x200;  // program bytes after the samples, before the FF tail
constexpr uint32_t CryFirstWord = EntryFirstWord(TableSide::Cry, SampleCoding::Compressed);  // 20 3C 00 00
constexpr double Pi = 3.14159265358979323846;

// One step of xorshift32, the generator of every pseudo-random byte here; it
// must not start from 0.
static uint32_t NextXorshift(uint32_t& x) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

void PutEntry(uint8_t* entry, uint32_t firstWord, uint32_t sample) {
    PutLe32(entry, firstWord);
    PutLe32(entry + CryEntryPointerOfs, RomAddressBase | sample);
    PutLe32(entry + 8, EntryLastWord);
}

void PutTableWords(Bytes& rom, uint32_t table, uint32_t reverse) {
    for (uint32_t at : GameCryTableWords) PutLe32(&rom[at], RomAddressBase + table);
    for (uint32_t at : GameReverseTableWords) PutLe32(&rom[at], RomAddressBase + reverse);
}

// Header bytes 4-7: the rate in Hz times 1024.
static uint32_t RateWord(uint32_t rate) {
    if (rate == 0 || rate > UINT32_MAX / 1024) throw std::invalid_argument("sample header: a rate of 1 to 4194303 Hz");
    return rate * 1024;
}

uint32_t PackedSpan(size_t n, SampleCoding coding) {
    return coding == SampleCoding::Compressed ? SampleExtent(static_cast<uint32_t>(n))
                                            : SampleHeaderSize + static_cast<uint32_t>(n);
}

uint32_t PutPackedSample(Bytes& rom, uint32_t at, std::span<const uint8_t> cry, SampleCoding coding, uint32_t rate) {
    if (cry.empty() || cry.size() > MaxSampleLength) throw std::invalid_argument("MakeRom: cry of 1 to 65535 values");
    const uint32_t span = PackedSpan(cry.size(), coding);
    const uint32_t next = AlignUp4(uint64_t{at} + span);
    if (next > rom.size()) throw std::invalid_argument("MakeRom: sample outside the image");
    if (coding == SampleCoding::Compressed) {
        const uint32_t rateWord = RateWord(rate);
        EncodeSample(cry, std::span<uint8_t>(rom).subspan(at, span));
        PutLe16(&rom[at + SampleLengthOfs], static_cast<uint16_t>(cry.size() - 1));
        PutLe32(&rom[at + SampleRateOfs], rateWord);
    } else {
        PutUncompressedSample(rom, at, cry.first(cry.size() - 1), rate, true);
    }
    std::fill(rom.begin() + at + span, rom.begin() + next, 0);
    return next;
}

namespace {

// Program bytes: anything but a run of FF. A fixed xorshift stream with FF
// turned into 0x7E, so that no FF run appears by chance.
void FillProgram(Bytes& rom, uint64_t from, uint64_t to, uint32_t seed) {
    uint32_t x = seed | 1;
    for (uint64_t i = from; i < to && i < rom.size(); ++i) {
        const uint8_t b = static_cast<uint8_t>(NextXorshift(x) >> 24);
        rom[i] = b == 0xFF ? 0x7E : b;
    }
}

void PutHeaderFields(Bytes& rom, const RomPlan& plan) {
    std::copy_n(plan.gameCode.begin(), std::min<size_t>(plan.gameCode.size(), 4), rom.begin() + GameCodeAt);
    rom[RevisionAt] = plan.revision;
}

// The games' packing: data for N values, a length field of N - 1, zero bytes
// up to the next multiple of 4.
Bytes MakeGameRom(const RomPlan& plan) {
    if (plan.tableOffset < GameDecoyFreeRun + GameDecoyFreeSize) {
        throw std::invalid_argument("MakeRom: a Game layout's table starts at 0x440 or later, after its program area");
    }
    Bytes rom(plan.size, 0xFF);
    const uint32_t reverse = ReverseTableOffset(plan);
    const uint64_t tablesEnd = uint64_t{reverse} + CryEntrySize * plan.cries.size();
    const uint32_t samplesStart = AlignUp4(tablesEnd + 0x100);
    if (samplesStart > rom.size()) throw std::invalid_argument("MakeRom: image too small for its tables");
    FillProgram(rom, 0, samplesStart, 0xB5EED);
    std::fill_n(rom.begin() + GameDecoyFreeRun, GameDecoyFreeSize, 0xFF);
    PutTableWords(rom, plan.tableOffset, reverse);
    PutHeaderFields(rom, plan);
    constexpr SampleCoding coding = SampleCoding::Compressed;
    uint32_t at = samplesStart;
    for (size_t i = 0; i < plan.cries.size(); ++i) {
        const Bytes& cry = plan.cries[i];
        const uint32_t next = AlignUp4(uint64_t{at} + PackedSpan(cry.size(), coding));
        if (uint64_t{next} + GameCodeRoom > rom.size()) throw std::invalid_argument("MakeRom: image too small for the cries");
        PutPackedSample(rom, at, cry, coding, GameSampleRate);
        PutEntry(&rom[plan.tableOffset + CryEntrySize * i], EntryFirstWord(TableSide::Cry, coding), at);
        PutEntry(&rom[reverse + CryEntrySize * i], EntryFirstWord(TableSide::Reverse, coding), at);
        at = next;
    }
    FillProgram(rom, at, at + GameCodeRoom, 0xC0DE);  // code after the samples, then the FF tail
    return rom;
}

}  // namespace

uint32_t ReverseTableOffset(const RomPlan& plan) {
    return plan.tableOffset + CryEntrySize * static_cast<uint32_t>(plan.cries.size());
}

uint32_t FreeTailOffset(const Bytes& rom) {
    size_t end = rom.size();
    while (end > 0 && rom[end - 1] == 0xFF) --end;
    return AlignUp4(end);
}

Bytes DecodedCry(const Bytes& rom, uint32_t sampleOffset) {
    const Result<uint16_t> n = ReadSampleLength(rom, sampleOffset);
    if (!n.Ok()) return {};
    Bytes values(n.value);
    DecodeSample(rom, sampleOffset, values);
    return values;
}

Bytes EncReportedValues(std::span<const uint8_t> wav) {
    Bytes out(wav.size());
    uint8_t current = 0;
    for (size_t s = 0; s < wav.size(); ++s) {
        const uint8_t target = wav[s] ^ 0x80;
        current = s % BlockSamples == 0 ? target : Enc(current, target).value;
        out[s] = current ^ 0x80;
    }
    return out;
}

RomPlan ToneRomPlan(int count) {
    RomPlan plan;
    for (int i = 0; i < count; ++i) plan.cries.push_back(Tone(300 + 37 * i, 200 + 50 * i));
    return plan;
}

RomPlan GameRomPlan(int count, uint32_t seed) {
    RomPlan plan;
    plan.layout = RomLayout::Game;
    plan.gameCode = "BRVG";
    plan.size = 0x40000;
    uint32_t x = seed | 1;
    for (int i = 0; i < count; ++i) {
        NextXorshift(x);
        // 2 to 450 values (a stored length of 1 to 449; no cry is empty):
        // every remainder mod 64 turns up, whole blocks too.
        const uint32_t n = i % 7 == 3 ? 1 + 64 * (1 + x % 6) : 2 + x % 449;
        plan.cries.push_back(i % 2 ? Tone(n, 200 + 11 * i, 10512, 60 + i % 60) : DecayingChirp(n, 2000, 300 + i));
    }
    return plan;
}

Bytes MakeRom(const RomPlan& plan) {
    if (plan.layout == RomLayout::Game) return MakeGameRom(plan);
    Bytes rom(plan.size, plan.fill);
    const uint64_t tableEnd = uint64_t{plan.tableOffset} + CryEntrySize * plan.cries.size();
    if (rom.size() < std::max<uint64_t>(RevisionAt + 1, tableEnd)) {
        throw std::invalid_argument("MakeRom: image too small for its header and table");
    }
    PutHeaderFields(rom, plan);

    uint32_t at = AlignUp4(tableEnd);
    for (size_t i = 0; i < plan.cries.size(); ++i) {
        const Bytes& cry = plan.cries[i];
        if (cry.size() > MaxSampleLength) throw std::invalid_argument("MakeRom: cry longer than 65535 samples");
        const uint32_t span = SampleExtent(static_cast<uint32_t>(cry.size()));
        if (rom.size() < uint64_t{at} + span) rom.resize(at + span, plan.fill);
        EncodeSample(cry, std::span<uint8_t>(rom).subspan(at, span));
        PutEntry(&rom[plan.tableOffset + CryEntrySize * i], CryFirstWord, at);
        at = AlignUp4(uint64_t{at} + span);
    }
    return rom;
}

uint32_t CrySampleOffset(const Bytes& rom, const RomPlan& plan, int index) {
    const size_t at = plan.tableOffset + CryEntrySize * static_cast<size_t>(index) + CryEntryPointerOfs;
    if (at + 4 > rom.size()) throw std::out_of_range("CrySampleOffset: entry outside the image");
    return GetLe32(&rom[at]) & RomAddressMask;
}

Bytes MakeWav(std::span<const uint8_t> data, uint32_t rate, uint16_t channels, uint16_t bits) {
    const uint32_t n = static_cast<uint32_t>(data.size());
    const uint16_t blockAlign = static_cast<uint16_t>(channels * bits / 8);
    Bytes wav(44 + data.size());
    std::copy_n("RIFF", 4, wav.begin());
    PutLe32(&wav[4], 36 + n);
    std::copy_n("WAVEfmt ", 8, wav.begin() + 8);
    PutLe32(&wav[16], 16);
    PutLe16(&wav[20], 1);
    PutLe16(&wav[22], channels);
    PutLe32(&wav[24], rate);
    PutLe32(&wav[28], rate * blockAlign);
    PutLe16(&wav[32], blockAlign);
    PutLe16(&wav[34], bits);
    std::copy_n("data", 4, wav.begin() + 36);
    PutLe32(&wav[40], n);
    std::copy(data.begin(), data.end(), wav.begin() + 44);
    return wav;
}

static uint8_t ToSample(double v) { return static_cast<uint8_t>(std::clamp(std::lround(128.0 + v), 0L, 255L)); }

Bytes Tone(uint32_t n, double hz, double rate, double amplitude) {
    Bytes out(n);
    for (uint32_t i = 0; i < n; ++i) out[i] = ToSample(amplitude * std::sin(2 * Pi * hz * i / rate));
    return out;
}

Bytes Sweep(uint32_t n, double fromHz, double toHz, double rate, double amplitude) {
    Bytes out(n);
    const double seconds = n / rate;
    for (uint32_t i = 0; i < n; ++i) {
        // Linear chirp: the phase is the integral of the rising frequency.
        const double t = i / rate;
        const double phase = 2 * Pi * (fromHz * t + (toHz - fromHz) * t * t / (2 * seconds));
        out[i] = ToSample(amplitude * std::sin(phase));
    }
    return out;
}

Bytes Noise(uint32_t n, uint32_t seed) {
    Bytes out(n);
    uint32_t x = seed ? seed : 0x9E3779B9u;
    for (uint8_t& b : out) b = static_cast<uint8_t>(NextXorshift(x) >> 24);
    return out;
}

bool WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool wrote = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && wrote;
}

Bytes ReadFileBytes(const std::string& path) {
    Bytes bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    uint8_t chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    return failed ? Bytes{} : bytes;
}

namespace {

// One little-endian word, or false when fewer than 4 bytes are left.
bool ReadWord(FILE* stream, uint32_t* word) {
    uint8_t b[4];
    if (std::fread(b, 1, sizeof b, stream) != sizeof b) return false;
    *word = GetLe32(b);
    return true;
}

}  // namespace

int FindTableByWords(FILE* stream) {
    uint32_t word;
    while (!std::feof(stream)) {
        if (!ReadWord(stream, &word)) return -1;
        if (word != CryFirstWord) continue;
        if (!ReadWord(stream, &word)) return -1;
        if ((word & 0xFF000000) != RomAddressBase) continue;
        if (!ReadWord(stream, &word)) return -1;
        if (word != EntryLastWord) continue;
        return static_cast<int>(std::ftell(stream)) - static_cast<int>(CryEntrySize);
    }
    return -1;
}

Bytes DecayingChirp(uint32_t n, double fromHz, double toHz, double decayPerSecond, double rate,
                    double amplitude) {
    Bytes out = Sweep(n, fromHz, toHz, rate, amplitude);
    for (uint32_t i = 0; i < n; ++i) {
        const double envelope = std::exp(-decayPerSecond * i / rate);
        out[i] = ToSample(envelope * (out[i] - 128.0));
    }
    return out;
}

std::vector<NamedSound> QualitySet() {
    constexpr uint32_t Second = 11050;
    Bytes square(Second);
    for (uint32_t i = 0; i < Second; ++i) square[i] = (i / 25) % 2 ? 0xFF : 0x00;  // 221 Hz
    return {
        {"tone-440", Tone(Second, 440)},
        {"tone-3000-loud", Tone(Second, 3000, 11050, 127)},
        {"sweep-200-4000-loud", Sweep(Second, 200, 4000, 11050, 127)},
        {"sweep-50-1000-soft", Sweep(Second, 50, 1000, 11050, 30)},
        {"noise", Noise(Second, 1)},
        {"cry", DecayingChirp(Second, 1800, 400)},
        {"square-full-scale", square},
    };
}

void AddSecondTable(Bytes& rom, const RomPlan& plan, uint32_t at, uint32_t firstWord) {
    const uint64_t end = uint64_t{at} + CryEntrySize * plan.cries.size();
    if (end > rom.size()) throw std::invalid_argument("AddSecondTable: table outside the image");
    for (size_t i = 0; i < plan.cries.size(); ++i) {
        PutEntry(&rom[at + CryEntrySize * i], firstWord, CrySampleOffset(rom, plan, static_cast<int>(i)));
    }
}

uint32_t PutUncompressedSample(Bytes& rom, uint32_t at, std::span<const uint8_t> wav, uint32_t rate, bool loopValue) {
    const uint32_t span = SampleHeaderSize + static_cast<uint32_t>(wav.size()) + (loopValue ? 1 : 0);
    if (uint64_t{at} + span > rom.size()) throw std::invalid_argument("PutUncompressedSample: outside the image");
    const uint32_t rateWord = RateWord(rate);
    std::fill_n(rom.begin() + at, span, 0);  // kind word, loop start and loop value 0
    PutLe32(&rom[at + SampleRateOfs], rateWord);
    PutLe32(&rom[at + SampleLengthOfs], static_cast<uint32_t>(wav.size()));
    std::transform(wav.begin(), wav.end(), rom.begin() + at + SampleHeaderSize,
                   [](uint8_t v) { return static_cast<uint8_t>(v ^ 0x80); });
    return span;
}
