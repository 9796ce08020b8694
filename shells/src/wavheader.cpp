// The canonical WAV header on a stream: written in front of every dumped cry,
// and checked.
#include "fileshells.h"
#include "stream.h"
#include "wavlib.h"

int WriteWavHeader(uint32_t n, FILE* stream) {
    uint8_t h[WavHeaderSize];
    FillWavHeader(h, n, WavRate);
    const bool ok = WriteAll(stream, h, WavRiffPartSize) && WriteAll(stream, h + WavRiffPartSize, WavFmtPartSize) &&
                    WriteAll(stream, h + WavRiffPartSize + WavFmtPartSize, WavDataPartSize);
    return ok ? 0 : -1;
}

static int CompareTag(const uint8_t* at, const char* tag) { return CompareChar(reinterpret_cast<const char*>(at), tag); }

int CheckWavHeader(FILE* stream) {
    uint8_t h[WavHeaderSize];
    bool failed = false;
    // Read as the three pieces it was written in; a short piece ends the
    // check, so nothing past the end of the file is ever looked at.
    if (ReadUpTo(stream, h, WavRiffPartSize, &failed) < WavRiffPartSize ||
        ReadUpTo(stream, h + WavRiffPartSize, WavFmtPartSize, &failed) < WavFmtPartSize ||
        ReadUpTo(stream, h + WavRiffPartSize + WavFmtPartSize, WavDataPartSize, &failed) < WavDataPartSize) {
        return 1;
    }
    if (CompareTag(h + WavRiffTagOfs, "RIFF")) return 1;
    if (CompareTag(h + WavWaveTagOfs, "WAVE")) return 2;
    if (CompareTag(h + WavFmtTagOfs, "fmt ")) return 3;
    if (CompareTag(h + WavDataTagOfs, "data")) return 4;
    if (GetLe16(h + WavBitsOfs) != 8) return 5;
    std::printf("%lu\r\n", static_cast<unsigned long>(GetLe32(h + WavRateOfs)));
    std::printf("%x\r\n", static_cast<unsigned>(GetLe16(h + WavChannelsOfs)));
    return 0;
}
