#include "audio.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "conditioning.h"
#include "crylib.h"
#include "resample.h"
#include "romfile.h"
#include "text.h"
#include "wavlib.h"
#include "words.h"

#include <sndfile.h>

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

struct RawWav {
    Bytes bytes;
    uint32_t rate;
};

// An 8-bit mono PCM WAV, its audio bytes taken as they are.
RawWav LoadRawWav(const std::string& path) {
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) Fail("cannot open audio '" + path + "'");
    WavInfo info{};
    WavStatus status = ReadWavInfo(f.get(), &info);
    if (status != WavOk) Fail("'" + path + "': " + WavStatusText(status) + " (without --raw any format is converted)");
    if (info.rate == 0) Fail("'" + path + "' declares a rate of 0 Hz");
    if (info.dataSize > MaxInputSamples) TooLong(path, info.dataSize, info.rate);
    Bytes data(info.dataSize);
    if (std::fseek(f.get(), info.dataOffset, SEEK_SET) != 0 ||
        std::fread(data.data(), 1, data.size(), f.get()) != data.size())
        Fail("cannot read the audio data of '" + path + "'");
    return {std::move(data), info.rate};
}

// Interleaved frames on libsndfile's scale (full scale 1.0).
struct Frames {
    std::vector<double> values;
    int channels;
    double rate;
};

struct SndCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

Frames ReadFrames(const std::string& path, double targetRate, bool keepRate) {
    // Opened here, so that a missing file is told as such; libsndfile reads
    // the descriptor.
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) Fail("cannot open audio '" + path + "': " + std::strerror(errno));
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndCloser> f(sf_open_fd(fileno(file.get()), SFM_READ, &info, SF_FALSE));
    if (!f) Fail("cannot read audio '" + path + "': " + sf_strerror(nullptr));
    if (info.channels < 1 || info.samplerate < 1) Fail("'" + path + "' holds no audio channels");
    // Refuse before reading a long file into memory: the format holds at
    // most 65535 samples (about 6 s), whatever the input's rate.
    double outRate = keepRate ? info.samplerate : targetRate;
    double outFrames = static_cast<double>(info.frames) * outRate / info.samplerate;
    if (outFrames > MaxInputSamples) TooLong(path, outFrames, outRate);
    std::vector<double> frames(static_cast<size_t>(info.frames) * info.channels);
    sf_count_t got = sf_readf_double(f.get(), frames.data(), info.frames);
    if (got < 0) Fail("cannot read audio '" + path + "': " + sf_strerror(f.get()));
    frames.resize(static_cast<size_t>(got) * info.channels);
    return {std::move(frames), info.channels, static_cast<double>(info.samplerate)};
}

}  // namespace

std::vector<double> ResampleOrFail(std::span<const double> in, double fromRate, double toRate, ResampleQuality quality) {
    Resampled out = Resample(in, fromRate, toRate, quality);
    if (!out.error.empty()) Fail("cannot resample: " + out.error);
    return std::move(out.samples);
}

SourceAudio ReadSource(const std::string& path, double highestRate, const ConditionArgs& args) {
    SourceAudio source;
    source.path = path;
    source.options = ConditionOptionsOf(args, false);
    RequireRegularFile(path, "audio");
    Frames in = ReadFrames(path, highestRate, args.keepRate);
    source.rate = in.rate;
    source.channels = in.channels;
    source.mono = ConditionBeforeResample(in.values, in.channels, in.rate, source.options, source.warnings);
    return source;
}

LoadedAudio SourceAt(const SourceAudio& source, double targetRate, ResampleQuality quality) {
    LoadedAudio out{{}, targetRate, source.rate, source.channels, source.warnings};
    out.samples = ConditionResampled(ResampleOrFail(source.mono, source.rate, targetRate, quality), targetRate,
                                     source.options, out.warnings);
    RequireSomeValues(source, out.samples, targetRate);
    return out;
}

void RequireSomeValues(const SourceAudio& source, std::span<const uint8_t> samples, double targetRate) {
    if (samples.empty() && !source.mono.empty() && targetRate < source.rate)
        Fail("'" + source.path + "' holds " + std::to_string(source.mono.size()) +
             (source.mono.size() == 1 ? " value" : " values") + " at " + std::to_string(std::lround(source.rate)) +
             " Hz, too few to give one at " + std::to_string(std::lround(targetRate)) + " Hz");
}

LoadedAudio LoadSamples(const std::string& path, double targetRate, bool raw, const ConditionArgs& args) {
    if (raw) {
        ConditionOptionsOf(args, raw);
        RequireRegularFile(path, "audio");
        RawWav wav = LoadRawWav(path);
        AudioWarnings mismatch;
        if (!args.keepRate && CheckRawRate(wav.rate, targetRate, mismatch)) Fail("'" + path + "': " + WarningText(mismatch[0]));
        double rate = args.keepRate ? wav.rate : targetRate;
        return {std::move(wav.bytes), rate, static_cast<double>(wav.rate), 1, {}};
    }
    const SourceAudio source = ReadSource(path, targetRate, args);
    return SourceAt(source, args.keepRate ? source.rate : targetRate);
}

bool WriteWav(FILE* stream, std::span<const uint8_t> samples, uint32_t rate) {
    const std::vector<uint8_t> file = WavFileBytes(samples, rate);
    return std::fwrite(file.data(), 1, file.size(), stream) == file.size();
}
