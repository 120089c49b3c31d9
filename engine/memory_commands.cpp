#include "engine/memory_commands.h"

#include "engine/command_support.h"
#include "engine/instructions.h"
#include "engine/port_lines.h"
#include "engine/target_connection.h"

#include <cstdint>
#include <functional>

namespace zelk {
namespace {

constexpr const char* VerifyFailedFormat = "Verify failed at %08X !";
constexpr const char* VerifySucceeded = "Verify successfull";

// The frame of the synchronous commands: the progress window is shown before the target is
// touched and closed whatever happens. `body` runs only on a ready target.
bool WithProgress(AppState& app, TargetUi& ui, const std::function<bool(ProgressBar&)>& body) {
    if (RefusedWhileFlashWrites(ui)) {
        return false;
    }
    ui.ProgressOpen();
    bool done = false;
    if (PrepareKnownTarget(app, ui)) {
        ProgressBar bar(ui);
        done = body(bar);
    }
    ui.ProgressClose();
    return done;
}

// Releases the target at the end of a read or write unless AutoProgram holds it.
void ReleaseUnlessAutoProgram(const AppState& app) {
    if (app.autoProgramActive == 0) {
        ReleaseTarget();
    }
}

} // namespace

bool EraseChip(AppState& app, TargetUi& ui) {
    // Erasing needs no sizes, so an unknown chip can be erased too.
    if (RefusedWhileFlashWrites(ui) || PrepareTarget(app, ui) == 0) {
        return false;
    }
    ChipErase();
    return true;
}

bool BlankCheck(AppState& app, TargetUi& ui) {
    return WithProgress(app, ui, [&](ProgressBar& bar) {
        const std::uint32_t length = FlashLength(app);
        for (std::uint32_t i = 0; i < length; ++i) {
            bar.Update(i, length);
            if (ReadProgramMemory(i) != ErasedByte) {
                ReleaseTarget();
                ui.ShowMessage(AddressMessage("Blankcheck failed at %08X !", i));
                return false;
            }
        }
        // Drivers stay on after a clean check, AutoProgram or not.
        ReleaseReset();
        ui.ShowMessage("Device is Empty");
        return true;
    });
}

bool ReadFlash(AppState& app, TargetUi& ui) {
    return WithProgress(app, ui, [&](ProgressBar& bar) {
        const std::uint32_t length = FlashLength(app);
        for (std::uint32_t i = 0; i < length; ++i) {
            app.flashImage[i] = ReadProgramMemory(i);
            bar.Update(i, length);
        }
        ReleaseUnlessAutoProgram(app);
        app.flashShownLength = length;
        ui.ImageChanged(MemoryKind::Flash, length);
        return true;
    });
}

bool VerifyFlash(AppState& app, TargetUi& ui) {
    return WithProgress(app, ui, [&](ProgressBar& bar) {
        const std::uint32_t length = FlashLength(app);
        for (std::uint32_t i = 0; i < length; ++i) {
            bar.Update(i, length);
            if (ReadProgramMemory(i) != app.flashImage[i]) {
                ReleaseReset();
                ui.ShowMessage(AddressMessage(VerifyFailedFormat, i));
                return false;
            }
        }
        // The drivers stay on after a flash verify.
        if (app.autoProgramActive == 0) {
            ReleaseReset();
        }
        ui.ShowMessage(VerifySucceeded);
        return true;
    });
}

bool ReadEeprom(AppState& app, TargetUi& ui) {
    return WithProgress(app, ui, [&](ProgressBar& bar) {
        const std::uint32_t length = EepromLength(app);
        for (std::uint32_t i = 0; i < length; ++i) {
            app.eepromImage[i] = ReadEepromMemory(i);
            bar.Update(i, length);
        }
        ReleaseUnlessAutoProgram(app);
        app.eepromShownLength = length;
        ui.ImageChanged(MemoryKind::Eeprom, length);
        return true;
    });
}

bool WriteEeprom(AppState& app, TargetUi& ui) {
    return WithProgress(app, ui, [&](ProgressBar& bar) {
        const std::uint32_t length = EepromLength(app);
        for (std::uint32_t i = 0; i < length; ++i) {
            if (app.eepromImage[i] != ErasedByte) {
                WriteEepromMemory(i, app.eepromImage[i]);
            }
            bar.Update(i, length);
        }
        ReleaseUnlessAutoProgram(app);
        return true;
    });
}

bool VerifyEeprom(AppState& app, TargetUi& ui) {
    return WithProgress(app, ui, [&](ProgressBar& bar) {
        const std::uint32_t length = EepromLength(app);
        for (std::uint32_t i = 0; i < length; ++i) {
            bar.Update(i, length);
            if (ReadEepromMemory(i) != app.eepromImage[i]) {
                ReleaseReset();
                ui.ShowMessage(AddressMessage(VerifyFailedFormat, i));
                return false;
            }
        }
        ReleaseUnlessAutoProgram(app);
        ui.ShowMessage(VerifySucceeded);
        return true;
    });
}

} // namespace zelk
