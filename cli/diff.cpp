// diff: the BPS patch from one image to another, the way people share an
// edit: a few kilobytes for a few cries instead of the whole image, applied
// by any patcher to the original alone.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "bps.h"
#include "command.h"
#include "options.h"
#include "output.h"
#include "romfile.h"
#include "text.h"
#include "writing.h"

namespace {

struct DiffArgs {
    std::string original;
    std::string edited;
    std::string out;  // the BPS patch
    bool json = false;
};

int RunDiff(const DiffArgs& args) {
    const Bytes original = ReadWholeFile(args.original, "original image");
    const Bytes edited = ReadWholeFile(args.edited, "edited image");
    RequireSeparateOutput(args.out, {args.original, args.edited});
    const Bytes patch = MakeBps(original, edited);
    ReplaceFileBytes(args.out, patch);
    if (args.json) {
        PrintJson(Json::Object({{"original", args.original},
                   {"edited", args.edited},
                   {"original_bytes", original.size()},
                   {"edited_bytes", edited.size()},
                   {"patch", args.out},
                   {"patch_bytes", patch.size()}}));
        return ExitOk;
    }
    std::printf("wrote patch %s (%zu bytes): %s (%zu bytes) to %s (%zu bytes)\n", args.out.c_str(), patch.size(),
                args.original.c_str(), original.size(), args.edited.c_str(), edited.size());
    return ExitOk;
}

void AddDiffOptions(CLI::App* cmd, DiffArgs& args) {
    cmd->add_option("ORIGINAL", args.original, "The image as it was")->required();
    cmd->add_option("EDITED", args.edited, "The image as edited")->required();
    cmd->add_option("OUT", args.out, "The BPS patch to write")->required();
    AddJsonOption(cmd, args.json);
}

}  // namespace

Command DiffCommand() {
    return MakeCommand(nullptr, "diff", "Write the BPS patch that turns one image into another", AddDiffOptions, RunDiff);
}
