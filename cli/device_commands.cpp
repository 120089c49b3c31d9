// detect, reset, erase and blank-check: the commands that need no file.
#include "cli/commands.h"
#include "cli/target_session.h"
#include "engine/command_support.h"
#include "engine/memory_commands.h"
#include "engine/target_connection.h"

#include <cstdio>
#include <iostream>

namespace zelk {
namespace {

// "ATmega328P 1E950F"; the device bar's text alone when nothing was identified, or when the
// chip is not one the command may use (not in zelk.ini, locked, not the --device).
bool PrintIdentified(TargetSession& session) {
    Programmer& programmer = *session.programmer;
    if (programmer.targetReady == 0 || !TargetIsKnown(programmer, session.ui)) {
        std::cout << session.ui.DeviceText() << '\n';
        return false;
    }
    char signature[16];
    std::snprintf(signature, sizeof signature, "%06X", static_cast<unsigned>(programmer.signature));
    std::cout << programmer.device.name << ' ' << signature << '\n';
    return true;
}

} // namespace

void AddDeviceCommands(CLI::App& app, int& exitCode,
                       const std::shared_ptr<const TargetOptions>& connection) {
    AddTargetCommand(app, exitCode, "detect", "Identify the attached device: name and signature",
                     connection, [](TargetSession& session, int&) {
                         DetectDevice(*session.programmer, session.ui);
                         return PrintIdentified(session);
                     });
    AddTargetCommand(app, exitCode, "reset", "Reset the target, then identify it", connection,
                     [](TargetSession& session, int&) {
                         ResetDevice(*session.programmer, session.ui);
                         return PrintIdentified(session);
                     });
    AddTargetCommand(app, exitCode, "erase",
                     "Erase flash and EEPROM, then check the flash is blank; a locked AT90S is "
                     "unlocked",
                     connection, [](TargetSession& session, int&) {
                         return EraseChip(*session.programmer, session.ui);
                     });
    AddTargetCommand(app, exitCode, "blank-check", "Check that the flash is erased", connection,
                     [](TargetSession& session, int&) {
                         const bool empty = BlankCheck(*session.programmer, session.ui);
                         session.bytes = FlashLength(session.programmer->device);
                         return empty;
                     });
}

} // namespace zelk
