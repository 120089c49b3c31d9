// SPDX-License-Identifier: GPL-3.0-or-later
// AutoProgram: the one-command production step. It keeps the target's EEPROM, reloads the
// project's files, erases the chip, writes and verifies the flash and the EEPROM, all in one
// preparation of the target.
#pragma once

#include "engine/program_sequence.h"
#include "engine/programmer.h"
#include "engine/target_ui.h"
#include "memory/target_images.h"

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

} // namespace zelk
