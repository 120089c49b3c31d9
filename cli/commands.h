// The subcommands of zelk-cli. Each adds itself to the app; its callback sets `exitCode`
// (the statuses of cli/exit_status.h) and prints its own messages.
#pragma once

#include "cli/target_options.h"

#include <CLI/CLI.hpp>
#include <memory>

namespace zelk {

void AddConvertCommand(CLI::App& app, int& exitCode);
// Every command on the target, sharing the connection options added to `app`.
void AddTargetCommands(CLI::App& app, int& exitCode);

// The families AddTargetCommands adds.
// detect, reset, erase, blank-check.
void AddDeviceCommands(CLI::App& app, int& exitCode,
                       const std::shared_ptr<const TargetOptions>& connection);
// read-, write-, verify-flash and -eeprom, program.
void AddMemoryFileCommands(CLI::App& app, int& exitCode,
                           const std::shared_ptr<const TargetOptions>& connection);
// autoprogram, serial-number.
void AddProductionCommands(CLI::App& app, int& exitCode,
                           const std::shared_ptr<const TargetOptions>& connection);
// read-lock, write-lock, read-fuses, write-fuses.
void AddLockFuseCommands(CLI::App& app, int& exitCode,
                         const std::shared_ptr<const TargetOptions>& connection);

} // namespace zelk
