// samplekind: the kinds a cry's sample may be stored as, behind one small
// interface. Portable: standard library only.
//
// Usage: a kind is chosen by name (FormatOf) or read from a header's type
// byte (FormatOfType); MakeSample writes a whole sample of that kind,
// DecodeValues reads one back, SampleBytes says how many bytes one takes.
// Adding a kind means one more SampleFormat in samplekind.cpp, nothing else.
//
// Error convention (result.h): a read that can fail returns a Result, its
// value or a CoreError code with its numbers; the makers return an empty
// vector for a sound longer than the kind counts. None throws, and none
// reads or writes past the spans it is given.
//
// Every kind shares the 16-byte header:
//   bytes 0-3   type: 01 00 00 00 compressed, 00 00 00 00 uncompressed
//   bytes 4-7   rate x 1024, u32
//   bytes 8-11  loop start, u32 (0: a cry never loops)
//   bytes 12-15 length S, u32; the compressed kind reads bytes 12-13 only
// and each kind lays out its values after it:
//   compressed:   33-byte blocks of 64 values (crylib.h), the last block cut
//                 after the byte that holds value S - 1
//   uncompressed: S + 1 signed bytes, the last one the loop value (0); the
//                 S values before it are what plays
// The next sample starts at the following multiple of 4 in both cases.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "crylib.h"
#include "result.h"

enum class SampleKind { Compressed, Uncompressed };

// Header fields beyond the length crylib names.
constexpr uint32_t SampleTypeOfs = 0;  // byte 0; bytes 1-3 are 0 for a cry
constexpr uint32_t SampleRateOfs = 4;  // u32: rate x 1024
constexpr uint32_t SampleLoopOfs = 8;  // u32: loop start

struct SampleFormat {
    SampleKind kind;
    const char* name;    // "compressed", "uncompressed"
    uint8_t type;        // header byte 0
    uint32_t maxValues;  // the longest sample its length field can count
    // Bytes of the length field that count (the compressed kind's field is
    // 32 bits whose upper half is 0).
    uint32_t lengthBytes;
    // Bytes a sample of n values takes, header included, up to the last byte
    // the game reads; nothing past them is ever written.
    uint32_t (*bytes)(uint32_t n);
    // Writes the values of `wav` (unsigned 8-bit) after a header into
    // `data`, which holds exactly bytes(wav.size()) - SampleHeaderSize bytes.
    void (*encode)(std::span<const uint8_t> wav, std::span<uint8_t> data, EncodeMode mode);
    // Reads wav.size() values from `data` (the bytes after the header; bytes
    // missing past its end count as 0) as unsigned 8-bit samples.
    void (*decode)(std::span<const uint8_t> data, std::span<uint8_t> wav);
};

const SampleFormat& FormatOf(SampleKind kind);
// The format a header's type byte declares; nullptr for an unknown type.
const SampleFormat* FormatOfType(uint8_t type);
// Every kind, in the order front ends offer them.
std::span<const SampleFormat> SampleFormats();

// Bytes a sample of `kind` holding n values takes.
uint32_t SampleBytes(SampleKind kind, uint32_t n);
// The most values a sample of `kind` holds in `bytes` bytes; 0 when not even
// one fits.
uint32_t ValuesFitting(SampleKind kind, uint32_t bytes);

// The values a sample of n values declaring `rateField` (rate x 1024) holds
// once resampled to `hz`: ceil(n x hz / rate); n for a rate field of 0.
uint32_t ValuesAtRate(uint32_t n, uint32_t rateField, uint32_t hz);

// The rate field the games' own cries declare: 10512 Hz x 1024.
constexpr uint32_t GameRateField = 10512 * 1024;
// The rates a header may declare and still count as a sound, in Hz.
constexpr uint32_t MinSampleRate = 1000;
constexpr uint32_t MaxSampleRate = 65535;
bool PlausibleRate(uint32_t hz);

// A whole sample of `kind`: the header (type, `rateField`, loop start 0,
// length wav.size()), then the values. Empty when wav is longer than the
// kind can count.
std::vector<uint8_t> MakeSample(SampleKind kind, std::span<const uint8_t> wav, uint32_t rateField,
                                EncodeMode mode = EncodeMode::Best);

// A sample as the files of source builds hold it, made by their converter:
// the S values of `wav`, then the loop value (silence, 0x80 unsigned), and
// the length field S. The uncompressed kind writes that value itself; the
// compressed kind codes it as one more value. Empty when the S values and the
// loop value are more than the kind can count.
std::vector<uint8_t> MakeSampleFile(SampleKind kind, std::span<const uint8_t> wav, uint32_t rateField,
                                    EncodeMode mode = EncodeMode::Best);

// A sample's header as read from an image.
struct SampleHeader {
    const SampleFormat* format = nullptr;  // nullptr: unknown type
    uint32_t rateField = 0;
    uint32_t loopStart = 0;
    uint32_t length = 0;  // the values that play, S
    // The type word, loop start and unused length bytes hold what a cry's
    // header holds; the rate is anything a game could play.
    bool plausible = false;
};
// Reads the 16 header bytes at `offset`; PastEnd when they do not lie inside
// `image`.
Result<SampleHeader> ReadSampleHeader(std::span<const uint8_t> image, uint32_t offset);

// A sample as the dump of a file reads it, from the bytes at its offset
// (`stored` holds them as far as the file does): every header counts as a
// compressed sample's, its length in bytes 12-13 and its block bytes missing
// past the end as 0, but one whose whole header says uncompressed: its
// length is bytes 12-15 and its values must all be there, as they are copied
// as they are.
struct StoredSample {
    SampleKind kind = SampleKind::Compressed;
    uint32_t length = 0;  // values
    uint64_t bytes = 0;   // the header and the blocks or values the dump reads
};
// What the header at the start of `stored` declares; PastEnd when not even
// the length lies there, TooLong for an uncompressed length no cry has.
Result<StoredSample> ReadStoredSample(std::span<const uint8_t> stored);
// Its values as unsigned 8-bit samples; PastEnd when an uncompressed
// sample's values do not all lie in `stored`.
Result<std::vector<uint8_t>> DecodeStored(const StoredSample& sample, std::span<const uint8_t> stored);

// The S values of the sample at `offset`, as unsigned 8-bit samples; PastEnd
// when its header does not lie in `image`, UnknownKind or TooLong when it
// declares no kind or more values than its kind counts. Values whose bytes
// lie past the end of `image` decode as if those bytes were 0.
Result<std::vector<uint8_t>> DecodeValues(std::span<const uint8_t> image, uint32_t offset);
