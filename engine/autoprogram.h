// AutoProgram: the one-command production step. It keeps the target's EEPROM, reloads the
// project's files, erases the chip and writes the flash; the flash write's completion
// (OnFlashWriteDone) writes the EEPROM and ends the run.
#pragma once

#include "app/app_state.h"
#include "engine/target_ui.h"

namespace zelk {

// True when the flash write has been started; the run ends in OnFlashWriteDone. False when
// the run stopped before (target not ready, a file that does not load, the flash write's
// preparation failed); the target is released and autoProgramActive is clear then.
bool AutoProgram(AppState& app, TargetUi& ui);

} // namespace zelk
