// Dump over arbitrary ROM bytes and offsets: the file shell must write exactly
// the WAV the in-memory decoder produces, or refuse without creating a file.
#include "fileshells.h"
#include "samplekind.h"
#include "testdata.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    // The first four bytes choose the offset, mostly near or inside the ROM.
    const uint32_t word = GetLe32(data);
    const std::span<const uint8_t> rom(data + 4, size - 4);
    const uint32_t offset = word & 0x80000000u ? word : word % (rom.size() + 64);

    static const ScratchFile romFile("dump.gba"), wavFile("dump.wav");
    const std::string& romPath = romFile.path;
    const std::string& wavPath = wavFile.path;
    Require(WriteFileBytes(romPath, rom));
    std::filesystem::remove(wavPath);

    CryError error = CryOk;
    const int n = Dump(romPath.c_str(), offset, wavPath.c_str(), &error);
    // A header whose type byte says uncompressed holds a 32-bit length whose
    // values must lie in the ROM; any other is read as compressed, its
    // length in bytes 12-13.
    const Result<SampleHeader> read = ReadSampleHeader(rom, offset);
    const SampleHeader& header = read.value;
    const bool plain = read.Ok() && header.format && header.format->kind == SampleKind::Uncompressed;
    const Result<uint16_t> length16 = ReadSampleLength(rom, offset);
    const bool readable = plain ? header.length <= header.format->maxValues &&
                                      uint64_t{offset} + SampleHeaderSize + header.length <= rom.size()
                                : length16.Ok();
    if (!readable) {
        Require(n == 0 && error == CryBadLength && !std::filesystem::exists(wavPath));
        return 0;
    }
    const uint32_t length = plain ? header.length : length16.value;
    Require(error == CryOk && static_cast<uint32_t>(n) == length);
    Bytes expected(length);
    if (plain) expected = DecodeValues(rom, offset).value;
    else DecodeSample(rom, offset, expected);
    const Bytes wav = ReadFileBytes(wavPath);
    Require(wav.size() == 44u + length && GetLe32(&wav[40]) == length);
    Require(std::equal(expected.begin(), expected.end(), wav.begin() + 44));
    return 0;
}
