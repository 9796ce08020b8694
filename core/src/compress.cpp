// Compress: an 8-bit mono WAV file into the ROM image, in place, as a
// compressed sample. A thin shell over the block encoder: 64-byte reads from
// the WAV's data chunk, 33-byte writes to the ROM.
//
// Everything that can be refused is checked before the first byte of the ROM
// is written: the WAV's chunks and format, its length, the offset, and the
// ROM's opening. A refused command leaves the ROM exactly as it was.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "crylib.h"
#include "stream.h"
#include "wavlib.h"

static CryError CheckInput(FILE* wav, uint32_t offset, WavInfo* info) {
    const WavStatus wavStatus = ReadWavInfo(wav, info);
    if (wavStatus == WavReadError) return CryReadFailed;
    if (wavStatus != WavOk) return CryBadWav;
    // The stored length is 16 bits: a longer sound would play cut short.
    if (info->dataSize > MaxSampleLength) return CryTooLong;
    // Positions past LONG_MAX cannot be reached by fseek where long is 32 bits.
    if (uint64_t{offset} + SampleSpan(info->dataSize) > static_cast<uint64_t>(LONG_MAX)) return CryWriteFailed;
    return CryOk;
}

// Opens the ROM for update. Only when nothing exists at the path is a new
// file created: "wb" on an existing file that merely refused "rb+"
// (read-only, locked, a folder) would truncate the user's ROM.
static FILE* OpenRom(const char* romPath) {
    errno = 0;
    if (FILE* rom = std::fopen(romPath, "rb+")) return rom;
    if (errno != ENOENT) return nullptr;
    return std::fopen(romPath, "wb");
}

static CryError EncodeToRom(FILE* wav, const WavInfo& info, uint32_t offset, FILE* rom, EncodeMode mode) {
    if (!SeekTo(wav, info.dataOffset)) return CryReadFailed;
    // The length goes in last: until the blocks are all written, the header
    // says the sample is empty.
    if (!SeekTo(rom, offset) || !WriteAll(rom, SampleHeaderTemplate, SampleHeaderSize)) return CryWriteFailed;
    const uint32_t n = info.dataSize;
    uint8_t in[BlockSamples];
    uint8_t out[BlockSize];
    for (uint32_t first = 0, b = 0; b < BlockCount(n); ++b, first += BlockSamples) {
        const uint32_t count = std::min(n - first, BlockSamples);
        bool failed = false;
        if (ReadUpTo(wav, in, count, &failed) < count) return CryReadFailed;
        EncodeWavBlock({in, count}, mode, out);
        if (!WriteAll(rom, out, BlockSize)) return CryWriteFailed;
    }
    uint8_t length[2];
    PutLe16(length, static_cast<uint16_t>(n));
    if (!SeekTo(rom, uint64_t{offset} + SampleLengthOfs) || !WriteAll(rom, length, sizeof length)) {
        return CryWriteFailed;
    }
    return CryOk;
}

static void PrintCompressError(CryError status) {
    switch (status) {
    case CryOutfileNotFound: std::puts("outfile not found\r"); break;
    case CryBadWav: std::puts("infile is not an 8-bit mono PCM WAV\r"); break;
    case CryTooLong: std::puts("infile holds 65536 samples or more\r"); break;
    case CryReadFailed: std::puts("infile could not be read\r"); break;
    case CryWriteFailed: std::puts("outfile could not be written\r"); break;
    default: break;
    }
}

int Compress(const char* wavPath, uint32_t offset, const char* romPath, CryError* error, EncodeMode mode) {
    FILE* wav = std::fopen(wavPath, "rb");
    if (!wav) {
        std::puts("infile not found\r");
        if (error) *error = CryInfileNotFound;
        return 0;
    }
    WavInfo info{};
    CryError status = CheckInput(wav, offset, &info);
    if (status == CryOk) {
        FILE* rom = OpenRom(romPath);
        if (!rom) {
            status = CryOutfileNotFound;
        } else {
            status = EncodeToRom(wav, info, offset, rom, mode);
            // Buffered bytes reach the disk only here: a failed close is a failed write.
            if (std::fclose(rom) != 0 && status == CryOk) status = CryWriteFailed;
        }
    }
    std::fclose(wav);
    PrintCompressError(status);
    if (error) *error = status;
    return 0;
}
