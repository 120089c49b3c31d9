// Serial numbering with its numbers in the settings store: the stored number is written and
// the next one stored.
#pragma once

#include "engine/programmer.h"
#include "engine/target_ui.h"
#include "memory/target_images.h"

namespace zelk {

// True when the digits were written and the next number stored.
bool RunSerialNumbering(Programmer& programmer, TargetImages& images, TargetUi& ui);

} // namespace zelk
