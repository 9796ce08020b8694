// brevox-cli: the cry editor's core on the command line. Parses the command
// line, runs one command, and turns a failure into one line on standard
// error and the exit status (0 success, 1 failure, 2 bad usage).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "audio.h"
#include "audio_options.h"
#include "brevox_version.h"
#include "commands.h"
#include "output.h"
#include "romfile.h"
#include "text.h"

namespace {

// A command on a ROM: the ROM as its first argument, and --json.
CLI::App* AddCommand(CLI::App& app, const char* name, const char* about, std::string& rom, bool& json) {
    CLI::App* cmd = app.add_subcommand(name, about);
    cmd->add_option("ROM", rom, "ROM image")->required();
    cmd->add_flag("--json", json, "Machine-readable output");
    return cmd;
}

void AddTableOptions(CLI::App* cmd, TableArgs& t) {
    cmd->add_flag("--species", t.species, "Read IDs as species numbers (the brevox-species rule)");
    cmd->add_option("--table", t.table, "Cry-table offset (hex, word-aligned), instead of identifying the ROM");
    cmd->add_option("--entries", t.entries, "The table's size, for a table whose entries carry other words");
}

// The rate and kind of a new sample; both default to the replaced sample's.
void AddSampleOptions(CLI::App* cmd, std::optional<uint32_t>& rate, std::string& kind) {
    cmd->add_option("--rate", rate,
                    "Rate the new sample declares and is resampled to, in Hz (default: the replaced sample's, "
                    "10512 where there is none)");
    cmd->add_option("--kind", kind, "compressed or uncompressed (default: the replaced sample's kind)")
        ->check(CLI::IsMember({"compressed", "uncompressed"}));
}

void AddWriteOptions(CLI::App* cmd, WriteArgs& w) {
    cmd->add_flag("--dry-run", w.dryRun, "Show what would be written and write nothing");
    CLI::Option* backup =
        cmd->add_flag("--backup", w.backup, "Keep the old image as ROM.bak (ROM.1.bak, ... when that exists)");
    cmd->add_option("--patch", w.patch, "Leave the ROM as it is; write the BPS patch from it to the edited image here")
        ->excludes(backup);
}

const char* AudioNote() {
    return "Audio in any format libsndfile reads is mixed to mono, resampled and quantised to 8 bits.";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"brevox-cli: dump, encode and repoint the cries of GBA ROM images"};
    app.footer(std::string(AudioNote()) + "\nExit status: 0 success, 1 failure, 2 bad usage.");
    app.require_subcommand(1);
    app.set_version_flag("--version", "brevox-cli " BREVOX_VERSION);
    app.allow_windows_style_options(false);  // a path like /tmp/x is never an option
    UseUtf8Console();

    IdentifyArgs identify;
    auto* identifyCmd = AddCommand(app, "identify", "Name the release and find its cry table", identify.rom, identify.json);

    ListArgs list;
    auto* listCmd = AddCommand(app, "list", "One row per ID: entry, sample offset, length, soundness", list.rom, list.json);
    AddTableOptions(listCmd, list.table);

    DumpArgs dump;
    auto* dumpCmd = AddCommand(app, "dump", "Decode one cry to an 8-bit mono WAV file", dump.rom, dump.json);
    dumpCmd->add_option("ID", dump.id, "Cry ID (1-411)");
    dumpCmd->add_option("--index", dump.index, "Table index (0-based) instead of an ID");
    dumpCmd->add_option("--offset", dump.offset, "Sample offset (hex) instead of an ID");
    dumpCmd->add_option("-o,--output", dump.out, "WAV file to write")->required();
    dumpCmd->add_option("--rate", dump.rate, "Resample to this rate in Hz, pitch and duration kept (default: the sample's own)");
    dumpCmd->add_flag("--dialog-header", dump.dialogHeader,
                      "The sample's own values under an 11050 Hz header, as the dialog writes them (plays 5 % fast)");
    AddTableOptions(dumpCmd, dump.table);

    DumpAllArgs dumpAll;
    auto* dumpAllCmd = AddCommand(app, "dump-all", "Decode every cry into a directory", dumpAll.rom, dumpAll.json);
    dumpAllCmd->add_option("DIR", dumpAll.dir, "Directory for the WAV files (created if missing)")->required();
    dumpAllCmd->add_option("--rate", dumpAll.rate, "Resample to this rate in Hz (default: each sample's own)");
    dumpAllCmd->add_flag("--dialog-header", dumpAll.dialogHeader, "The values under the dialog's 11050 Hz header");
    AddTableOptions(dumpAllCmd, dumpAll.table);

    EncodeArgs encode;
    auto* encodeCmd = AddCommand(app, "encode", "Encode an audio file into the ROM", encode.rom, encode.json);
    encodeCmd->footer(AudioNote());
    encodeCmd->add_option("IN", encode.input, "Audio file")->required();
    encodeCmd->add_option("ID", encode.id, "Cry ID: write over its current sample");
    encodeCmd->add_option("--index", encode.index, "Table index (0-based) instead of an ID");
    encodeCmd->add_option("--offset", encode.offset, "Write at this offset (hex) instead, repointing nothing");
    encodeCmd->add_flag("--force", encode.force, "Write even over what follows a shorter sample (the cries it runs over are named first)");
    encodeCmd->add_flag("--repoint-free", encode.repointFree, "Write into free space (FF bytes) and repoint the entry");
    encodeCmd->add_option("--free-start", encode.freeStart, "Free space search starts here (hex)");
    encodeCmd->add_option("--free-end", encode.freeEnd, "Free space search ends here (hex)");
    encodeCmd->add_option("--quality", encode.quality, "best (least error, default) or fast (greedy)")
        ->check(CLI::IsMember({"best", "fast"}));
    encodeCmd->add_flag("--raw", encode.raw, "Take an 8-bit mono WAV's bytes as they are, unconverted");
    AddSampleOptions(encodeCmd, encode.rate, encode.kind);
    encodeCmd->add_option("--preview", encode.preview, "Write what the game will play to this WAV (with --dry-run only that)");
    AddConditionOptions(encodeCmd, encode.condition);
    AddTableOptions(encodeCmd, encode.table);
    AddWriteOptions(encodeCmd, encode.write);

    RepointArgs repoint;
    auto* repointCmd = AddCommand(app, "repoint", "Point an ID's entry at another sample", repoint.rom, repoint.json);
    repointCmd->add_option("ID", repoint.id, "Cry ID (1-411); empty with --index");
    repointCmd->add_option("--index", repoint.index, "Table index (0-based) instead of an ID");
    repointCmd->add_option("HEX", repoint.target, "Sample offset (hex) or ROM address");
    repointCmd->add_flag("--force", repoint.force, "Repoint even where no sample lies");
    AddTableOptions(repointCmd, repoint.table);
    AddWriteOptions(repointCmd, repoint.write);

    ImportArgs import;
    auto* importCmd = AddCommand(app, "import", "Replace every cry a directory holds, in one step", import.rom,
                                 import.json);
    importCmd->footer(std::string(AudioNote()) +
                      "\nFiles: cry-NNN.* (species-NNN.* with --species) and index-NNNN.*, as dump-all writes them; "
                      "others are ignored. A cry stays in its slot when it fits, else moves to free space (largest "
                      "first) and both tables are repointed. Any problem refuses the whole import.");
    importCmd->add_option("DIR", import.dir, "Directory of audio files")->required();
    importCmd->add_option("--quality", import.quality, "best (least error, default) or fast (greedy)")
        ->check(CLI::IsMember({"best", "fast"}));
    importCmd->add_flag("--raw", import.raw, "Take 8-bit mono WAVs' bytes as they are, unconverted");
    importCmd->add_flag("--reclaim", import.reclaim,
                        "Fill the slots moved cries leave with FF (when nothing points into them) and reuse them");
    importCmd->add_option("--free-start", import.freeStart, "Inner free space is used from here (hex)");
    importCmd->add_option("--free-end", import.freeEnd, "Inner free space is used up to here (hex)");
    AddSampleOptions(importCmd, import.rate, import.kind);
    importCmd->add_option("--preview", import.preview,
                          "Write what the game will play, a WAV per cry, into this directory (with --dry-run only that)");
    AddConditionOptions(importCmd, import.condition);
    AddTableOptions(importCmd, import.table);
    AddWriteOptions(importCmd, import.write);

    DiffArgs diff;
    auto* diffCmd = app.add_subcommand("diff", "Write the BPS patch that turns one image into another");
    diffCmd->add_option("ORIGINAL", diff.original, "The image as it was")->required();
    diffCmd->add_option("EDITED", diff.edited, "The image as edited")->required();
    diffCmd->add_option("OUT", diff.out, "The BPS patch to write")->required();
    diffCmd->add_flag("--json", diff.json, "Machine-readable output");

    QualityArgs quality;
    auto* qualityCmd = app.add_subcommand("quality", "Compare the best and fast encodings of an audio file");
    qualityCmd->footer(AudioNote());
    qualityCmd->add_option("IN", quality.input, "Audio file")->required();
    qualityCmd->add_flag("--raw", quality.raw, "Take an 8-bit mono WAV's bytes as they are, unconverted");
    qualityCmd->add_option("--quality", quality.quality, "The mode whose warnings are shown: best (default) or fast")
        ->check(CLI::IsMember({"best", "fast"}));
    AddConditionOptions(qualityCmd, quality.condition);
    qualityCmd->add_flag("--json", quality.json, "Machine-readable output");

    auto* sampleCmd = app.add_subcommand(
        "sample", "Sample files as source builds keep them: a sample's bytes in the image, header and data");
    sampleCmd->require_subcommand(1);
    SampleEncodeArgs sampleEncode;
    auto* sampleEncodeCmd =
        sampleCmd->add_subcommand("encode", "Encode an audio file into a sample file, or every file of IN_DIR into OUT_DIR");
    sampleEncodeCmd->footer(std::string(AudioNote()) +
                            "\nThe file holds the header (kind, rate x 1024, loop start 0, length S) and S + 1 values, "
                            "the last one silence. A directory gives OUT_DIR/NAME.bin per file, or nothing when any "
                            "file fails.");
    sampleEncodeCmd->add_option("IN", sampleEncode.input, "Audio file, or a directory of them")->required();
    sampleEncodeCmd->add_option("OUT", sampleEncode.output, "Sample file (.bin), or a directory for a directory")->required();
    sampleEncodeCmd->add_option("--kind", sampleEncode.kind, "compressed (default) or uncompressed")
        ->check(CLI::IsMember({"compressed", "uncompressed"}));
    sampleEncodeCmd->add_option("--rate", sampleEncode.rate, "Rate the sample declares and is resampled to, in Hz (default 10512)");
    sampleEncodeCmd->add_option("--quality", sampleEncode.quality, "best (least error, default) or fast (greedy)")
        ->check(CLI::IsMember({"best", "fast"}));
    sampleEncodeCmd->add_flag("--raw", sampleEncode.raw, "Take an 8-bit mono WAV's bytes as they are, unconverted");
    sampleEncodeCmd->add_option("--preview", sampleEncode.preview,
                                "Write what the game will play to this WAV (a directory of them for a directory)");
    AddConditionOptions(sampleEncodeCmd, sampleEncode.condition);
    sampleEncodeCmd->add_flag("--json", sampleEncode.json, "Machine-readable output");
    SampleDumpArgs sampleDump;
    auto* sampleDumpCmd =
        sampleCmd->add_subcommand("dump", "Decode a sample file to an 8-bit mono WAV at the rate its header declares");
    sampleDumpCmd->add_option("IN", sampleDump.input, "Sample file")->required();
    sampleDumpCmd->add_option("OUT", sampleDump.output, "WAV file to write")->required();
    sampleDumpCmd->add_flag("--json", sampleDump.json, "Machine-readable output");

    // Named here, as the library would only say that a command is missing.
    if (argc > 1 && argv[1][0] != '-' && app.get_subcommands([&](CLI::App* c) { return c->get_name() == argv[1]; }).empty()) {
        std::fprintf(stderr, "brevox-cli: unknown command '%s' (see --help)\n", argv[1]);
        return ExitUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        std::fprintf(stderr, "brevox-cli: %s (see --help)\n", e.what());
        return ExitUsage;
    }

    // Under --json a failure is a JSON object on standard output too.
    const bool json = identify.json || list.json || dump.json || dumpAll.json || encode.json || repoint.json ||
                      import.json || diff.json || quality.json || sampleEncode.json || sampleDump.json;
    auto failed = [&](const char* message, int status, const Json& fields) {
        std::fprintf(stderr, "brevox-cli: %s\n", message);
        Json document = Json::Object({{"error", message}, {"status", status}});
        document.Merge(fields);
        if (json) PrintJson(document);
        return status;
    };
    try {
        if (*identifyCmd) return RunIdentify(identify);
        if (*listCmd) return RunList(list);
        if (*dumpCmd) return RunDump(dump);
        if (*dumpAllCmd) return RunDumpAll(dumpAll);
        if (*encodeCmd) return RunEncode(encode);
        if (*repointCmd) return RunRepoint(repoint);
        if (*importCmd) return RunImport(import);
        if (*diffCmd) return RunDiff(diff);
        if (*sampleEncodeCmd) return RunSampleEncode(sampleEncode);
        if (*sampleDumpCmd) return RunSampleDump(sampleDump);
        return RunQuality(quality);
    } catch (const CliFailure& e) {
        return failed(e.what(), e.status, e.fields);
    } catch (const std::exception& e) {
        return failed(e.what(), ExitFailure, Json::Object());
    }
}
