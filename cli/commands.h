// The subcommands of zelk-cli. Each adds itself to the app; its callback sets `exitCode`
// (0 success, 1 failure) and prints its own messages.
#pragma once

#include <CLI/CLI.hpp>

namespace zelk {

void AddConvertCommand(CLI::App& app, int& exitCode);
// detect, erase, read-flash, write-flash ... AutoProgram, serial numbering, lock and fuses.
void AddTargetCommands(CLI::App& app, int& exitCode);

} // namespace zelk
