// Dump: the sample at a ROM offset to an 8-bit mono WAV file. A thin shell
// over the decoders: a compressed sample goes one 33-byte block in, at most
// 64 samples out, one seek and one read per block; an uncompressed one is
// copied through in chunks, its signed values turned unsigned.
#include <algorithm>
#include <cstdio>

#include "crylib.h"
#include "samplekind.h"
#include "stream.h"
#include "wavlib.h"

// What the header says of the sample: its kind and the values it holds.
struct DumpedSample {
    SampleKind kind = SampleKind::Compressed;
    uint32_t n = 0;
};

// Whether the `count` bytes at `position` all lie inside the file.
static bool BytesInFile(FILE* rom, uint64_t position, uint64_t count) {
    uint8_t last;
    bool failed = false;
    return count == 0 || (SeekTo(rom, position + count - 1) && ReadUpTo(rom, &last, 1, &failed) == 1);
}

// Reads the header, checked before the WAV is created, so that a bad offset
// never replaces the user's file with nothing. Every header is read as a
// compressed sample's, its length in bytes 12-13 (block bytes past the end of
// the ROM count as 0), but one whose type byte says uncompressed: its length
// is bytes 12-15, and its values must lie inside the ROM, as they are copied
// as they are.
static CryError ReadHeader(FILE* rom, uint32_t offset, DumpedSample* sample) {
    uint8_t header[SampleHeaderSize];
    bool failed = false;
    if (!SeekTo(rom, offset)) return CryBadLength;
    const size_t got = ReadUpTo(rom, header, sizeof header, &failed);
    if (failed) return CryReadFailed;
    if (got < SampleLengthOfs + SampleLengthSize) return CryBadLength;
    SampleHeader h;
    if (got == sizeof header && ReadSampleHeader(header, 0, &h) && h.format &&
        h.format->kind == SampleKind::Uncompressed) {
        if (h.length > h.format->maxValues || !BytesInFile(rom, uint64_t{offset} + SampleHeaderSize, h.length))
            return CryBadLength;
        *sample = {SampleKind::Uncompressed, h.length};
        return CryOk;
    }
    *sample = {SampleKind::Compressed, GetLe16(header + SampleLengthOfs)};
    return CryOk;
}

static CryError DecodeBlocksToWav(FILE* rom, uint32_t offset, uint32_t n, FILE* wav) {
    uint8_t block[BlockSize];
    uint8_t values[BlockSamples];
    uint64_t p = uint64_t{offset} + SampleHeaderSize;
    uint32_t written = 0;
    // At least one block is read, as the format always has one.
    do {
        bool failed = false;
        if (!SeekTo(rom, p)) return CryReadFailed;
        const size_t got = ReadUpTo(rom, block, BlockSize, &failed);
        if (failed) return CryReadFailed;
        std::fill(block + got, block + BlockSize, 0);  // past the end of the ROM
        DecodeWavBlock(block, values);
        const uint32_t count = std::min<uint32_t>(BlockSamples, n - written);
        if (count > 0 && !WriteAll(wav, values, count)) return CryWriteFailed;
        written += BlockSamples;
        p += BlockSize;
    } while (written < n);
    return CryOk;
}

static CryError CopyValuesToWav(FILE* rom, uint32_t offset, uint32_t n, FILE* wav) {
    const SampleFormat& format = FormatOf(SampleKind::Uncompressed);
    uint8_t stored[4096];
    uint8_t values[sizeof stored];
    if (!SeekTo(rom, uint64_t{offset} + SampleHeaderSize)) return CryReadFailed;
    for (uint32_t done = 0; done < n;) {
        const size_t count = std::min<size_t>(sizeof stored, n - done);
        bool failed = false;
        if (ReadUpTo(rom, stored, count, &failed) != count) return CryReadFailed;
        format.decode(std::span(stored, count), std::span(values, count));
        if (!WriteAll(wav, values, count)) return CryWriteFailed;
        done += static_cast<uint32_t>(count);
    }
    return CryOk;
}

static CryError DecodeToWav(FILE* rom, uint32_t offset, const DumpedSample& sample, FILE* wav) {
    if (WriteWavHeader(sample.n, wav) != 0) return CryWriteFailed;
    if (sample.kind == SampleKind::Uncompressed) return CopyValuesToWav(rom, offset, sample.n, wav);
    return DecodeBlocksToWav(rom, offset, sample.n, wav);
}

static void PrintDumpError(CryError status, const char* romPath, uint32_t offset, const char* wavPath) {
    switch (status) {
    case CryBadLength: std::printf("Infile %s too short for a sample at %X!\r\n", romPath, offset); break;
    case CryReadFailed: std::printf("Infile %s could not be read!\r\n", romPath); break;
    case CryOutfileNotFound: std::printf("Outfile %s not found!\r\n", wavPath); break;
    case CryWriteFailed: std::printf("Outfile %s could not be written!\r\n", wavPath); break;
    default: break;
    }
}

int Dump(const char* romPath, uint32_t offset, const char* wavPath, CryError* error) {
    FILE* rom = std::fopen(romPath, "rb");
    if (!rom) {
        std::printf("Infile %s not found!\r\n", romPath);
        if (error) *error = CryInfileNotFound;
        return 0;
    }
    DumpedSample sample;
    CryError status = ReadHeader(rom, offset, &sample);
    if (status == CryOk) {
        FILE* wav = std::fopen(wavPath, "wb");
        if (!wav) {
            status = CryOutfileNotFound;
        } else {
            status = DecodeToWav(rom, offset, sample, wav);
            // Buffered bytes reach the disk only here: a failed close is a failed write.
            if (std::fclose(wav) != 0 && status == CryOk) status = CryWriteFailed;
        }
    }
    std::fclose(rom);
    PrintDumpError(status, romPath, offset, wavPath);
    if (error) *error = status;
    return status == CryOk ? static_cast<int>(sample.n) : 0;
}
