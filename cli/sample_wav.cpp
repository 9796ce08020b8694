#include "sample_wav.h"

#include <algorithm>
#include <vector>

#include "audio.h"
#include "text.h"
#include "wavlib.h"
#include "writing.h"

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

// A sample that declares no rate cannot be resampled; only the dialog's
// header, which ignores it, can be given to it.
std::optional<Problem> DumpProblem(const RomContext& ctx, uint32_t offset, int index, bool dialogHeader) {
    const SampleInfo s = InspectSample(ctx.image, offset);
    if (dialogHeader && s.headerInFile && s.KnownKind() && s.extentInFile && s.rateField == 0) return std::nullopt;
    return DecodeProblem(ctx.image, offset, index);
}

std::string DumpRefusal(const RomContext& ctx, const Problem& problem) {
    std::string text = ProblemLine(ctx, problem);
    const SampleInfo s = InspectSample(ctx.image, static_cast<uint32_t>(problem.offset));
    if (s.headerInFile && s.KnownKind() && s.extentInFile && s.rateField == 0)
        text += ": its header declares a rate of 0 Hz, which no game plays "
                "(--dialog-header writes its values at 11050 Hz all the same)";
    return text;
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
