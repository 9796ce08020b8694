// quality: how faithfully each encoding mode keeps an audio file, measured
// on the decoded values; reads only the audio.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>

#include "audio.h"
#include "command.h"
#include "options.h"
#include "output.h"
#include "quality.h"
#include "text.h"
#include "writing.h"

namespace {

struct QualityArgs {
    std::string input;
    bool raw = false;
    ConditionArgs condition;
    std::string quality = "best";
    bool json = false;
};

int RunQuality(const QualityArgs& args) {
    const double rate = GameRateField / 1024.0;
    LoadedAudio audio = LoadSamples(args.input, rate, args.raw, args.condition);
    const Bytes& samples = audio.samples;
    if (samples.empty()) Fail("'" + args.input + "' holds no audio");
    struct Mode {
        const char* name;
        EncodeQuality q;
    } modes[] = {{"best", MeasureEncoding(samples, EncodeMode::Best)},
                 {"fast", MeasureEncoding(samples, EncodeMode::Fast)}};
    const EncodeMode chosen = ModeOf(args.quality);
    CheckEncoding(chosen == EncodeMode::Best ? modes[0].q : modes[1].q, chosen, audio.warnings);
    PrintWarnings(audio.warnings);
    if (args.json) {
        Json j = Json::Object({{"input", args.input},
                               {"length", samples.size()},
                               {"rate", std::lround(audio.rate)},
                               {"compares", "the decoded values with the conditioned 8-bit signal before encoding"},
                               {"units", Json::Object({{"snr_db", "dB"}, {"peak_error", "8-bit steps"}})},
                               {"warnings", WarningsJson(audio.warnings, WarningText)}});
        for (const Mode& m : modes)
            j.Set(m.name, Json::Object({{"snr_db", m.q.snrDb},
                                        {"peak_error", m.q.peakError},
                                        {"blocks", m.q.blocks},
                                        {"worst_blocks", m.q.worstBlocks}}));
        PrintJson(j);
        return ExitOk;
    }
    std::printf("%s: %zu samples at %.0f Hz (%.3f s), %u blocks\n", args.input.c_str(), samples.size(), audio.rate,
                samples.size() / audio.rate, modes[0].q.blocks);
    std::printf("compares what the game plays with the conditioned 8-bit signal before encoding\n");
    std::printf("%-5s %9s %19s %13s\n", "mode", "SNR (dB)", "peak error (steps)", "worst blocks");
    for (const Mode& m : modes)
        std::printf("%-5s %9s %19d %13u\n", m.name, SnrText(m.q.snrDb, "").c_str(), m.q.peakError, m.q.worstBlocks);
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
