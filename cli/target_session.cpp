// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/target_session.h"

#include "cli/cancel_request.h"
#include "engine/command_support.h"
#include "platform/ini_document.h"
#include "sim/simulated_port.h"

#include <algorithm>
#include <cstdio>

namespace zelk {

bool FlushStandardOutput() {
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
        return true;
    }
    PrintError("cannot write to standard output");
    return false;
}

TargetSession::TargetSession(const TargetOptions& options, const std::string& operation)
    : ui(options.Style(), operation) {}

bool TargetSession::Run(CommandId id, const CommandInput& input, CommandOutput& output,
                        int& exitCode) {
    CommandPlace place{app.images, settings};
    const CommandResult result = RunTargetCommand(id, *programmer, place, input, output, ui);
    if (result == CommandResult::Unconfirmed) {
        exitCode = ExitUnconfirmed;
    }
    return result == CommandResult::Done || result == CommandResult::Unconfirmed;
}

bool TargetSession::Open(const TargetOptions& options, std::string& error) {
    ConnectionSettings connection;
    if (!ConnectionOf(options, settings, connection, error)) {
        return false;
    }
    programmer = MakeProgrammer(connection, error);
    if (!programmer) {
        return false;
    }
    programmer->SetCancelFlag(&CancelRequest());
    if (!options.device.empty()) {
        std::vector<DeviceEntry> devices;
        if (!ReadDeviceList(programmer->DeviceDatabase(), devices, error)) {
            return false;
        }
        if (std::ranges::none_of(devices, [&](const DeviceEntry& device) {
                return SameIniName(device.name, options.device);
            })) {
            error = "--device " + options.device + ": " + programmer->DeviceDatabase().string() +
                    " lists no such device";
            return false;
        }
        programmer->requiredDevices.push_back({options.device, "that --device names"});
    }
    // A simulator that cannot start (a state file of another chip, one in use) is a mistake
    // in the options; a hardware port that cannot be opened is the command's failure.
    return connection.port != PortKind::Simulator || programmer->OpenPort(error);
}

CLI::App* AddTargetCommand(CLI::App& app, int& exitCode, const std::string& name,
                           const std::string& description,
                           std::shared_ptr<const TargetOptions> connection, TargetRun run) {
    CLI::App* command = app.add_subcommand(name, description);
    command->fallthrough();
    command->footer("Exit status: 0 done, 1 the operation failed (the reason on stderr), "
                    "2 usage error, 3 done but not confirmed, 128 + N cancelled by signal N "
                    "(130 Ctrl-C, 143 SIGTERM). The target is released and the cable's drivers "
                    "are off at the end.");
    command->callback([connection, run, name, &exitCode] {
        InstallCancelHandlers();
        UseJsonMessages(connection->Style() == ProgressStyle::Json);
        TargetSession session(*connection, name);
        std::string error;
        if (!session.Open(*connection, error)) {
            PrintError(error);
            exitCode = ExitUsage;
            session.ui.Summary(name, exitCode, 0);
            return;
        }
        int code = 0;
        const bool done = run(session, code);
        if (code == 0 && !done) {
            code = ExitFailure;
        }
        if (session.programmer->Port() != nullptr) {
            ReleaseTarget(*session.programmer);
        }
        if (!SaveSimulatedChip(session.programmer->Port(), error)) {
            PrintError(error);
            code = code == 0 ? ExitFailure : code;
        }
        if (!FlushStandardOutput() && code == 0) {
            code = ExitFailure;
        }
        if (CancelRequest().load() != 0) {
            PrintError(std::string("cancelled by ") + CancelSignalName());
            code = ExitStatusOfCancel();
        }
        session.ui.Summary(name, code, session.bytes);
        exitCode = code;
    });
    return command;
}

} // namespace zelk
