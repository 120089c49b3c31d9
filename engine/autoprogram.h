// AutoProgram: the one-command production step. It keeps the target's EEPROM, reloads the
// project's files, erases the chip and writes the flash; the flash write's completion
// (OnFlashWriteDone) writes the EEPROM and ends the run.
#pragma once

#include "engine/flash_write.h"
#include "engine/programmer.h"
#include "engine/target_ui.h"
#include "memory/target_images.h"

#include <memory>
#include <string>

namespace zelk {

// The files a run reloads into the images; an empty name keeps its image as it is.
struct ImageFiles {
    std::string flash;
    std::string eeprom;
};

// The started flash write, which holds the Programmer until OnFlashWriteDone ends the run.
// Null when the run stopped before (target not ready, a file that does not load, the flash
// write's preparation failed); `programmer` stays then, with the target released and
// autoProgramActive clear.
std::unique_ptr<FlashWriteWorker> AutoProgram(std::unique_ptr<Programmer>& programmer,
                                              TargetImages& images, const ImageFiles& files,
                                              TargetUi& ui);

} // namespace zelk
