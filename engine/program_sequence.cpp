#include "engine/program_sequence.h"

#include "engine/command_support.h"
#include "engine/memory_steps.h"

#include <span>
#include <string_view>
#include <vector>

namespace zelk {
namespace {

constexpr const char* WriteFailed = "Write failed at %08X !";
constexpr const char* VerifyFailed = "Verify failed at %08X !";

class Sequence {
public:
    Sequence(Programmer& p, TargetUi& u) : programmer(p), ui(u) {}

    // False when the step failed; the result then says which and the user was told. `done`
    // names a step that succeeded in the result.
    bool Step(const char* name, const char* done, const StepOutcome& outcome,
              const char* failedFormat, const std::string& hint = {}) {
        if (outcome.Done()) {
            if (done != nullptr) {
                result.stepsDone.emplace_back(done);
            }
            return true;
        }
        result.failedStep = name;
        result.cancelled = outcome.status == StepOutcome::Status::Cancelled;
        // An erase has no address; the steps on memory name theirs in the message.
        if (!result.cancelled &&
            std::string_view(failedFormat).find("%08X") != std::string_view::npos) {
            result.failedAddress = outcome.address;
        }
        Fail(OutcomeMessage(outcome, failedFormat) + (result.cancelled ? "" : hint));
        return false;
    }

    void Fail(const std::string& message) {
        result.message = message;
        ui.ShowMessage(MessageKind::Failure, message);
    }

    bool FitsDevice(const std::optional<std::vector<AddressRange>>& defined, MemoryKind memory,
                    const std::string& name) {
        if (!defined) {
            return true;
        }
        const auto beyond = BeyondDevice(*defined, MemoryLength(programmer.device, memory));
        if (!beyond) {
            return true;
        }
        result.failedStep = "Checking the image size";
        result.failedAddress = *beyond;
        Fail(BeyondDeviceMessage(name, *beyond, programmer.device, memory));
        return false;
    }

    void Label(const char* what) { ui.ProgressStep(what); }

    Programmer& programmer;
    TargetUi& ui;
    ProgramResult result;
};

bool RunSteps(Sequence& run, const TargetImages& images, const ProgramSteps& steps) {
    Programmer& programmer = run.programmer;
    const std::uint32_t flashLength = FlashLength(programmer.device);
    const std::uint32_t eepromLength = EepromLength(programmer.device);
    if (!run.FitsDevice(steps.flashDefined, MemoryKind::Flash, steps.flashName) ||
        !run.FitsDevice(steps.eepromDefined, MemoryKind::Eeprom, steps.eepromName)) {
        return false;
    }
    const std::span<const std::uint8_t> flash(images.flashImage.data(), flashLength);
    const std::span<const std::uint8_t> eeprom(images.eepromImage.data(), eepromLength);
    const auto defined = [](const std::optional<std::vector<AddressRange>>& ranges) {
        return ranges ? &*ranges : nullptr;
    };
    const std::vector<AddressRange> flashRanges = Walked(defined(steps.flashDefined), flashLength);
    const std::vector<AddressRange> eepromRanges =
        Walked(defined(steps.eepromDefined), eepromLength);
    if (steps.erase) {
        run.Label("Erasing");
        if (!run.Step("Erasing", "Erase Device", EraseStep(programmer),
                      "Erase failed: the chip stayed busy.")) {
            return false;
        }
    }
    if (steps.blankCheckFlash) {
        run.Label("Checking that the flash is blank");
        ProgressBar bar(run.ui);
        const std::vector<std::uint8_t> erased(flashLength, ErasedByte);
        if (!run.Step("Checking that the flash is blank", nullptr,
                      CompareStep(programmer, MemoryKind::Flash, erased,
                                  Walked(nullptr, flashLength), bar),
                      "Blankcheck failed at %08X !")) {
            return false;
        }
    }
    // Writing only programs bits; what the chip held before stays mixed in, and a byte write
    // that reads back its byte fails on it.
    const std::string notErased = steps.writeFlash && !steps.erase
                                      ? "\nThe flash may not have been erased before the write."
                                      : "";
    if (steps.writeFlash) {
        run.Label("Writing flash");
        ProgressBar bar(run.ui);
        if (!run.Step("Writing flash", "Program Flash", WriteFlashStep(programmer, flash, bar),
                      WriteFailed, notErased)) {
            return false;
        }
    }
    if (steps.verifyFlash) {
        run.Label("Verifying flash");
        ProgressBar bar(run.ui);
        if (!run.Step("Verifying flash", "Verify Flash",
                      CompareStep(programmer, MemoryKind::Flash, flash, flashRanges, bar),
                      VerifyFailed, notErased)) {
            return false;
        }
    }
    if (steps.writeEeprom) {
        run.Label("Writing EEPROM");
        ProgressBar bar(run.ui);
        if (!run.Step("Writing EEPROM", "Program EEProm",
                      WriteEepromStep(programmer, eeprom, eepromRanges, bar), WriteFailed)) {
            return false;
        }
    }
    if (steps.verifyEeprom) {
        run.Label("Verifying EEPROM");
        ProgressBar bar(run.ui);
        if (!run.Step("Verifying EEPROM", "Verify EEProm",
                      CompareStep(programmer, MemoryKind::Eeprom, eeprom, eepromRanges, bar),
                      VerifyFailed)) {
            return false;
        }
    }
    std::string lost;
    if (!TargetStillAnswers(programmer, lost)) {
        run.result.failedStep = "Checking the target";
        run.Fail(lost);
        return false;
    }
    return true;
}

} // namespace

ProgramResult RunProgramSteps(Programmer& programmer, const TargetImages& images,
                              const ProgramSteps& steps, TargetUi& ui) {
    Sequence run(programmer, ui);
    run.result.signature = programmer.signature;
    run.result.succeeded = RunSteps(run, images, steps);
    return run.result;
}

ProgramResult ProgramTarget(Programmer& programmer, const TargetImages& images,
                            const ProgramSteps& steps, TargetUi& ui) {
    ProgramResult result;
    ui.ProgressOpen();
    if (!PrepareKnownTarget(programmer, ui)) {
        result.failedStep = "Detecting the device";
    } else {
        result = RunProgramSteps(programmer, images, steps, ui);
        ReleaseTarget(programmer);
    }
    ui.ProgressClose();
    return result;
}

} // namespace zelk
