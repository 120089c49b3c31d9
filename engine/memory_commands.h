// The commands on the target's memories. Each runs PrepareTarget, moves bytes between the
// target and an image, tells the user the outcome and leaves the port lines in a fixed
// state. All run on the caller's thread; the flash write has its own file.
#pragma once

#include "engine/programmer.h"
#include "engine/target_ui.h"
#include "memory/image_file.h"
#include "memory/target_images.h"

#include <vector>

namespace zelk {

// Each answers true when the command did its job: the target was ready, for the checks no
// byte differed, and the target still gave its signature at the end. A read is refused on a
// read-protected chip, is read twice unless the Programmer asks for one read, and changes the
// image only when all of that held. A cancel (Programmer::SetCancelFlag) stops at the next byte and
// fails. The overloads with `defined` walk only those addresses (the ones a file gave a value), the
// others the device's whole memory.

// Erases flash and EEPROM and checks the flash blank. A part that hides its signature because
// it is locked is erased too (the erase unlocks it) and then identified. False when the chip
// is not known, stayed busy, is not blank afterwards or stopped answering.
bool EraseChip(Programmer& programmer, TargetUi& ui);
// "Device is Empty", or "Blankcheck failed at %08X !" at the first byte that is not 0xFF.
bool BlankCheck(Programmer& programmer, TargetUi& ui);
bool ReadFlash(Programmer& programmer, TargetImages& images, TargetUi& ui);
// "Verify successfull", or "Verify failed at %08X !" at the first difference.
bool VerifyFlash(Programmer& programmer, TargetImages& images, TargetUi& ui);
bool VerifyFlash(Programmer& programmer, TargetImages& images, TargetUi& ui,
                 const std::vector<AddressRange>& defined);
bool ReadEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui);
// Reads each byte first and writes it only when the chip holds another value, 0xFF included:
// an EEPROM is not erased before the write.
bool WriteEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui);
bool WriteEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui,
                 const std::vector<AddressRange>& defined);
bool VerifyEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui);
bool VerifyEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui,
                  const std::vector<AddressRange>& defined);

} // namespace zelk
