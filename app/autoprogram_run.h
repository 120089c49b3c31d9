// AutoProgram with the steps the "AutoProgram" page chooses, as one job for the runner: keep
// the target's EEPROM, reload the files, erase, program and verify the flash, program and
// verify the EEPROM. The steps' own messages are gathered into one outcome for the run.
#pragma once

#include "app/preference_values.h"
#include "app/production_log.h"
#include "engine/autoprogram.h"
#include "engine/programmer.h"
#include "engine/target_ui.h"
#include "memory/target_images.h"

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
};

// The engine's AutoProgram sequence with the chosen steps. True when every chosen step
// succeeded; the target is released at the end whatever happened.
bool RunAutoProgramJob(std::unique_ptr<Programmer>& programmer, TargetImages& images,
                       const ImageFiles& files, const AutoProgramSteps& steps, TargetUi& ui,
                       const std::atomic<int>& cancel, AutoProgramReport& report);

// The production log's record of a run with these files.
ProductionRun ProductionRunOf(const AutoProgramReport& report, const ImageFiles& files);

} // namespace zelk
