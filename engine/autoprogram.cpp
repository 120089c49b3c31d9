#include "engine/autoprogram.h"

#include "engine/command_support.h"
#include "engine/flash_write.h"
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
        ui.ShowMessage("Urrrk, can't load that file\n" + where + ": " + error.reason);
        return false;
    }
    ui.ImageChanged(memory, shown);
    return true;
}

// Ends a run that cannot go on: the target runs again and later commands release it.
bool Abandon(AppState& app) {
    app.autoProgramActive = 0;
    ReleaseTarget();
    return false;
}

} // namespace

bool AutoProgram(AppState& app, TargetUi& ui) {
    if (RefusedWhileFlashWrites(ui)) {
        return false;
    }
    if (!PrepareKnownTarget(app, ui)) {
        ui.ShowMessage("Detect failed");
        return false;
    }
    app.autoProgramActive = 1;
    // Keeps the target's EEPROM for the write-back when the project names no EEPROM file.
    ReadEeprom(app, ui);
    // A file that does not load stops the run before the chip is erased: programming a board
    // with a stale image would pass unnoticed.
    if (!ReloadImage(app.flashFile, app.flashImage, app.flashShownLength, MemoryKind::Flash, ui) ||
        !ReloadImage(app.eepromFile, app.eepromImage, app.eepromShownLength, MemoryKind::Eeprom,
                     ui)) {
        return Abandon(app);
    }
    ChipErase();
    if (!WriteFlash(app, ui)) {
        return Abandon(app);
    }
    return true;
}

} // namespace zelk
