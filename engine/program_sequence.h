// A sequence of memory steps in one preparation of the target: erase, write and verify the
// flash, write and verify the EEPROM. zelk-cli's write, verify and program commands and
// AutoProgram run their steps through it, and it ends with one outcome the GUI can show.
#pragma once

#include "engine/programmer.h"
#include "engine/target_ui.h"
#include "memory/image_file.h"
#include "memory/target_images.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelk {

struct ProgramSteps {
    bool erase = false;
    // The flash reads 0xFF everywhere: proves an erase on a part whose end cannot be polled.
    bool blankCheckFlash = false;
    bool writeFlash = false;
    bool verifyFlash = false;
    bool writeEeprom = false;
    bool verifyEeprom = false;
    // The addresses a loaded file gave a value; nullopt walks the device's whole memory. An
    // image with data beyond the device is refused before anything is written.
    std::optional<std::vector<AddressRange>> flashDefined;
    std::optional<std::vector<AddressRange>> eepromDefined;
    // The name the refusal of an image larger than the device gives it.
    std::string flashName = "The flash image";
    std::string eepromName = "The EEPROM image";
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
ProgramResult RunProgramSteps(Programmer& programmer, const TargetImages& images,
                              const ProgramSteps& steps, TargetUi& ui);

// Prepares the target, runs the steps and releases the target.
ProgramResult ProgramTarget(Programmer& programmer, const TargetImages& images,
                            const ProgramSteps& steps, TargetUi& ui);

} // namespace zelk
