// The commands on the target's memories. Each runs PrepareTarget, moves bytes between the
// target and an image, tells the user the outcome and leaves the port lines in a fixed
// state. All run on the caller's thread; the flash write has its own file.
#pragma once

#include "engine/programmer.h"
#include "engine/target_ui.h"
#include "memory/target_images.h"

namespace zelk {

// Each answers true when the command did its job: the target was ready and, for the checks,
// no byte differed.

// Erases flash and EEPROM; the target is left held in reset.
bool EraseChip(Programmer& programmer, TargetUi& ui);
// "Device is Empty", or "Blankcheck failed at %08X !" at the first byte that is not 0xFF.
bool BlankCheck(Programmer& programmer, TargetUi& ui);
bool ReadFlash(Programmer& programmer, TargetImages& images, TargetUi& ui);
// "Verify successfull", or "Verify failed at %08X !" at the first difference.
bool VerifyFlash(Programmer& programmer, TargetImages& images, TargetUi& ui);
bool ReadEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui);
// Writes every EEPROM image byte that is not 0xFF; erased EEPROM already reads 0xFF.
bool WriteEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui);
bool VerifyEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui);

} // namespace zelk
