// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/program_sequence.h"

#include "engine/command_support.h"
#include "engine/memory_steps.h"
#include "engine/target_connection.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

namespace zelk {
namespace {

constexpr const char* WriteFailed = "Write failed at %08X !";
constexpr const char* VerifyFailed = "Verify failed at %08X !";

const char* MemoryName(MemoryKind memory) {
    return memory == MemoryKind::Flash ? "flash" : "EEPROM";
}

class Sequence {
public:
    Sequence(Programmer& p, TargetImages& i, TargetUi& u) : programmer(p), images(i), ui(u) {}

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
        return Fail(name, OutcomeMessage(outcome, failedFormat) + (result.cancelled ? "" : hint));
    }

    bool Fail(const char* step, const std::string& message) {
        result.failedStep = step;
        result.message = message;
        ui.ShowMessage(MessageKind::Failure, message);
        return false;
    }

    bool FitsDevice(MemoryKind memory, const std::string& name) {
        const auto beyond =
            BeyondDevice(images.Defined(memory).Ranges(), MemoryLength(programmer.device, memory));
        if (!beyond) {
            return true;
        }
        result.failedAddress = *beyond;
        return Fail("Checking the image size",
                    BeyondDeviceMessage(name, *beyond, programmer.device, memory));
    }

    // A memory read twice unless the Programmer reads once; the scratch copy is what was read.
    bool Read(MemoryKind memory, std::vector<std::uint8_t>& scratch) {
        const std::string name = MemoryName(memory);
        const std::string step = "Reading " + name;
        ui.ProgressStep(step);
        scratch.assign(MemoryLength(programmer.device, memory), ErasedByte);
        ProgressBar bar(ui);
        StepOutcome outcome = ReadStep(programmer, memory, scratch, bar);
        std::string failedFormat = "Read failed at %08X !";
        if (outcome.Done() && programmer.confirmReads) {
            ui.ProgressStep(step + " again");
            ProgressBar again(ui);
            outcome =
                CompareStep(programmer, memory, scratch,
                            Walked(nullptr, static_cast<std::uint32_t>(scratch.size())), again);
            failedFormat = "The " + name +
                           " read differently twice (at %08X). Check the cable and the target's "
                           "power supply.";
        }
        std::string lost;
        if (outcome.status == StepOutcome::Status::Failed &&
            !TargetStillAnswers(programmer, lost)) {
            // A target that went away reads 0xFF: that, not the cable, is what to tell.
            return Fail(step == "Reading flash" ? "Reading flash" : "Reading EEPROM", lost);
        }
        return Step(memory == MemoryKind::Flash ? "Reading flash" : "Reading EEPROM", nullptr,
                    outcome, failedFormat.c_str());
    }

    Programmer& programmer;
    TargetImages& images;
    TargetUi& ui;
    ProgramResult result;
};

// The image as written: the bytes it defines, 0xFF (skipped by the write) everywhere else.
std::vector<std::uint8_t> DefinedBytes(const TargetImages& images, MemoryKind memory,
                                       std::uint32_t length) {
    const std::vector<std::uint8_t>& image = images.Image(memory);
    std::vector<std::uint8_t> bytes(length, ErasedByte);
    for (const AddressRange& range : Walked(&images.Defined(memory).Ranges(), length)) {
        std::copy(image.begin() + static_cast<std::ptrdiff_t>(range.begin),
                  image.begin() + static_cast<std::ptrdiff_t>(range.end),
                  bytes.begin() + static_cast<std::ptrdiff_t>(range.begin));
    }
    return bytes;
}

// The memory steps a run may leave out or must refuse: those of a memory the images define
// nothing of.
bool CheckDefined(Sequence& run, ProgramSteps& steps) {
    for (const auto& [memory, write, verify] :
         {std::tuple{MemoryKind::Flash, &ProgramSteps::writeFlash, &ProgramSteps::verifyFlash},
          std::tuple{MemoryKind::Eeprom, &ProgramSteps::writeEeprom,
                     &ProgramSteps::verifyEeprom}}) {
        if (!(steps.*write || steps.*verify) || !run.images.Defined(memory).Empty()) {
            continue;
        }
        if (steps.skipUndefined) {
            steps.*write = steps.*verify = false;
            continue;
        }
        return run.Fail("Checking the image", std::string("The ") + MemoryName(memory) +
                                                  " image holds no data: load a file or read "
                                                  "the chip first.");
    }
    return true;
}

bool RunSteps(Sequence& run, ProgramSteps steps) {
    Programmer& programmer = run.programmer;
    const std::uint32_t flashLength = FlashLength(programmer.device);
    const std::uint32_t eepromLength = EepromLength(programmer.device);
    if (!CheckDefined(run, steps) ||
        ((steps.writeFlash || steps.verifyFlash) &&
         !run.FitsDevice(MemoryKind::Flash, steps.flashName)) ||
        ((steps.writeEeprom || steps.verifyEeprom) &&
         !run.FitsDevice(MemoryKind::Eeprom, steps.eepromName))) {
        return false;
    }
    if ((steps.readFlash || steps.readEeprom) && !MemoriesReadable(programmer, run.ui)) {
        run.result.failedStep = steps.readFlash ? "Reading flash" : "Reading EEPROM";
        return false;
    }
    const std::vector<std::uint8_t> flash =
        DefinedBytes(run.images, MemoryKind::Flash, flashLength);
    const std::vector<AddressRange> flashRanges =
        Walked(&run.images.flashDefined.Ranges(), flashLength);
    const std::vector<AddressRange> eepromRanges =
        Walked(&run.images.eepromDefined.Ranges(), eepromLength);
    const std::span<const std::uint8_t> eeprom(run.images.eepromImage.data(), eepromLength);
    if (steps.erase) {
        run.ui.ProgressStep("Erasing");
        if (!run.Step("Erasing", "Erase Device", EraseStep(programmer),
                      "Erase failed: the chip stayed busy.")) {
            return false;
        }
    }
    if (steps.blankCheckFlash) {
        run.ui.ProgressStep("Checking that the flash is blank");
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
        run.ui.ProgressStep("Writing flash");
        ProgressBar bar(run.ui);
        if (!run.Step("Writing flash", "Program Flash", WriteFlashStep(programmer, flash, bar),
                      WriteFailed, notErased)) {
            return false;
        }
    }
    if (steps.verifyFlash) {
        run.ui.ProgressStep("Verifying flash");
        ProgressBar bar(run.ui);
        if (!run.Step("Verifying flash", "Verify Flash",
                      CompareStep(programmer, MemoryKind::Flash, flash, flashRanges, bar),
                      VerifyFailed, notErased)) {
            return false;
        }
    }
    if (steps.writeEeprom) {
        run.ui.ProgressStep("Writing EEPROM");
        ProgressBar bar(run.ui);
        if (!run.Step("Writing EEPROM", "Program EEProm",
                      WriteEepromStep(programmer, eeprom, eepromRanges, bar), WriteFailed)) {
            return false;
        }
    }
    if (steps.verifyEeprom) {
        run.ui.ProgressStep("Verifying EEPROM");
        ProgressBar bar(run.ui);
        if (!run.Step("Verifying EEPROM", "Verify EEProm",
                      CompareStep(programmer, MemoryKind::Eeprom, eeprom, eepromRanges, bar),
                      VerifyFailed)) {
            return false;
        }
    }
    std::vector<std::uint8_t> readFlash;
    std::vector<std::uint8_t> readEeprom;
    if ((steps.readFlash && !run.Read(MemoryKind::Flash, readFlash)) ||
        (steps.readEeprom && !run.Read(MemoryKind::Eeprom, readEeprom))) {
        return false;
    }
    std::string lost;
    if (!TargetStillAnswers(programmer, lost)) {
        return run.Fail("Checking the target", lost);
    }
    // What was read is kept only now that the target has answered to the end.
    for (const auto& [memory, read, wanted] :
         {std::tuple{MemoryKind::Flash, &readFlash, steps.readFlash},
          std::tuple{MemoryKind::Eeprom, &readEeprom, steps.readEeprom}}) {
        if (!wanted) {
            continue;
        }
        std::copy(read->begin(), read->end(), run.images.Image(memory).begin());
        const auto length = static_cast<std::uint32_t>(read->size());
        run.images.ShownLength(memory) = length;
        run.images.Defined(memory) = AddressSet({{0, length}});
        run.ui.ImageChanged(memory, length);
    }
    return true;
}

// PrepareKnownTarget, or for an erase PrepareTarget: a locked part that hides its signature
// can be erased, which unlocks it, and is then identified; its erase is then done.
bool Prepare(Sequence& run, ProgramSteps& steps) {
    Programmer& programmer = run.programmer;
    if (!steps.erase) {
        return PrepareKnownTarget(programmer, run.ui);
    }
    if (PrepareTarget(programmer, run.ui) == 0) {
        return false;
    }
    if (!programmer.signatureHiddenByLock) {
        return TargetIsKnown(programmer, run.ui);
    }
    if (!programmer.requiredDevices.empty()) {
        return run.Fail("Detecting the device", std::string(LockedChipMessage) +
                                                    "\nIt cannot be told to be the " +
                                                    programmer.requiredDevices.front().device +
                                                    " required before it is erased.");
    }
    run.ui.ProgressStep("Erasing");
    if (!run.Step("Erasing", "Erase Device", EraseStep(programmer),
                  "Erase failed: the chip stayed busy.")) {
        return false;
    }
    steps.erase = false;
    return PrepareKnownTarget(programmer, run.ui);
}

} // namespace

ProgramResult RunProgramSteps(Programmer& programmer, TargetImages& images,
                              const ProgramSteps& steps, TargetUi& ui) {
    Sequence run(programmer, images, ui);
    run.result.signature = programmer.signature;
    run.result.succeeded = RunSteps(run, steps);
    return run.result;
}

ProgramResult ProgramTarget(Programmer& programmer, TargetImages& images, const ProgramSteps& steps,
                            TargetUi& ui) {
    ui.ProgressOpen();
    Sequence prepared(programmer, images, ui);
    ProgramSteps remaining = steps;
    ProgramResult result;
    if (!Prepare(prepared, remaining)) {
        result = prepared.result;
        if (result.failedStep.empty()) {
            result.failedStep = "Detecting the device";
        }
    } else {
        result = RunProgramSteps(programmer, images, remaining, ui);
        result.stepsDone.insert(result.stepsDone.begin(), prepared.result.stepsDone.begin(),
                                prepared.result.stepsDone.end());
    }
    if (programmer.Port() != nullptr) {
        ReleaseTarget(programmer);
    }
    ui.ProgressClose();
    if (result.succeeded && !steps.success.empty()) {
        ui.ShowMessage(MessageKind::Success, steps.success);
    }
    return result;
}

} // namespace zelk
