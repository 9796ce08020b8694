// Dump: the compressed sample at a ROM offset to an 8-bit mono WAV file.
// A thin shell over the block decoder: one 33-byte block in, at most 64
// samples out, one seek and one read per block.
#include <algorithm>
#include <cstdio>

#include "crylib.h"
#include "stream.h"
#include "wavlib.h"

// The stored length, bytes 12-13 of the header. Checked before the WAV is
// created, so that a bad offset never replaces the user's file with nothing.
static CryError ReadLength(FILE* rom, uint32_t offset, uint16_t* n) {
    uint8_t bytes[2];
    bool failed = false;
    if (!SeekTo(rom, uint64_t{offset} + SampleLengthOfs)) return CryBadLength;
    const size_t got = ReadUpTo(rom, bytes, sizeof bytes, &failed);
    if (failed) return CryReadFailed;
    if (got < sizeof bytes) return CryBadLength;
    *n = GetLe16(bytes);
    return CryOk;
}

static CryError DecodeToWav(FILE* rom, uint32_t offset, uint16_t n, FILE* wav) {
    if (WriteWavHeader(n, wav) != 0) return CryWriteFailed;
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
    uint16_t n = 0;
    CryError status = ReadLength(rom, offset, &n);
    if (status == CryOk) {
        FILE* wav = std::fopen(wavPath, "wb");
        if (!wav) {
            status = CryOutfileNotFound;
        } else {
            status = DecodeToWav(rom, offset, n, wav);
            // Buffered bytes reach the disk only here: a failed close is a failed write.
            if (std::fclose(wav) != 0 && status == CryOk) status = CryWriteFailed;
        }
    }
    std::fclose(rom);
    PrintDumpError(status, romPath, offset, wavPath);
    if (error) *error = status;
    return status == CryOk ? n : 0;
}
