// Dump: the sample at a ROM offset to an 8-bit mono WAV file. A thin shell
// over the core: it reads the sample's header, then the bytes that header
// says a dump reads (ReadStoredSample), as far as the file holds them, and
// writes the WAV header and the values DecodeStored gives.
#include <cstdio>
#include <vector>

#include "fileshells.h"
#include "samplekind.h"
#include "stream.h"

namespace {

// Reads up to `count` bytes at `position` into `bytes`, fewer at the end of
// the file.
CryError ReadAt(FILE* rom, uint64_t position, uint64_t count, std::vector<uint8_t>* bytes) {
    bytes->assign(count, 0);
    bool failed = false;
    const size_t got = SeekTo(rom, position) ? ReadUpTo(rom, bytes->data(), bytes->size(), &failed) : 0;
    if (failed) return CryReadFailed;
    bytes->resize(got);
    return CryOk;
}

// The values of the sample at `offset`, read before the WAV is created, so
// that a bad offset never replaces the user's file with nothing.
CryError ReadValues(FILE* rom, uint32_t offset, std::vector<uint8_t>* values) {
    std::vector<uint8_t> stored;
    CryError status = ReadAt(rom, offset, SampleHeaderSize, &stored);
    if (status != CryOk) return status;
    const Result<StoredSample> sample = ReadStoredSample(stored);
    if (!sample.Ok()) return CryBadLength;
    status = ReadAt(rom, offset, sample.value.bytes, &stored);
    if (status != CryOk) return status;
    Result<std::vector<uint8_t>> decoded = DecodeStored(sample.value, stored);
    if (!decoded.Ok()) return CryBadLength;
    *values = std::move(decoded.value);
    return CryOk;
}

CryError WriteWav(const char* wavPath, const std::vector<uint8_t>& values) {
    FILE* wav = std::fopen(wavPath, "wb");
    if (!wav) return CryOutfileNotFound;
    CryError status = CryOk;
    if (WriteWavHeader(static_cast<uint32_t>(values.size()), wav) != 0 ||
        (!values.empty() && !WriteAll(wav, values.data(), values.size())))
        status = CryWriteFailed;
    // Buffered bytes reach the disk only here: a failed close is a failed write.
    if (std::fclose(wav) != 0 && status == CryOk) status = CryWriteFailed;
    return status;
}

void PrintDumpError(CryError status, const char* romPath, uint32_t offset, const char* wavPath) {
    switch (status) {
    case CryBadLength: std::printf("Infile %s too short for a sample at %X!\r\n", romPath, offset); break;
    case CryReadFailed: std::printf("Infile %s could not be read!\r\n", romPath); break;
    case CryOutfileNotFound: std::printf("Outfile %s not found!\r\n", wavPath); break;
    case CryWriteFailed: std::printf("Outfile %s could not be written!\r\n", wavPath); break;
    default: break;
    }
}

}  // namespace

int Dump(const char* romPath, uint32_t offset, const char* wavPath, CryError* error) {
    FILE* rom = std::fopen(romPath, "rb");
    if (!rom) {
        std::printf("Infile %s not found!\r\n", romPath);
        if (error) *error = CryInfileNotFound;
        return 0;
    }
    std::vector<uint8_t> values;
    CryError status = ReadValues(rom, offset, &values);
    std::fclose(rom);
    if (status == CryOk) status = WriteWav(wavPath, values);
    PrintDumpError(status, romPath, offset, wavPath);
    if (error) *error = status;
    return status == CryOk ? static_cast<int>(values.size()) : 0;
}
