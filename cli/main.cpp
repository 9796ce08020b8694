// brevox-cli: the cry editor's core on the command line. Registers the
// commands of the table (table.cpp), parses the command line, runs the one
// given, and turns a failure into one line on standard error and the exit
// status (0 success, 1 failure, 2 bad usage).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>

#include "brevox_version.h"
#include "command.h"
#include "options.h"
#include "output.h"
#include "romfile.h"
#include "text.h"

namespace {

// Whether --json was asked for, read from the words themselves: a command
// line the parser refuses still gets its failure in JSON.
bool AsksForJson(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) return false;
        if (std::strcmp(argv[i], "--json") == 0) return true;
    }
    return false;
}

// One line on standard error and, under --json, the failure as a JSON object
// on standard output; `fields` join it (a refused plan's problems).
int Failed(const std::string& message, int status, bool json, const Json& fields = Json::Object()) {
    std::fprintf(stderr, "brevox-cli: %s\n", message.c_str());
    Json document = Json::Object({{"error", message}, {"status", status}});
    document.Merge(fields);
    if (json) PrintJson(document);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"brevox-cli: dump, encode and repoint the cries of GBA ROM images"};
    app.footer(std::string(AudioNote()) + "\nExit status: 0 success, 1 failure, 2 bad usage.");
    app.require_subcommand(1);
    app.set_version_flag("--version", "brevox-cli " BREVOX_VERSION);
    app.allow_windows_style_options(false);  // a path like /tmp/x is never an option
    UseUtf8Console();

    std::map<std::string, CLI::App*> groups;
    std::vector<std::pair<CLI::App*, Runner>> registered;
    for (const Command& c : Commands()) {
        CLI::App* cmd = (c.group ? groups.at(c.group) : &app)->add_subcommand(c.name, c.about);
        if (c.add) registered.emplace_back(cmd, c.add(cmd));
        else groups[c.name] = cmd->require_subcommand(1);
    }

    const bool json = AsksForJson(argc, argv);
    // Named here, as the library would only say that a command is missing.
    if (argc > 1 && argv[1][0] != '-' && app.get_subcommands([&](CLI::App* c) { return c->get_name() == argv[1]; }).empty())
        return Failed(std::string("unknown command '") + argv[1] + "' (see --help)", ExitUsage, json);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        return Failed(std::string(e.what()) + " (see --help)", ExitUsage, json);
    }

    for (const auto& [cmd, runner] : registered) {
        if (!*cmd) continue;
        try {
            return runner.run();
        } catch (const CliFailure& e) {
            return Failed(e.what(), e.status, *runner.json, e.fields);
        } catch (const std::exception& e) {
            return Failed(e.what(), ExitFailure, *runner.json);
        }
    }
    return ExitUsage;
}
