// SPDX-License-Identifier: GPL-3.0-or-later
// The subcommands of zelk-cli. Each adds itself to the app; its callback sets `exitCode`
// (the statuses of cli/exit_status.h) and prints its own messages.
#pragma once

#include "cli/target_options.h"

#include <CLI/CLI.hpp>
#include <memory>

namespace zelk {

// Every command, sharing the connection options added to `app`.
void AddCommands(CLI::App& app, int& exitCode);

// convert: it reads the connection options only to keep away from the simulator's files.
void AddConvertCommand(CLI::App& app, int& exitCode,
                       const std::shared_ptr<const TargetOptions>& connection);

// devices: the device database, checked; it reads the connection options for --ini only.
void AddDeviceListCommand(CLI::App& app, int& exitCode,
                          const std::shared_ptr<const TargetOptions>& connection);

// The families of target commands AddCommands adds.
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
