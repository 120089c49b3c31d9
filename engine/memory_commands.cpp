#include "engine/memory_commands.h"

#include "engine/command_support.h"
#include "engine/instructions.h"
#include "engine/target_connection.h"

#include <cstdint>
#include <functional>

namespace zelk {
namespace {

constexpr const char* VerifyFailedFormat = "Verify failed at %08X !";
constexpr const char* VerifySucceeded = "Verify successfull";

// The frame of the synchronous commands: the progress window is shown before the target is
// touched and closed whatever happens. `body` runs only on a ready target.
bool WithProgress(Programmer& programmer, TargetUi& ui,
                  const std::function<bool(ProgressBar&)>& body) {
    ui.ProgressOpen();
    bool done = false;
    if (PrepareKnownTarget(programmer, ui)) {
        ProgressBar bar(ui);
        done = body(bar);
    }
    ui.ProgressClose();
    return done;
}

// Releases the target at the end of a read or write unless AutoProgram holds it.
void ReleaseUnlessAutoProgram(Programmer& programmer) {
    if (programmer.autoProgramActive == 0) {
        ReleaseTarget(programmer);
    }
}

} // namespace

bool EraseChip(Programmer& programmer, TargetUi& ui) {
    // Erasing needs no sizes, so an unknown chip can be erased too.
    if (PrepareTarget(programmer, ui) == 0) {
        return false;
    }
    ChipErase(programmer);
    return true;
}

bool BlankCheck(Programmer& programmer, TargetUi& ui) {
    return WithProgress(programmer, ui, [&](ProgressBar& bar) {
        const std::uint32_t length = FlashLength(programmer.device);
        for (std::uint32_t i = 0; i < length; ++i) {
            bar.Update(i, length);
            if (ReadProgramMemory(programmer, i) != ErasedByte) {
                ReleaseTarget(programmer);
                ui.ShowMessage(MessageKind::Failure,
                               AddressMessage("Blankcheck failed at %08X !", i));
                return false;
            }
        }
        // Drivers stay on after a clean check, AutoProgram or not.
        programmer.ReleaseReset();
        ui.ShowMessage(MessageKind::Success, "Device is Empty");
        return true;
    });
}

bool ReadFlash(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    return WithProgress(programmer, ui, [&](ProgressBar& bar) {
        const std::uint32_t length = FlashLength(programmer.device);
        for (std::uint32_t i = 0; i < length; ++i) {
            images.flashImage[i] = ReadProgramMemory(programmer, i);
            bar.Update(i, length);
        }
        ReleaseUnlessAutoProgram(programmer);
        images.flashShownLength = length;
        ui.ImageChanged(MemoryKind::Flash, length);
        return true;
    });
}

bool VerifyFlash(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    return WithProgress(programmer, ui, [&](ProgressBar& bar) {
        const std::uint32_t length = FlashLength(programmer.device);
        for (std::uint32_t i = 0; i < length; ++i) {
            bar.Update(i, length);
            if (ReadProgramMemory(programmer, i) != images.flashImage[i]) {
                programmer.ReleaseReset();
                ui.ShowMessage(MessageKind::Failure, AddressMessage(VerifyFailedFormat, i));
                return false;
            }
        }
        // The drivers stay on after a flash verify.
        if (programmer.autoProgramActive == 0) {
            programmer.ReleaseReset();
        }
        ui.ShowMessage(MessageKind::Success, VerifySucceeded);
        return true;
    });
}

bool ReadEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    return WithProgress(programmer, ui, [&](ProgressBar& bar) {
        const std::uint32_t length = EepromLength(programmer.device);
        for (std::uint32_t i = 0; i < length; ++i) {
            images.eepromImage[i] = ReadEepromMemory(programmer, i);
            bar.Update(i, length);
        }
        ReleaseUnlessAutoProgram(programmer);
        images.eepromShownLength = length;
        ui.ImageChanged(MemoryKind::Eeprom, length);
        return true;
    });
}

bool WriteEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    return WithProgress(programmer, ui, [&](ProgressBar& bar) {
        const std::uint32_t length = EepromLength(programmer.device);
        for (std::uint32_t i = 0; i < length; ++i) {
            if (images.eepromImage[i] != ErasedByte) {
                WriteEepromMemory(programmer, i, images.eepromImage[i]);
            }
            bar.Update(i, length);
        }
        ReleaseUnlessAutoProgram(programmer);
        return true;
    });
}

bool VerifyEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    return WithProgress(programmer, ui, [&](ProgressBar& bar) {
        const std::uint32_t length = EepromLength(programmer.device);
        for (std::uint32_t i = 0; i < length; ++i) {
            bar.Update(i, length);
            if (ReadEepromMemory(programmer, i) != images.eepromImage[i]) {
                programmer.ReleaseReset();
                ui.ShowMessage(MessageKind::Failure, AddressMessage(VerifyFailedFormat, i));
                return false;
            }
        }
        ReleaseUnlessAutoProgram(programmer);
        ui.ShowMessage(MessageKind::Success, VerifySucceeded);
        return true;
    });
}

} // namespace zelk
