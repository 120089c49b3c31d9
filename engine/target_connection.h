// SPDX-License-Identifier: GPL-3.0-or-later
// Entering programming mode and identifying the attached device.
#pragma once

#include "engine/programmer.h"
#include "engine/target_ui.h"

#include <cstdint>

namespace zelk {

// The device bar's text for a chip that hides its signature because it is locked.
inline constexpr const char* LockedDeviceText = "Locked AT90S";

std::uint16_t ReadSignature(Programmer& programmer);
// The three signature bytes, 0x1E950F; changes nothing in the Programmer.
std::uint32_t ReadFullSignature(Programmer& programmer);
bool EnterProgrammingMode(Programmer& programmer);
// Checks the cable, enters programming mode, reads the signature, looks it up in the device
// database and shows the result in the device bar. Returns the new targetReady.
int PrepareTarget(Programmer& programmer, TargetUi& ui);
// PrepareTarget, then the target runs again with the cable's drivers off.
void DetectDevice(Programmer& programmer, TargetUi& ui);
// A reset pulse, then DetectDevice.
void ResetDevice(Programmer& programmer, TargetUi& ui);

} // namespace zelk
