// quality: how faithfully each encoding mode keeps an audio file, measured
// on the decoded values and as the third game's normal mode plays them;
// reads only the audio.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>

#include "audio.h"
#include "command.h"
#include "heard_cries.h"
#include "options.h"
#include "output.h"
#include "quality.h"
#include "text.h"
#include "words.h"
#include "writing.h"

namespace {

struct QualityArgs {
    std::string input;
    bool raw = false;
    ConditionArgs condition;
    std::string quality = "best";
    bool json = false;
};

// Without a ROM, the game is heard as the third one plays its cries.
constexpr GameFamily QualityFamily = GameFamily::Third;

struct Mode {
    const char* name;
    EncodeQuality q;
    std::optional<HeardCry> heard;  // nothing for a sound longer than a sample holds
};

Mode MeasureMode(const char* name, const Bytes& samples, EncodeMode mode, uint32_t rateField) {
    Mode m{name, MeasureEncoding(samples, mode), std::nullopt};
    const EncodedCry cry{MakeSample(SampleKind::Compressed, samples, rateField, mode),
                         static_cast<uint32_t>(samples.size()), rateField, SampleKind::Compressed, m.q};
    if (!cry.sample.empty()) m.heard = HearCry(cry, samples, QualityFamily, std::nullopt);
    return m;
}

int RunQuality(const QualityArgs& args) {
    const double rate = GameRateField / 1024.0;
    LoadedAudio audio = LoadSamples(args.input, rate, args.raw, args.condition);
    const Bytes& samples = audio.samples;
    if (samples.empty()) Fail("'" + args.input + "' holds no audio");
    const uint32_t rateField = static_cast<uint32_t>(std::lround(audio.rate)) * 1024;
    const Mode modes[] = {MeasureMode("best", samples, EncodeMode::Best, rateField),
                          MeasureMode("fast", samples, EncodeMode::Fast, rateField)};
    const EncodeMode chosen = ModeOf(args.quality);
    const Mode& shown = chosen == EncodeMode::Best ? modes[0] : modes[1];
    CheckEncoding(shown.q, chosen, audio.warnings);
    PrintWarnings(audio.warnings);
    const HeardWarnings heardWarnings = shown.heard ? shown.heard->warnings : HeardWarnings{};
    PrintHeardWarnings(heardWarnings);
    if (args.json) {
        Json warnings = WarningsJson(audio.warnings, WarningText);
        for (const HeardWarning& w : heardWarnings) warnings.Push(HeardWarningJson(w, HeardWarningWords));
        Json j = Json::Object({{"input", args.input},
                               {"length", samples.size()},
                               {"rate", std::lround(audio.rate)},
                               {"compares", "the decoded values with the conditioned 8-bit signal before encoding"},
                               {"heard_compares", "the normal mode's render of the sample with that of the "
                                                  "conditioned signal stored uncompressed, both at 13379 Hz"},
                               {"units", Json::Object({{"snr_db", "dB"}, {"snr_heard_db", "dB"}, {"peak_error", "8-bit steps"}})},
                               {"warnings", warnings}});
        for (const Mode& m : modes)
            j.Set(m.name, Json::Object({{"snr_db", m.q.snrDb},
                                        {"snr_heard_db", m.heard ? Json(m.heard->snrDb) : Json()},
                                        {"peak_error", m.q.peakError},
                                        {"blocks", m.q.blocks},
                                        {"worst_blocks", m.q.worstBlocks}}));
        PrintJson(j);
        return ExitOk;
    }
    std::printf("%s: %zu samples at %.0f Hz (%.3f s), %u blocks\n", args.input.c_str(), samples.size(), audio.rate,
                samples.size() / audio.rate, modes[0].q.blocks);
    std::printf("compares what the game plays with the conditioned 8-bit signal before encoding; as heard: both "
                "rendered in the normal mode at 13379 Hz\n");
    std::printf("%-5s %9s %9s %19s %13s\n", "mode", "SNR (dB)", "as heard", "peak error (steps)", "worst blocks");
    for (const Mode& m : modes)
        std::printf("%-5s %9s %9s %19d %13u\n", m.name, SnrText(m.q.snrDb, "").c_str(),
                    m.heard ? HeardSnrText(m.heard->snrDb, "").c_str() : "-", m.q.peakError, m.q.worstBlocks);
    return ExitOk;
}

void AddQualityOptions(CLI::App* cmd, QualityArgs& args) {
    cmd->footer(AudioNote());
    cmd->add_option("IN", args.input, "Audio file")->required();
    cmd->add_flag("--raw", args.raw, "Take an 8-bit mono WAV's bytes as they are, unconverted");
    AddQualityOption(cmd, args.quality, "The mode whose warnings are shown: best (default) or fast");
    AddConditionOptions(cmd, args.condition);
    AddJsonOption(cmd, args.json);
}

}  // namespace

Command QualityCommand() {
    return MakeCommand(nullptr, "quality", "Compare the best and fast encodings of an audio file", AddQualityOptions,
                       RunQuality);
}
