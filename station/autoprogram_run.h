// SPDX-License-Identifier: GPL-3.0-or-later
// AutoProgram with the steps the "AutoProgram" page chooses, as one job for the runner: keep
// the target's EEPROM, reload the files, erase, program and verify the flash, program and
// verify the EEPROM. The steps' own messages are gathered into one outcome for the run.
#pragma once

#include "engine/autoprogram.h"
#include "engine/programmer.h"
#include "engine/target_ui.h"
#include "memory/target_images.h"
#include "station/preference_values.h"
#include "station/production_log.h"

#include <atomic>
#include <memory>
#include <string>

namespace zelk {

struct AutoProgramReport {
    bool passed = false;
    // "AutoProgram passed: ATmega328P programmed and verified." or what failed and why.
    std::string outcome;
    std::string device;
    std::string signature; // six hex digits; empty when the target was never read
    // The run reached the target: its board counts in the production record. A run refused
    // before (no step that programs, a file that does not load) is no board's.
    bool reachedTarget = false;
    // The production record took the run.
    bool recorded = false;
};

// The engine's AutoProgram sequence with the chosen steps. True when every chosen step
// succeeded; the target is released at the end whatever happened. The Programmer's cancel
// flag stops it at the next byte or page.
bool RunAutoProgramJob(Programmer& programmer, TargetImages& images, const ImageFiles& files,
                       const AutoProgramSteps& steps, TargetUi& ui, AutoProgramReport& report);

// The production log's record of a run with these files.
ProductionRun ProductionRunOf(const AutoProgramReport& report, const ImageFiles& files);

} // namespace zelk
