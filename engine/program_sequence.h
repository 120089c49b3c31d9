// SPDX-License-Identifier: GPL-3.0-or-later
// The one frame every command on the target's memories runs in: the progress window opened
// before the target is touched, the preparation, the steps in a fixed order (erase, blank check,
// write and verify the flash, write and verify the EEPROM, reads), the signature read again at
// the end, the target released and one outcome. Erase, Blank Check, the reads, writes and
// verifies, zelk-cli's program and AutoProgram are each a choice of these steps.
#pragma once

#include "engine/programmer.h"
#include "engine/target_ui.h"
#include "memory/target_images.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelk {

struct ProgramSteps {
    // Flash and EEPROM. A part that hides its signature because it is locked is erased too
    // (the erase unlocks it) and then identified.
    bool erase = false;
    // The flash reads 0xFF everywhere: proves an erase on a part whose end cannot be polled.
    bool blankCheckFlash = false;
    // Writes and verifies touch the addresses the images define, and only those; an image that
    // defines no address of a memory is refused before the target is touched, or with
    // `skipUndefined` its steps are left out. Data beyond the device is refused before anything
    // is written.
    bool writeFlash = false;
    bool verifyFlash = false;
    bool writeEeprom = false;
    bool verifyEeprom = false;
    bool skipUndefined = false;
    // Into the images, the whole memory, which they then define: refused on a read-protected
    // chip, read twice and compared unless the Programmer reads once, kept only when every
    // step held.
    bool readFlash = false;
    bool readEeprom = false;
    // The names the refusal of an image gives it ("firmware.hex holds data at ...").
    std::string flashName = "The flash image";
    std::string eepromName = "The EEPROM image";
    // Told when every step held; nothing when empty.
    std::string success;
};

// How a run ended: done, or the step that failed and, for a step on memory, the address.
struct ProgramResult {
    bool succeeded = false;
    bool cancelled = false;
    std::string failedStep; // "Erasing", "Writing flash", "Verifying EEPROM" ...
    std::optional<std::uint32_t> failedAddress;
    std::string message; // the failure the user was told
    // The three signature bytes of the chip the run identified; nullopt when it identified
    // none (it stopped before it touched the target, or the target did not answer).
    std::optional<std::uint32_t> signature;
    // The steps that were done, in the words of the AutoProgram page ("Erase Device",
    // "Program Flash", "Verify EEProm" ...).
    std::vector<std::string> stepsDone;
};

// The steps on a target already prepared, which it leaves in programming mode. Ends by
// reading the signature again.
ProgramResult RunProgramSteps(Programmer& programmer, TargetImages& images,
                              const ProgramSteps& steps, TargetUi& ui);

// The frame: progress, preparation, the steps, release, the outcome told.
ProgramResult ProgramTarget(Programmer& programmer, TargetImages& images, const ProgramSteps& steps,
                            TargetUi& ui);

} // namespace zelk
