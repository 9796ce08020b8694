// A command of brevox-cli as the table (table.cpp) registers it: its name,
// what it does, and how its options are added and it is run. Each command's
// file holds its arguments, its options and its run, and exports one
// Command; a refusal or failure throws CliFailure (text.h).
#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace CLI {
class App;
}

// A command whose options are registered, to run once they are parsed.
struct Runner {
    std::function<int()> run;
    const bool* json;  // whether --json was given
};

struct Command {
    const char* group;  // the command it sits under ("sample"), listed before it, or nullptr
    const char* name;
    const char* about;
    // Adds the options to `cmd`, bound to arguments of their own; empty for a
    // command that only gathers others ("sample encode", "sample dump").
    std::function<Runner(CLI::App* cmd)> add;
};

// A command whose arguments are an `Args` (with a `json` flag), bound by
// `add` and run by `run`.
template <class Args>
Command MakeCommand(const char* group, const char* name, const char* about, void (*add)(CLI::App*, Args&),
                    int (*run)(const Args&)) {
    return {group, name, about, [add, run](CLI::App* cmd) {
                auto args = std::make_shared<Args>();
                add(cmd, *args);
                return Runner{[args, run] { return run(*args); }, &args->json};
            }};
}

// The commands, one per file, named for it (identify.cpp, dump_all.cpp, ...).
Command IdentifyCommand();
Command ListCommand();
Command DumpCommand();
Command DumpAllCommand();
Command RenderCommand();
Command EncodeCommand();
Command RepointCommand();
Command ImportCommand();
Command SpaceCommand();
Command DiffCommand();
Command QualityCommand();
Command SampleEncodeCommand();
Command SampleDumpCommand();

// Every command, in the order --help lists them.
const std::vector<Command>& Commands();
