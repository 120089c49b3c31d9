// SPDX-License-Identifier: GPL-3.0-or-later
// detect, reset, erase and blank-check: the commands that need no file.
#include "cli/commands.h"
#include "cli/target_session.h"
#include "engine/command_support.h"

#include <cstdio>
#include <iostream>

namespace zelk {
namespace {

// "ATmega328P 1E950F" for a chip the command may use; the device bar's text alone otherwise.
bool Identify(TargetSession& session, CommandId id, int& exitCode) {
    CommandOutput output;
    if (!session.Run(id, {}, output, exitCode)) {
        std::cout << session.ui.DeviceText() << '\n';
        return false;
    }
    const Programmer& programmer = *session.programmer;
    char signature[16];
    std::snprintf(signature, sizeof signature, "%06X", static_cast<unsigned>(programmer.signature));
    std::cout << programmer.device.name << ' ' << signature << '\n';
    return true;
}

} // namespace

void AddDeviceCommands(CLI::App& app, int& exitCode,
                       const std::shared_ptr<const TargetOptions>& connection) {
    AddTargetCommand(app, exitCode, "detect", "Identify the attached device: name and signature",
                     connection, [](TargetSession& session, int& code) {
                         return Identify(session, CommandId::Detect, code);
                     });
    AddTargetCommand(app, exitCode, "reset", "Reset the target, then identify it", connection,
                     [](TargetSession& session, int& code) {
                         return Identify(session, CommandId::Reset, code);
                     });
    AddTargetCommand(app, exitCode, "erase",
                     "Erase flash and EEPROM, then check the flash is blank; a locked AT90S is "
                     "unlocked",
                     connection, [](TargetSession& session, int& code) {
                         CommandOutput output;
                         return session.Run(CommandId::Erase, {}, output, code);
                     });
    AddTargetCommand(app, exitCode, "blank-check", "Check that the flash is erased", connection,
                     [](TargetSession& session, int& code) {
                         CommandOutput output;
                         const bool empty = session.Run(CommandId::BlankCheck, {}, output, code);
                         session.bytes = FlashLength(session.programmer->device);
                         return empty;
                     });
}

} // namespace zelk
