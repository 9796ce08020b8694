// brevox-cli: the cry editor's core on the command line. Registers the
// commands of the table (table.cpp), parses the command line, runs the one
// given, and turns a failure into one line on standard error and the exit
// status (0 success, 1 failure, 2 bad usage).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <map>

#include "brevox_version.h"
#include "command.h"
#include "options.h"
#include "output.h"
#include "romfile.h"
#include "text.h"

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

    for (const auto& [cmd, runner] : registered) {
        if (!*cmd) continue;
        // Under --json a failure is a JSON object on standard output too.
        auto failed = [&](const char* message, int status, const Json& fields) {
            std::fprintf(stderr, "brevox-cli: %s\n", message);
            Json document = Json::Object({{"error", message}, {"status", status}});
            document.Merge(fields);
            if (*runner.json) PrintJson(document);
            return status;
        };
        try {
            return runner.run();
        } catch (const CliFailure& e) {
            return failed(e.what(), e.status, e.fields);
        } catch (const std::exception& e) {
            return failed(e.what(), ExitFailure, Json::Object());
        }
    }
    return ExitUsage;
}
