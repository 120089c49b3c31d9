// SPDX-License-Identifier: GPL-3.0-or-later
// zelk-cli: the programmer's command-line front end for scripts and production lines.
#include "cli/cancel_request.h"
#include "cli/commands.h"
#include "cli/exit_status.h"

#include <CLI/CLI.hpp>

int main(int argc, char** argv) {
    zelk::GuardStandardDescriptors();
    CLI::App app{"AVR in-system programmer, command-line front end", "zelk-cli"};
    app.set_version_flag("--version", "zelk-cli " ZELK_VERSION);
    app.require_subcommand(1);
    int exitCode = 0;
    zelk::AddCommands(app, exitCode);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version end here too; every other parse error is a usage error.
        return app.exit(e) == 0 ? zelk::ExitDone : zelk::ExitUsage;
    }
    return exitCode;
}
