// The target commands as jobs for the runner: what each runs on the worker thread and how its
// end is told in the status bar.
#pragma once

#include "app/autoprogram_run.h"
#include "app/preference_values.h"
#include "app/target_job_runner.h"
#include "engine/autoprogram.h"

#include <memory>
#include <optional>
#include <string>

namespace zelk {

struct TargetCommandJob {
    TargetJob job;
    // As the status bar names the command: "Read Flash".
    std::string name;
    // A cancel leaves the chip part written, which the user must be told.
    bool writesChip = false;
    // AutoProgram's account of its run, filled by the job.
    std::shared_ptr<AutoProgramReport> report;
};

// The job of a command id that runs on the worker; nullopt for every other id.
std::optional<TargetCommandJob> TargetJobFor(int id, const ImageFiles& autoProgramFiles,
                                             const AutoProgramSteps& autoProgramOptions = {});

// One line for the status bar: "Read Flash done.", "... failed.", or for a cancel what is left
// ("Write Flash cancelled at 40 %: the chip holds part of the image.").
std::string OutcomeText(const TargetCommandJob& command, const TargetJobOutcome& outcome);

} // namespace zelk
