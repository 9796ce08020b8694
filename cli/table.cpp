// The commands of brevox-cli, each with its options and how it runs. A new
// command is one row here, its arguments in commands.h and its file.
#include <memory>

#include "commands.h"

namespace {

template <class Args>
Command Row(const char* group, const char* name, const char* about, void (*add)(CLI::App*, Args&),
            int (*run)(const Args&)) {
    return {group, name, about, [add, run](CLI::App* cmd) {
                auto args = std::make_shared<Args>();
                add(cmd, *args);
                return Runner{[args, run] { return run(*args); }, &args->json};
            }};
}

}  // namespace

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        Row(nullptr, "identify", "Name the release and find its cry table", AddIdentifyOptions, RunIdentify),
        Row(nullptr, "list", "One row per ID: entry, sample offset, length, soundness", AddListOptions, RunList),
        Row(nullptr, "dump", "Decode one cry to an 8-bit mono WAV file", AddDumpOptions, RunDump),
        Row(nullptr, "dump-all", "Decode every cry into a directory", AddDumpAllOptions, RunDumpAll),
        Row(nullptr, "encode", "Encode an audio file into the ROM", AddEncodeOptions, RunEncode),
        Row(nullptr, "repoint", "Point an ID's entry at another sample", AddRepointOptions, RunRepoint),
        Row(nullptr, "import", "Replace every cry a directory holds, in one step", AddImportOptions, RunImport),
        Row(nullptr, "diff", "Write the BPS patch that turns one image into another", AddDiffOptions, RunDiff),
        Row(nullptr, "quality", "Compare the best and fast encodings of an audio file", AddQualityOptions, RunQuality),
        {nullptr, "sample", "Sample files as source builds keep them: a sample's bytes in the image, header and data", {}},
        Row("sample", "encode", "Encode an audio file into a sample file, or every file of IN_DIR into OUT_DIR",
            AddSampleEncodeOptions, RunSampleEncode),
        Row("sample", "dump", "Decode a sample file to an 8-bit mono WAV at the rate its header declares",
            AddSampleDumpOptions, RunSampleDump),
    };
    return commands;
}
