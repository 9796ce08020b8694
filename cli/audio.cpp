#include "audio.h"

#include <algorithm>
#include <cmath>

#include "crylib.h"
#include "romfile.h"
#include "text.h"
#include "wavlib.h"

#ifdef BREVOX_CLI_CONVERT
#include <sndfile.h>
#include <soxr.h>
#endif

namespace {

// Inputs are refused before they are read whole when they would give more
// than this many samples: four times what a cry can hold, so that the
// quality report can still measure a sound somewhat too long to store.
constexpr double MaxInputSamples = 4.0 * 65536;

[[noreturn]] void TooLong(const std::string& path, double samples, double rate) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", samples / rate);
    Fail("'" + path + "' is too long for a cry (" + seconds + ")");
}

bool PutU32At(FILE* stream, uint32_t ofs, uint32_t value) {
    uint8_t bytes[4];
    PutLe32(bytes, value);
    return std::fseek(stream, ofs, SEEK_SET) == 0 && std::fwrite(bytes, 1, 4, stream) == 4;
}

const char* WavStatusText(WavStatus status) {
    switch (status) {
        case WavOk: return "ok";
        case WavShort: return "too short to be a WAV file";
        case WavNotRiff: return "not a RIFF/WAVE file";
        case WavNoFmt: return "no format chunk";
        case WavNoData: return "no data chunk";
        case WavUnsupported: return "not 8-bit mono PCM";
        case WavReadError: return "read error";
    }
    return "unreadable";
}

// An 8-bit mono PCM WAV, its audio bytes taken as they are.
Bytes LoadRawWav(const std::string& path) {
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) Fail("cannot open audio '" + path + "'");
    WavInfo info{};
    WavStatus status = ReadWavInfo(f.get(), &info);
    if (status != WavOk) {
        std::string hint = CanConvertAudio() ? " (without --raw any format is converted)" : "";
        Fail("'" + path + "': " + WavStatusText(status) + hint);
    }
    if (info.dataSize > MaxInputSamples) TooLong(path, info.dataSize, info.rate ? info.rate : 1);
    Bytes data(info.dataSize);
    if (std::fseek(f.get(), info.dataOffset, SEEK_SET) != 0 ||
        std::fread(data.data(), 1, data.size(), f.get()) != data.size())
        Fail("cannot read the audio data of '" + path + "'");
    return data;
}

#ifdef BREVOX_CLI_CONVERT
struct SndCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

Bytes LoadConverted(const std::string& path, double targetRate) {
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndCloser> f(sf_open(path.c_str(), SFM_READ, &info));
    if (!f) Fail("cannot read audio '" + path + "': " + sf_strerror(nullptr));
    if (info.channels < 1 || info.samplerate < 1) Fail("'" + path + "' holds no audio channels");
    // Refuse before reading a long file into memory: the format holds at
    // most 65535 samples (about 6 s), whatever the input's rate.
    double outFrames = static_cast<double>(info.frames) * targetRate / info.samplerate;
    if (outFrames > MaxInputSamples) TooLong(path, outFrames, targetRate);
    std::vector<double> frames(static_cast<size_t>(info.frames) * info.channels);
    sf_count_t got = sf_readf_double(f.get(), frames.data(), info.frames);
    if (got < 0) Fail("cannot read audio '" + path + "': " + sf_strerror(f.get()));
    frames.resize(static_cast<size_t>(got) * info.channels);
    std::vector<double> mono = MixDown(frames, info.channels);
    return Quantise(Resample(mono, info.samplerate, targetRate));
}
#endif

}  // namespace

bool CanConvertAudio() {
#ifdef BREVOX_CLI_CONVERT
    return true;
#else
    return false;
#endif
}

std::vector<double> MixDown(std::span<const double> frames, int channels) {
    std::vector<double> mono(frames.size() / channels);
    for (size_t i = 0; i < mono.size(); ++i) {
        double sum = 0;
        for (int c = 0; c < channels; ++c) sum += frames[i * channels + c];
        mono[i] = sum / channels;
    }
    return mono;
}

std::vector<double> Resample(std::span<const double> in, double fromRate, double toRate) {
    // The integer rate a dumped WAV carries counts as the sample's own rate:
    // dump then encode must give back the same bytes.
    if (std::lround(fromRate) == std::lround(toRate) || in.empty()) return {in.begin(), in.end()};
#ifdef BREVOX_CLI_CONVERT
    size_t outLength = static_cast<size_t>(std::ceil(in.size() * toRate / fromRate)) + 1;
    std::vector<double> out(outLength);
    size_t done = 0;
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = soxr_oneshot(fromRate, toRate, 1, in.data(), in.size(), nullptr, out.data(), out.size(),
                                      &done, &io, &quality, nullptr);
    if (error) Fail(std::string("cannot resample: ") + error);
    out.resize(done);
    return out;
#else
    Fail("this build cannot resample: give an 8-bit mono WAV at " + std::to_string(std::lround(toRate)) + " Hz");
#endif
}

Bytes Quantise(std::span<const double> samples) {
    // libsndfile scales 8-bit data by 1/128, so an 8-bit input comes back
    // to the very same bytes.
    Bytes out(samples.size());
    std::transform(samples.begin(), samples.end(), out.begin(), [](double x) {
        return static_cast<uint8_t>(std::clamp(std::lround(x * 128.0) + 128, 0L, 255L));
    });
    return out;
}

Bytes LoadSamples(const std::string& path, double targetRate, bool raw) {
#ifdef BREVOX_CLI_CONVERT
    if (!raw) return LoadConverted(path, targetRate);
#else
    (void)raw;
    (void)targetRate;
#endif
    return LoadRawWav(path);
}

bool WriteWav(FILE* stream, std::span<const uint8_t> samples, uint32_t rate) {
    return WriteWavHeader(static_cast<uint32_t>(samples.size()), stream) == 0 &&
           PutU32At(stream, WavRateOfs, rate) && PutU32At(stream, WavByteRateOfs, rate) &&
           std::fseek(stream, WavHeaderSize, SEEK_SET) == 0 &&
           std::fwrite(samples.data(), 1, samples.size(), stream) == samples.size();
}
