// The commands on the target's memories. Each runs PrepareTarget, moves bytes between the
// target and an image, tells the user the outcome and leaves the port lines in a fixed
// state. All run on the caller's thread; the flash write has its own file.
#pragma once

#include "app/app_state.h"
#include "engine/target_ui.h"

namespace zelk {

// Each answers true when the command did its job: the target was ready and, for the checks,
// no byte differed.

// Erases flash and EEPROM; the target is left held in reset.
bool EraseChip(AppState& app, TargetUi& ui);
// "Device is Empty", or "Blankcheck failed at %08X !" at the first byte that is not 0xFF.
bool BlankCheck(AppState& app, TargetUi& ui);
bool ReadFlash(AppState& app, TargetUi& ui);
// "Verify successfull", or "Verify failed at %08X !" at the first difference.
bool VerifyFlash(AppState& app, TargetUi& ui);
bool ReadEeprom(AppState& app, TargetUi& ui);
// Writes every EEPROM image byte that is not 0xFF; erased EEPROM already reads 0xFF.
bool WriteEeprom(AppState& app, TargetUi& ui);
bool VerifyEeprom(AppState& app, TargetUi& ui);

} // namespace zelk
