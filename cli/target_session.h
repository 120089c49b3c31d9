// SPDX-License-Identifier: GPL-3.0-or-later
// One run of a zelk-cli target command: the Programmer built from the options, the images,
// the output, and the end that every command shares: the target released, the drivers off,
// the simulated chip saved, a summary line and the exit status.
#pragma once

#include "cli/cli_messages.h"
#include "cli/cli_target_ui.h"
#include "cli/exit_status.h"
#include "cli/target_options.h"
#include "engine/programmer.h"
#include "platform/settings_store.h"
#include "station/app_state.h"
#include "station/target_commands.h"

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zelk {

class TargetSession {
public:
    TargetSession(const TargetOptions& options, const std::string& operation);
    TargetSession(const TargetSession&) = delete;
    TargetSession& operator=(const TargetSession&) = delete;

    // False, with the reason, when the options cannot be put to use (a usage error).
    bool Open(const TargetOptions& options, std::string& error);

    // Runs a row of the command table on this session's Programmer, images and settings.
    // True when it was done; an unconfirmed result sets `exitCode` to ExitUnconfirmed.
    bool Run(CommandId id, const CommandInput& input, CommandOutput& output, int& exitCode);

    AppState app;
    SettingsStore settings{SettingsStore::UserFile()};
    CliTargetUi ui;
    std::unique_ptr<Programmer> programmer;
    // Bytes the command moved, for the summary.
    std::uint64_t bytes = 0;
};

// What a command does once its session is open: true when it did its job. It may set
// `exitCode` itself (a usage error found late, a result it could not confirm); it is otherwise
// 0 or 1 from the answer.
using TargetRun = std::function<bool(TargetSession&, int& exitCode)>;

// Adds a subcommand that runs `run` in a session. The connection options are shared by every
// command; a cancel by a signal ends with status 128 + its number.
CLI::App* AddTargetCommand(CLI::App& app, int& exitCode, const std::string& name,
                           const std::string& description,
                           std::shared_ptr<const TargetOptions> connection, TargetRun run);

// False, after saying so, when what the command wrote to standard output did not all get
// there (it was closed, or a pipe whose reader went away).
bool FlushStandardOutput();

} // namespace zelk
