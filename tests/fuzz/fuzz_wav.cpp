// The RIFF chunk reader and the header check over arbitrary bytes: the file
// and memory readers must agree, and whatever they accept must lie inside
// the bytes and be 8-bit mono PCM.
#include <cstdio>
#include <cstring>

#include "fileshells.h"
#include "wavlib.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WavInfo mem{};
    const WavStatus status = ParseWavInfo(data, size, &mem);
    if (status == WavOk) {
        Require(mem.format == 1 && mem.channels == 1 && mem.bits == 8);
        Require(mem.dataOffset >= 20 && uint64_t{mem.dataOffset} + mem.dataSize <= size);
    }
    if (size < WavHeaderSize) Require(status == WavShort);

    // fmemopen wants at least one byte; the empty file is covered above.
    FILE* stream = size > 0 ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : nullptr;
    if (!stream) return 0;
    WavInfo file{};
    Require(ReadWavInfo(stream, &file) == status);
    if (status == WavOk) Require(std::memcmp(&file, &mem, sizeof file) == 0);

    std::rewind(stream);
    const int check = CheckWavHeader(stream);
    Require(check >= 0 && check <= 5);
    if (size < WavHeaderSize) Require(check == 1);
    std::fclose(stream);
    return 0;
}
