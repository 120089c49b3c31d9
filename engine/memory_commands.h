// SPDX-License-Identifier: GPL-3.0-or-later
// The commands on the target's memories, each a choice of steps run in the one frame of
// engine/program_sequence.h: the progress window, the preparation, the steps, the signature
// read again, the target released and the outcome told.
#pragma once

#include "engine/programmer.h"
#include "engine/target_ui.h"
#include "memory/target_images.h"

namespace zelk {

// Each answers true when the command did its job: the target was ready, for the checks no
// byte differed, and the target still gave its signature at the end. A read is refused on a
// read-protected chip, is read twice unless the Programmer asks for one read, and changes the
// image only when all of that held; the image then defines the whole memory. Writes and
// verifies touch the addresses the image defines and refuse an image that defines none. A
// cancel (Programmer::SetCancelFlag) stops at the next byte and fails.

// Erases flash and EEPROM and checks the flash blank. A part that hides its signature because
// it is locked is erased too (the erase unlocks it) and then identified. "Chip erased".
bool EraseChip(Programmer& programmer, TargetUi& ui);
// "Device is Empty", or "Blankcheck failed at %08X !" at the first byte that is not 0xFF.
bool BlankCheck(Programmer& programmer, TargetUi& ui);
bool ReadFlash(Programmer& programmer, TargetImages& images, TargetUi& ui);
// Writes the flash image and, with `verify`, compares it ("Verify successfull").
bool WriteFlash(Programmer& programmer, TargetImages& images, TargetUi& ui, bool verify = true);
// "Verify successfull", or "Verify failed at %08X !" at the first difference.
bool VerifyFlash(Programmer& programmer, TargetImages& images, TargetUi& ui);
bool ReadEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui);
// Reads each byte first and writes it only when the chip holds another value, 0xFF included:
// an EEPROM is not erased before the write. With `verify`, compares it afterwards.
bool WriteEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui, bool verify = true);
bool VerifyEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui);

} // namespace zelk
