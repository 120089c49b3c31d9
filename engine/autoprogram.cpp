#include "engine/autoprogram.h"

#include "engine/command_support.h"
#include "engine/instructions.h"
#include "engine/memory_commands.h"
#include "engine/target_connection.h"
#include "memory/hex_file.h"

#include <span>
#include <string>

namespace zelk {
namespace {

// Loads a project file into its image the way Load File does. A file that does not load
// leaves the image as it was and tells the user why.
bool ReloadImage(const std::string& file, std::span<std::uint8_t> image, std::uint32_t shown,
                 MemoryKind memory, TargetUi& ui) {
    if (file.empty()) {
        return true;
    }
    HexFileError error;
    if (!LoadImageFile(file, image, shown, error)) {
        std::string where = file;
        if (error.line > 0) {
            where += ", line " + std::to_string(error.line);
        }
        ui.ShowMessage(MessageKind::Failure,
                       "Urrrk, can't load that file\n" + where + ": " + error.reason);
        return false;
    }
    ui.ImageChanged(memory, shown);
    return true;
}

// Ends a run that cannot go on: the target runs and later commands release it again.
void Abandon(Programmer& programmer) {
    programmer.autoProgramActive = 0;
    ReleaseTarget(programmer);
}

} // namespace

std::unique_ptr<FlashWriteWorker> AutoProgram(std::unique_ptr<Programmer>& programmer,
                                              TargetImages& images, const ImageFiles& files,
                                              TargetUi& ui) {
    if (!PrepareKnownTarget(*programmer, ui)) {
        ui.ShowMessage(MessageKind::Failure, "Detect failed");
        return nullptr;
    }
    programmer->autoProgramActive = 1;
    // Keeps the target's EEPROM for the write-back when the project names no EEPROM file.
    ReadEeprom(*programmer, images, ui);
    // A file that does not load stops the run before the chip is erased: programming a board
    // with a stale image would pass unnoticed.
    if (!ReloadImage(files.flash, images.flashImage, images.flashShownLength, MemoryKind::Flash,
                     ui) ||
        !ReloadImage(files.eeprom, images.eepromImage, images.eepromShownLength, MemoryKind::Eeprom,
                     ui)) {
        Abandon(*programmer);
        return nullptr;
    }
    ChipErase(*programmer);
    std::unique_ptr<FlashWriteWorker> worker = WriteFlash(programmer, images, ui);
    if (!worker) {
        Abandon(*programmer);
    }
    return worker;
}

} // namespace zelk
