#include "engine/memory_commands.h"

#include "engine/command_support.h"
#include "engine/memory_steps.h"
#include "engine/target_connection.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace zelk {
namespace {

constexpr const char* VerifyFailedFormat = "Verify failed at %08X !";
constexpr const char* VerifySucceeded = "Verify successfull";

const char* MemoryName(MemoryKind memory) {
    return memory == MemoryKind::Flash ? "flash" : "EEPROM";
}

// The frame of the synchronous commands: the progress window is shown before the target is
// touched and closed whatever happens. `body` runs only on a ready target. A body that
// succeeded has its work confirmed by the signature read again: a target that went away reads
// 0xFF, which looks like an erased chip. The target runs again at the end unless AutoProgram
// holds it. `success` is shown, and `commit` runs, only when everything held.
bool WithProgress(Programmer& programmer, TargetUi& ui, const std::string& label,
                  const std::function<bool(ProgressBar&)>& body, const char* success = nullptr,
                  const std::function<void()>& commit = {}) {
    ui.ProgressOpen();
    ui.ProgressStep(label);
    bool done = false;
    if (PrepareKnownTarget(programmer, ui)) {
        ProgressBar bar(ui);
        done = body(bar);
        std::string message;
        if (done && !TargetStillAnswers(programmer, message)) {
            done = false;
            ui.ShowMessage(MessageKind::Failure, message);
        }
        if (done && commit) {
            commit();
        }
        if (done && success != nullptr) {
            ui.ShowMessage(MessageKind::Success, success);
        }
        ReleaseTarget(programmer);
    }
    ui.ProgressClose();
    return done;
}

constexpr const char* ReadsDisagree =
    "The %s read differently twice (at %%08X). Check the cable and the target's power supply.";

// Reads a whole memory into a scratch copy, twice unless the Programmer reads once; the image
// changes only when the read was sound. A read-protected chip is refused: its bytes would be
// the protection's pattern.
bool ReadMemory(Programmer& programmer, TargetImages& images, TargetUi& ui, MemoryKind memory) {
    std::vector<std::uint8_t> scratch;
    const std::string name = MemoryName(memory);
    return WithProgress(
        programmer, ui, "Reading " + name,
        [&](ProgressBar& bar) {
            if (!MemoriesReadable(programmer, ui)) {
                return false;
            }
            scratch.assign(MemoryLength(programmer.device, memory), ErasedByte);
            StepOutcome outcome = ReadStep(programmer, memory, scratch, bar);
            const char* failedFormat = "Read failed at %08X !";
            char disagree[160];
            if (outcome.Done() && programmer.confirmReads) {
                ui.ProgressStep("Reading " + name + " again");
                ProgressBar again(ui);
                outcome =
                    CompareStep(programmer, memory, scratch,
                                Walked(nullptr, static_cast<std::uint32_t>(scratch.size())), again);
                std::snprintf(disagree, sizeof disagree, ReadsDisagree, name.c_str());
                failedFormat = disagree;
            }
            std::string lost;
            if (outcome.status == StepOutcome::Status::Failed &&
                !TargetStillAnswers(programmer, lost)) {
                // A target that went away reads 0xFF: that, not the cable, is what to tell.
                ui.ShowMessage(MessageKind::Failure, lost);
            } else if (!outcome.Done()) {
                ui.ShowMessage(MessageKind::Failure, OutcomeMessage(outcome, failedFormat));
            }
            return outcome.Done();
        },
        nullptr,
        [&] {
            auto& image = memory == MemoryKind::Flash ? images.flashImage : images.eepromImage;
            std::copy(scratch.begin(), scratch.end(), image.begin());
            const auto length = static_cast<std::uint32_t>(scratch.size());
            (memory == MemoryKind::Flash ? images.flashShownLength : images.eepromShownLength) =
                length;
            ui.ImageChanged(memory, length);
        });
}

bool VerifyMemory(Programmer& programmer, TargetImages& images, TargetUi& ui, MemoryKind memory,
                  const std::vector<AddressRange>* defined) {
    return WithProgress(
        programmer, ui, std::string("Verifying ") + MemoryName(memory),
        [&](ProgressBar& bar) {
            const auto& image =
                memory == MemoryKind::Flash ? images.flashImage : images.eepromImage;
            const StepOutcome outcome =
                CompareStep(programmer, memory, image,
                            Walked(defined, MemoryLength(programmer.device, memory)), bar);
            if (!outcome.Done()) {
                ui.ShowMessage(MessageKind::Failure, OutcomeMessage(outcome, VerifyFailedFormat));
                return false;
            }
            return true;
        },
        VerifySucceeded);
}

bool WriteEepromRanges(Programmer& programmer, TargetImages& images, TargetUi& ui,
                       const std::vector<AddressRange>* defined) {
    return WithProgress(programmer, ui, "Writing EEPROM", [&](ProgressBar& bar) {
        const StepOutcome outcome = WriteEepromStep(
            programmer, images.eepromImage, Walked(defined, EepromLength(programmer.device)), bar);
        if (!outcome.Done()) {
            ui.ShowMessage(MessageKind::Failure, OutcomeMessage(outcome, "Write failed at %08X !"));
        }
        return outcome.Done();
    });
}

} // namespace

bool EraseChip(Programmer& programmer, TargetUi& ui) {
    ui.ProgressOpen();
    ui.ProgressStep("Erasing");
    bool done = PrepareTarget(programmer, ui) != 0;
    // A locked part that hides its signature is erased unknown; the erase unlocks it, and a
    // second identification then gives the size the blank check needs.
    const bool hidden = done && programmer.signatureHiddenByLock;
    if (hidden && !programmer.requiredDevices.empty()) {
        ui.ShowMessage(MessageKind::Failure, std::string(LockedChipMessage) +
                                                 "\nIt cannot be told to be the " +
                                                 programmer.requiredDevices.front().device +
                                                 " required before it is erased.");
        done = false;
    } else if (done && !hidden) {
        done = TargetIsKnown(programmer, ui);
    }
    if (done && !EraseStep(programmer).Done()) {
        ui.ShowMessage(MessageKind::Failure, "Erase failed: the chip stayed busy.");
        done = false;
    }
    if (done && hidden) {
        done = PrepareKnownTarget(programmer, ui);
    }
    if (done) {
        // Without Poll RDY/BSY nothing else tells an erase that never happened from one that
        // did, and a chip that is still locked reads no 0xFF.
        ui.ProgressStep("Checking that the flash is blank");
        ProgressBar bar(ui);
        const std::vector<std::uint8_t> erased(FlashLength(programmer.device), ErasedByte);
        const StepOutcome blank =
            CompareStep(programmer, MemoryKind::Flash, erased,
                        Walked(nullptr, static_cast<std::uint32_t>(erased.size())), bar);
        if (!blank.Done()) {
            ui.ShowMessage(MessageKind::Failure,
                           OutcomeMessage(blank, "Blankcheck failed at %08X !"));
            done = false;
        }
    }
    std::string message;
    if (done && !TargetStillAnswers(programmer, message)) {
        ui.ShowMessage(MessageKind::Failure, message);
        done = false;
    }
    if (done) {
        ui.ShowMessage(MessageKind::Success, "Chip erased");
    }
    ReleaseTarget(programmer);
    ui.ProgressClose();
    return done;
}

bool BlankCheck(Programmer& programmer, TargetUi& ui) {
    const std::vector<std::uint8_t> erased(FlashImageSize, ErasedByte);
    return WithProgress(
        programmer, ui, "Checking that the flash is blank",
        [&](ProgressBar& bar) {
            const StepOutcome outcome =
                CompareStep(programmer, MemoryKind::Flash, erased,
                            Walked(nullptr, FlashLength(programmer.device)), bar);
            if (!outcome.Done()) {
                ui.ShowMessage(MessageKind::Failure,
                               OutcomeMessage(outcome, "Blankcheck failed at %08X !"));
            }
            return outcome.Done();
        },
        "Device is Empty");
}

bool ReadFlash(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    return ReadMemory(programmer, images, ui, MemoryKind::Flash);
}

bool VerifyFlash(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    return VerifyMemory(programmer, images, ui, MemoryKind::Flash, nullptr);
}

bool VerifyFlash(Programmer& programmer, TargetImages& images, TargetUi& ui,
                 const std::vector<AddressRange>& defined) {
    return VerifyMemory(programmer, images, ui, MemoryKind::Flash, &defined);
}

bool ReadEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    return ReadMemory(programmer, images, ui, MemoryKind::Eeprom);
}

bool WriteEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    return WriteEepromRanges(programmer, images, ui, nullptr);
}

bool WriteEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui,
                 const std::vector<AddressRange>& defined) {
    return WriteEepromRanges(programmer, images, ui, &defined);
}

bool VerifyEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    return VerifyMemory(programmer, images, ui, MemoryKind::Eeprom, nullptr);
}

bool VerifyEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui,
                  const std::vector<AddressRange>& defined) {
    return VerifyMemory(programmer, images, ui, MemoryKind::Eeprom, &defined);
}

} // namespace zelk
