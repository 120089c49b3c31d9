// detect, reset, erase and blank-check: the commands that need no file.
#include "cli/commands.h"
#include "cli/target_session.h"
#include "engine/command_support.h"
#include "engine/memory_commands.h"
#include "engine/program_sequence.h"
#include "engine/target_connection.h"

#include <cstdio>
#include <iostream>

namespace zelk {
namespace {

// "ATmega328P 1E950F"; the device bar's text alone when nothing was identified.
bool PrintIdentified(TargetSession& session) {
    const Programmer& programmer = *session.programmer;
    char signature[16];
    std::snprintf(signature, sizeof signature, "%06X", static_cast<unsigned>(programmer.signature));
    const bool known = programmer.targetReady != 0 && !programmer.device.name.empty();
    if (!known) {
        // A target that answered with a signature zelk.ini does not list says so; the other
        // failures have told their reason already.
        if (programmer.targetReady != 0) {
            PrintError(std::string("the device with signature ") + signature +
                       " is not in zelk.ini");
        }
        std::cout << session.ui.DeviceText() << '\n';
        return false;
    }
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
    // Without Poll RDY/BSY nothing tells an erase that never happened from one that did,
    // so the flash is read back.
    AddTargetCommand(
        app, exitCode, "erase", "Erase flash and EEPROM, then check the flash is blank", connection,
        [](TargetSession& session, int&) {
            ProgramSteps steps;
            steps.erase = true;
            steps.blankCheckFlash = true;
            session.bytes = 0;
            if (!ProgramTarget(*session.programmer, session.app.images, steps, session.ui)
                     .succeeded) {
                return false;
            }
            session.ui.ShowMessage(MessageKind::Success, "Chip erased");
            return true;
        });
    AddTargetCommand(app, exitCode, "blank-check", "Check that the flash is erased", connection,
                     [](TargetSession& session, int&) {
                         const bool empty = BlankCheck(*session.programmer, session.ui);
                         session.bytes = FlashLength(session.programmer->device);
                         return empty;
                     });
}

} // namespace zelk
