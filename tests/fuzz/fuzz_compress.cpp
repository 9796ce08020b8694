// Compress over arbitrary WAV bytes: it must either write exactly the sample
// the in-memory encoder makes of the data chunk, touching nothing else, or
// refuse and leave the ROM byte-identical.
#include "fileshells.h"
#include "testdata.h"
#include "wavlib.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ScratchFile wavFile("compress.wav"), romFile("compress.gba");
    const std::string& wavPath = wavFile.path;
    const std::string& romPath = romFile.path;
    static const Bytes before = Noise(600, 1);
    // Sometimes inside the ROM, sometimes past its end.
    const uint32_t offset = static_cast<uint32_t>(size * 7 % 900);
    Require(WriteFileBytes(wavPath, {data, size}));
    Require(WriteFileBytes(romPath, before));

    CryError error = CryOk;
    Compress(wavPath.c_str(), offset, romPath.c_str(), &error);
    const Bytes after = ReadFileBytes(romPath);

    WavInfo info{};
    const WavStatus status = ParseWavInfo(data, size, &info);
    if (status != WavOk || info.dataSize > MaxSampleLength) {
        Require(error == (status != WavOk ? CryBadWav : CryTooLong));
        Require(after == before);
        return 0;
    }
    Require(error == CryOk);
    Bytes expected = before;
    const uint32_t span = SampleExtent(info.dataSize);
    if (expected.size() < offset + span) expected.resize(offset + span, 0);
    Require(EncodeSample({data + info.dataOffset, info.dataSize},
                         std::span<uint8_t>(expected).subspan(offset, span)) == span);
    Require(after == expected);
    return 0;
}
