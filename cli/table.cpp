// The commands of brevox-cli in the order --help lists them. A new command is
// a file of its own exporting one Command (command.h) and one row here.
#include "command.h"

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        IdentifyCommand(),
        ListCommand(),
        DumpCommand(),
        DumpAllCommand(),
        RenderCommand(),
        EncodeCommand(),
        RepointCommand(),
        ImportCommand(),
        SpaceCommand(),
        DiffCommand(),
        QualityCommand(),
        {nullptr, "sample", "Sample files as source builds keep them: a sample's bytes in the image, header and data", {}},
        SampleEncodeCommand(),
        SampleDumpCommand(),
    };
    return commands;
}
