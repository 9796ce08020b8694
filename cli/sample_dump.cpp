// sample dump: a sample file, as source builds keep them (sample encode),
// decoded to a WAV at the rate its header declares.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "audio.h"
#include "command.h"
#include "image.h"
#include "options.h"
#include "output.h"
#include "romfile.h"
#include "text.h"
#include "writing.h"

namespace {

struct SampleDumpArgs {
    std::string input;   // a sample file
    std::string output;  // the WAV
    bool json = false;
};

// Why the bytes of a sample file cannot be played, or empty when they can.
std::string SampleFileProblem(const SampleInfo& s, size_t fileBytes) {
    const std::string size = std::to_string(fileBytes) + " bytes";
    if (!s.headerInFile) return "holds " + size + ", less than a sample's " + std::to_string(SampleHeaderSize) + "-byte header";
    if (!s.KnownKind())
        return "header byte 0 holds " + std::to_string(s.type) + ", not 0 (uncompressed) or 1 (compressed)";
    if (!PlausibleRate(s.Hz()))
        return "declares a rate of " + std::to_string(s.Hz()) + " Hz, not between " + std::to_string(MinSampleRate) +
               " and " + std::to_string(MaxSampleRate);
    if (!s.extentInFile)
        return "its length field counts " + std::to_string(s.length) + " values, which take " +
               std::to_string(s.format->bytes(s.length)) + " bytes; the file holds " + size;
    if (!s.headerPlausible) return "its header is not a cry's: bytes 1-3 and the loop start must be 0";
    return {};
}

int RunSampleDump(const SampleDumpArgs& args) {
    RequireSeparateOutput(args.output, {args.input});
    const Bytes file = ReadWholeFile(args.input, "sample");
    const SampleInfo s = InspectSample(file, 0);
    const std::string problem = SampleFileProblem(s, file.size());
    if (!problem.empty()) Fail("'" + args.input + "' is not a sample file: " + problem);
    const Bytes values = DecodeToUnsigned(file, s);
    ReplaceOptions options;
    options.sync = false;
    ReplaceFileContents(args.output, [&](FILE* f) { return WriteWav(f, values, s.Hz()); }, options);
    if (args.json) {
        PrintJson(Json::Object({{"input", args.input}, {"file", args.output}, {"values", values.size()}, {"rate", s.Hz()},
                   {"sample", SampleJson(s)}}));
        return ExitOk;
    }
    std::printf("wrote %s: %zu samples at %u Hz (%.3f s) from %s sample\n", args.output.c_str(), values.size(), s.Hz(),
                values.size() / static_cast<double>(s.Hz()), WithArticle(SampleKindName(s)).c_str());
    return ExitOk;
}

void AddSampleDumpOptions(CLI::App* cmd, SampleDumpArgs& args) {
    cmd->add_option("IN", args.input, "Sample file")->required();
    cmd->add_option("OUT", args.output, "WAV file to write")->required();
    AddJsonOption(cmd, args.json);
}

}  // namespace

Command SampleDumpCommand() {
    return MakeCommand("sample", "dump", "Decode a sample file to an 8-bit mono WAV at the rate its header declares",
                       AddSampleDumpOptions, RunSampleDump);
}
