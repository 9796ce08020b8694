// Compress: an 8-bit mono WAV file into the ROM image, in place, as a
// compressed sample. A thin shell over the in-memory encoder: the WAV's data
// chunk is read and encoded whole, then written to the ROM in one go.
//
// Everything that can be refused is checked, and the sample encoded, before
// the ROM is opened: the WAV's chunks and format, its length, the offset. A
// refused command leaves the ROM exactly as it was. The sample is written up
// to the byte that holds its last value and not one byte further, so the
// cry packed after it in the games' images survives.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "fileshells.h"
#include "stream.h"
#include "wavlib.h"

static CryError CheckInput(FILE* wav, WavInfo* info) {
    const WavStatus wavStatus = ReadWavInfo(wav, info);
    if (wavStatus == WavReadError) return CryReadFailed;
    if (wavStatus != WavOk) return CryBadWav;
    // The stored length is 16 bits: a longer sound would play cut short.
    if (info->dataSize > MaxSampleLength) return CryTooLong;
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

// Reads the audio and encodes the whole sample in memory, before the ROM is
// opened: nothing that can fail here can leave a half-written cry behind.
static CryError EncodeInput(FILE* wav, const WavInfo& info, EncodeMode mode, std::vector<uint8_t>* sample) {
    std::vector<uint8_t> audio(info.dataSize);
    bool failed = false;
    if (!SeekTo(wav, info.dataOffset) || ReadUpTo(wav, audio.data(), audio.size(), &failed) < audio.size())
        return CryReadFailed;
    sample->resize(SampleExtent(info.dataSize));
    if (EncodeSample(audio, *sample, mode) != sample->size()) return CryTooLong;
    return CryOk;
}

// One write of the sample's exact extent: the bytes after the value that ends
// it belong to whatever the image keeps there.
static CryError WriteSample(FILE* rom, uint32_t offset, const std::vector<uint8_t>& sample) {
    if (!SeekTo(rom, offset) || !WriteAll(rom, sample.data(), sample.size())) return CryWriteFailed;
    return CryOk;
}

void PrintCompressError(CryError status) {
    switch (status) {
    case CryInfileNotFound: std::puts("infile not found\r"); break;
    case CryOutfileNotFound: std::puts("outfile not found\r"); break;
    case CryBadWav: std::puts("infile is not an 8-bit mono PCM WAV\r"); break;
    case CryTooLong: std::puts("infile holds 65536 samples or more\r"); break;
    case CryReadFailed: std::puts("infile could not be read\r"); break;
    case CryWriteFailed: std::puts("outfile could not be written\r"); break;
    default: break;
    }
}

CryError ReadWavSample(const char* wavPath, std::vector<uint8_t>* sample, EncodeMode mode) {
    FILE* wav = std::fopen(wavPath, "rb");
    if (!wav) return CryInfileNotFound;
    WavInfo info{};
    CryError status = CheckInput(wav, &info);
    if (status == CryOk) status = EncodeInput(wav, info, mode, sample);
    std::fclose(wav);
    return status;
}

int Compress(const char* wavPath, uint32_t offset, const char* romPath, CryError* error, EncodeMode mode) {
    std::vector<uint8_t> sample;
    CryError status = ReadWavSample(wavPath, &sample, mode);
    // Positions past LONG_MAX cannot be reached by fseek where long is 32 bits.
    if (status == CryOk && uint64_t{offset} + sample.size() > static_cast<uint64_t>(LONG_MAX))
        status = CryWriteFailed;
    if (status == CryOk) {
        FILE* rom = OpenRom(romPath);
        if (!rom) {
            status = CryOutfileNotFound;
        } else {
            status = WriteSample(rom, offset, sample);
            // Buffered bytes reach the disk only here: a failed close is a failed write.
            if (std::fclose(rom) != 0 && status == CryOk) status = CryWriteFailed;
        }
    }
    PrintCompressError(status);
    if (error) *error = status;
    return 0;
}
