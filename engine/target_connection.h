// Entering programming mode and identifying the attached device.
#pragma once

#include "app/app_state.h"
#include "engine/target_ui.h"

#include <cstdint>

namespace zelk {

std::uint16_t ReadSignature();
bool EnterProgrammingMode();
// Checks the cable, enters programming mode, reads the signature, looks it up in the device
// database and shows the result in the device bar. Returns the new targetReady.
int PrepareTarget(AppState& app, TargetUi& ui);
// PrepareTarget, then the target runs again with the cable's drivers off.
void DetectDevice(AppState& app, TargetUi& ui);
// A reset pulse, then DetectDevice.
void ResetDevice(AppState& app, TargetUi& ui);

} // namespace zelk
