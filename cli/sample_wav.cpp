#include "sample_wav.h"

#include <algorithm>
#include <vector>

#include "audio.h"
#include "text.h"
#include "wavlib.h"

namespace {

// The rate the dialog's WAV files declare for the sample's 10512 Hz values:
// its header was written for 11050 Hz and never changed, so those files play
// about 5 % fast and high.
constexpr uint32_t DialogHeaderRate = WavRate;

// The sample's values at `rate`: as they are at its own rate or under the
// dialog's header; otherwise resampled, so that pitch and duration stay.
Bytes DumpValues(const Bytes& rom, const SampleInfo& s, uint32_t rate, bool dialogHeader) {
    Bytes values = DecodeToUnsigned(rom, s);
    if (dialogHeader || rate == s.Hz()) return values;
    std::vector<double> x(values.size());
    std::transform(values.begin(), values.end(), x.begin(), [](uint8_t v) { return (v - 128) / 128.0; });
    AudioWarnings clipped;  // resampling may overshoot full scale by a step; it is clipped
    return Quantise(ResampleOrFail(x, s.Rate(), rate), clipped);
}

}  // namespace

void CheckDumpRate(const std::optional<uint32_t>& rate, bool dialogHeader) {
    if (rate && (*rate < 1 || *rate > 1000000)) BadUsage("--rate must lie between 1 and 1000000 Hz");
    if (rate && dialogHeader) BadUsage("--rate and --dialog-header exclude each other");
}

std::optional<Problem> DumpProblem(const RomContext& ctx, uint32_t offset, int index) {
    return DecodeProblem(ctx.image, offset, index);
}

uint32_t DumpRate(const SampleInfo& s, const std::optional<uint32_t>& rate, bool dialogHeader) {
    return dialogHeader ? DialogHeaderRate : rate ? *rate : s.Hz();
}

size_t WriteSampleWav(const Bytes& rom, const SampleInfo& s, uint32_t rate, bool dialogHeader, const std::string& path) {
    const Bytes samples = DumpValues(rom, s, rate, dialogHeader);
    ReplaceOptions options;
    options.sync = false;  // a dump is made again in a moment; dump-all would sync hundreds of files
    ReplaceFileContents(path, [&](FILE* f) { return WriteWav(f, samples, rate); }, options);
    return samples.size();
}
