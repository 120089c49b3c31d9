// AutoProgram: the one-command production step. It keeps the target's EEPROM, reloads the
// project's files, erases the chip, writes and verifies the flash and the EEPROM, all in one
// preparation of the target.
#pragma once

#include "engine/flash_write.h"
#include "engine/program_sequence.h"
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

// The steps of a run, in this order. The defaults are the production sequence with both
// verifies.
struct AutoProgramOptions {
    // Without an EEPROM file, the target's EEPROM is read (twice, the reads must agree) into
    // the image before the erase, so that the EEPROM step writes it back.
    bool keepEeprom = true;
    bool reloadFiles = true;
    bool erase = true;
    bool programFlash = true;
    bool verifyFlash = true;
    bool programEeprom = true;
    bool verifyEeprom = true;
};

// Runs the steps on the caller's thread in one preparation of the target and leaves it
// released. A failed read of the kept EEPROM, a file that does not load or holds more than the
// device stops the run before the erase. The Programmer's cancel flag stops it at the next
// byte or page.
ProgramResult RunAutoProgram(Programmer& programmer, TargetImages& images, const ImageFiles& files,
                             const AutoProgramOptions& options, TargetUi& ui);

// The same sequence for the GUI's flash write worker: the flash write runs on the worker and
// its completion (OnFlashWriteDone) writes the EEPROM and ends the run. Null when the run
// stopped before (target not ready, the kept EEPROM reads disagree, a file that does not
// load, the flash write's preparation failed); `programmer` stays then, with the target
// released and autoProgramActive clear.
std::unique_ptr<FlashWriteWorker> AutoProgram(std::unique_ptr<Programmer>& programmer,
                                              TargetImages& images, const ImageFiles& files,
                                              TargetUi& ui);

} // namespace zelk
