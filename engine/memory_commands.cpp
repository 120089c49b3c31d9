// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/memory_commands.h"

#include "engine/program_sequence.h"

namespace zelk {
namespace {

constexpr const char* VerifySucceeded = "Verify successfull";

bool Run(Programmer& programmer, TargetImages& images, TargetUi& ui, const ProgramSteps& steps) {
    return ProgramTarget(programmer, images, steps, ui).succeeded;
}

} // namespace

bool EraseChip(Programmer& programmer, TargetUi& ui) {
    TargetImages none;
    ProgramSteps steps;
    // Without Poll RDY/BSY nothing else tells an erase that never happened from one that did,
    // and a chip that is still locked reads no 0xFF.
    steps.erase = steps.blankCheckFlash = true;
    steps.success = "Chip erased";
    return Run(programmer, none, ui, steps);
}

bool BlankCheck(Programmer& programmer, TargetUi& ui) {
    TargetImages none;
    ProgramSteps steps;
    steps.blankCheckFlash = true;
    steps.success = "Device is Empty";
    return Run(programmer, none, ui, steps);
}

bool ReadFlash(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    ProgramSteps steps;
    steps.readFlash = true;
    return Run(programmer, images, ui, steps);
}

bool WriteFlash(Programmer& programmer, TargetImages& images, TargetUi& ui, bool verify) {
    ProgramSteps steps;
    steps.writeFlash = true;
    steps.verifyFlash = verify;
    steps.success = verify ? VerifySucceeded : "Write done (not verified)";
    return Run(programmer, images, ui, steps);
}

bool VerifyFlash(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    ProgramSteps steps;
    steps.verifyFlash = true;
    steps.success = VerifySucceeded;
    return Run(programmer, images, ui, steps);
}

bool ReadEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    ProgramSteps steps;
    steps.readEeprom = true;
    return Run(programmer, images, ui, steps);
}

bool WriteEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui, bool verify) {
    ProgramSteps steps;
    steps.writeEeprom = true;
    steps.verifyEeprom = verify;
    steps.success = verify ? VerifySucceeded : "Write done (not verified)";
    return Run(programmer, images, ui, steps);
}

bool VerifyEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    ProgramSteps steps;
    steps.verifyEeprom = true;
    steps.success = VerifySucceeded;
    return Run(programmer, images, ui, steps);
}

} // namespace zelk
