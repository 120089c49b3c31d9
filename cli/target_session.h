// One run of a zelk-cli target command: the Programmer built from the options, the images,
// the output, and the end that every command shares: the target released, the drivers off,
// the simulated chip saved, a summary line and the exit status.
#pragma once

#include "app/app_state.h"
#include "cli/cli_target_ui.h"
#include "cli/target_options.h"
#include "engine/programmer.h"

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zelk {

inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

class TargetSession {
public:
    TargetSession(const TargetOptions& options, const std::string& operation);
    TargetSession(const TargetSession&) = delete;
    TargetSession& operator=(const TargetSession&) = delete;

    // False, with the reason, when the options cannot be put to use (a usage error).
    bool Open(const TargetOptions& options, std::string& error);

    AppState app;
    CliTargetUi ui;
    std::unique_ptr<Programmer> programmer;
    // Bytes the command moved, for the summary.
    std::uint64_t bytes = 0;
};

// What a command does once its session is open: true when it did its job. It may set
// `exitCode` itself (a usage error found late); it is otherwise 0 or 1 from the answer.
using TargetRun = std::function<bool(TargetSession&, int& exitCode)>;

// Adds a subcommand that runs `run` in a session. The connection options are shared by every
// command; a cancel by Ctrl-C or SIGTERM ends with status 130.
CLI::App* AddTargetCommand(CLI::App& app, int& exitCode, const std::string& name,
                           const std::string& description,
                           std::shared_ptr<const TargetOptions> connection, TargetRun run);

// Prints "zelk-cli: MESSAGE" on stderr.
void PrintError(const std::string& message);

} // namespace zelk
