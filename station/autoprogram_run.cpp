// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/autoprogram_run.h"

#include "engine/command_support.h"
#include "engine/instructions.h"
#include "engine/memory_commands.h"
#include "memory/hex_file.h"

#include <cstdio>
#include <ctime>
#include <functional>
#include <span>
#include <vector>

namespace zelk {
namespace {

// Passes everything on except the steps' messages, of which it keeps the last failure: the
// run tells its outcome once.
class GatheringUi : public TargetUi {
public:
    explicit GatheringUi(TargetUi& target) : ui(target) {}
    void ShowMessage(MessageKind kind, const std::string& text) override {
        if (kind == MessageKind::Failure) {
            failures += (failures.empty() ? "" : "\n") + text;
        }
    }
    void BeginWaitCursor() override { ui.BeginWaitCursor(); }
    void EndWaitCursor() override { ui.EndWaitCursor(); }
    void SetDeviceText(const std::string& text) override { ui.SetDeviceText(text); }
    void ProgressOpen() override { ui.ProgressOpen(); }
    void ProgressSet(int percent) override { ui.ProgressSet(percent); }
    void ProgressAttachCancel(std::atomic<int>* flag) override { ui.ProgressAttachCancel(flag); }
    void ProgressClose() override { ui.ProgressClose(); }
    void ImageChanged(MemoryKind memory, std::uint32_t shownLength) override {
        ui.ImageChanged(memory, shownLength);
    }

    // Every failure told, in order: a failed preparation's reason comes before "Detect failed".
    std::string failures;

private:
    TargetUi& ui;
};

// The data-sheet form of the signature, six hex digits.
std::string Signature(std::uint32_t signature) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(signature & 0xFFFFFF));
    return text;
}

} // namespace

bool RunAutoProgramJob(Programmer& programmer, TargetImages& images, const ImageFiles& files,
                       const AutoProgramSteps& steps, TargetUi& ui, AutoProgramReport& report) {
    GatheringUi quiet(ui);
    AutoProgramOptions options;
    options.keepEeprom = steps.eepromKeep;
    options.erase = steps.flashErase;
    options.programFlash = steps.flashProgram;
    options.verifyFlash = steps.flashVerify;
    options.programEeprom = steps.eepromProgram;
    options.verifyEeprom = steps.eepromVerify;
    // A file that is not to be reloaded leaves its image as the views show it.
    const ImageFiles reloaded{steps.flashReload ? files.flash : std::string(),
                              steps.eepromReload ? files.eeprom : std::string()};
    const ProgramResult result = RunAutoProgram(programmer, images, reloaded, options, quiet);
    report.device = programmer.device.name;
    report.signature = result.signature ? Signature(*result.signature) : std::string();
    report.passed = result.succeeded;
    report.reachedTarget =
        result.signature.has_value() || result.failedStep == "Detecting the device";
    if (result.succeeded) {
        std::string done;
        for (const std::string& step : result.stepsDone) {
            done += (done.empty() ? "" : ", ") + step;
        }
        report.outcome = "AutoProgram passed on " + report.device + ": " + done + ".";
        return true;
    }
    const std::string step = result.failedStep.empty() ? std::string("Detect") : result.failedStep;
    // The step's own message names the file or the address; the result may add a hint.
    std::string reason = quiet.failures;
    if (result.cancelled) {
        reason = "cancelled";
    } else if (reason.empty() || result.message.find(reason) != std::string::npos) {
        reason = result.message;
    } else if (!result.message.empty()) {
        reason += "\n" + result.message;
    }
    report.outcome = "AutoProgram FAILED at " + step + (reason.empty() ? "." : ": " + reason);
    return false;
}

ProductionRun ProductionRunOf(const AutoProgramReport& report, const ImageFiles& files) {
    ProductionRun run;
    run.when = std::time(nullptr);
    run.command = "AutoProgram";
    run.device = report.device;
    run.signature = report.signature;
    for (const std::string& file : {files.flash, files.eeprom}) {
        if (!file.empty()) {
            run.files.emplace_back(file);
        }
    }
    run.passed = report.passed;
    run.outcome = report.outcome;
    return run;
}

} // namespace zelk
