// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/autoprogram.h"

#include "engine/command_support.h"
#include "engine/instructions.h"
#include "engine/memory_commands.h"
#include "engine/memory_steps.h"
#include "engine/target_connection.h"
#include "memory/image_file.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

namespace zelk {
namespace {

// A project file loaded before the target is touched: a file that does not load, or defines
// nothing, stops the run before anything happens to the chip.
struct LoadedFile {
    std::vector<std::uint8_t> image;
    std::uint32_t shownLength = 0;
    LoadedImage loaded;
};

std::optional<LoadedFile> LoadFile(const std::string& file, MemoryKind memory,
                                   const TargetImages& images, TargetUi& ui) {
    const bool flash = memory == MemoryKind::Flash;
    LoadedFile result{flash ? images.flashImage : images.eepromImage,
                      flash ? images.flashShownLength : images.eepromShownLength,
                      {}};
    HexFileError error;
    if (!LoadImageForChip(file, memory, result.image, result.shownLength, result.loaded, error)) {
        ui.ShowMessage(MessageKind::Failure,
                       "Urrrk, can't load that file\n" + LoadFailureText(file, error));
        return std::nullopt;
    }
    return result;
}

constexpr const char* KeptEepromDisagrees =
    "The target's EEPROM read differently twice (at %08X); the chip was not erased. Check the "
    "cable and the target's power supply.";

// Reads the target's EEPROM into the image, twice unless the Programmer reads once; the image
// changes only when both reads agree, else the run must stop before the erase destroys the
// only good copy.
StepOutcome KeepTargetEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    const std::uint32_t length = EepromLength(programmer.device);
    std::vector<std::uint8_t> first(length);
    ProgressBar bar(ui);
    StepOutcome outcome = ReadStep(programmer, MemoryKind::Eeprom, first, bar);
    if (outcome.Done() && programmer.confirmReads) {
        outcome = CompareStep(programmer, MemoryKind::Eeprom, first, Walked(nullptr, length), bar);
    }
    if (!outcome.Done()) {
        return outcome;
    }
    std::copy(first.begin(), first.end(), images.eepromImage.begin());
    images.eepromShownLength = length;
    images.eepromDefined = AddressSet({{0, length}});
    ui.ImageChanged(MemoryKind::Eeprom, length);
    return {};
}

struct Run {
    ProgramResult result;

    bool Fail(const char* step, std::string message, TargetUi& ui) {
        result.failedStep = step;
        result.message = std::move(message);
        ui.ShowMessage(MessageKind::Failure, result.message);
        return false;
    }
};

} // namespace

ProgramResult RunAutoProgram(Programmer& programmer, TargetImages& images, const ImageFiles& files,
                             const AutoProgramOptions& options, TargetUi& ui) {
    Run run;
    if (!options.programFlash && !options.programEeprom) {
        run.Fail("Choosing the steps",
                 "AutoProgram has no step that programs the chip (Program Flash, Program "
                 "EEProm): nothing was done.",
                 ui);
        return run.result;
    }
    std::optional<LoadedFile> flash;
    std::optional<LoadedFile> eeprom;
    if (options.reloadFiles &&
        ((!files.flash.empty() &&
          !(flash = LoadFile(files.flash, MemoryKind::Flash, images, ui))) ||
         (!files.eeprom.empty() &&
          !(eeprom = LoadFile(files.eeprom, MemoryKind::Eeprom, images, ui))))) {
        run.result.failedStep = "Loading files";
        run.result.message = "A project file did not load.";
        return run.result;
    }
    ui.ProgressOpen();
    if (!PrepareKnownTarget(programmer, ui)) {
        run.result.failedStep = "Detecting the device";
        run.result.message = "Detect failed";
        ui.ShowMessage(MessageKind::Failure, run.result.message);
        ui.ProgressClose();
        return run.result;
    }
    run.result.signature = programmer.signature;
    bool going = true;
    for (const auto& [file, loaded, memory] :
         {std::tuple{&files.flash, &flash, MemoryKind::Flash},
          std::tuple{&files.eeprom, &eeprom, MemoryKind::Eeprom}}) {
        if (!*loaded) {
            continue;
        }
        if (const auto beyond =
                BeyondDevice((*loaded)->loaded.defined, MemoryLength(programmer.device, memory))) {
            going = run.Fail("Checking the image size",
                             BeyondDeviceMessage(*file, *beyond, programmer.device, memory), ui);
            break;
        }
    }
    if (going && options.keepEeprom && files.eeprom.empty()) {
        ui.ProgressStep("Reading EEPROM");
        if (!MemoriesReadable(programmer, ui)) {
            going = false;
            run.result.failedStep = "Reading EEPROM";
            run.result.message = "The EEPROM cannot be kept: the chip was not erased.";
        } else if (const StepOutcome kept = KeepTargetEeprom(programmer, images, ui);
                   !kept.Done()) {
            going = false;
            run.result.failedStep = "Reading EEPROM";
            run.result.cancelled = kept.status == StepOutcome::Status::Cancelled;
            run.result.failedAddress = kept.address;
            run.result.message = OutcomeMessage(kept, KeptEepromDisagrees);
            ui.ShowMessage(MessageKind::Failure, run.result.message);
        } else {
            run.result.stepsDone.emplace_back("Keep EEProm");
        }
    }
    if (going) {
        for (const auto& [loaded, memory, done] :
             {std::tuple{&flash, MemoryKind::Flash, "Reload Flash File"},
              std::tuple{&eeprom, MemoryKind::Eeprom, "Reload EEProm File"}}) {
            if (!*loaded) {
                continue;
            }
            std::copy((*loaded)->image.begin(), (*loaded)->image.end(),
                      images.Image(memory).begin());
            images.Defined(memory) = AddressSet((*loaded)->loaded.defined);
            ui.ImageChanged(memory, (*loaded)->shownLength);
            run.result.stepsDone.emplace_back(done);
        }
        // With no file and nothing read, an image defines nothing: such a run would erase
        // the chip and program nothing.
        if ((!options.programFlash || images.flashDefined.Empty()) &&
            (!options.programEeprom || images.eepromDefined.Empty())) {
            going = run.Fail("Checking the images",
                             "AutoProgram has nothing to program: the images hold no data (no "
                             "project file, nothing read). The chip was not erased.",
                             ui);
        }
    }
    if (going) {
        ProgramSteps steps;
        steps.erase = options.erase;
        steps.writeFlash = options.programFlash;
        steps.verifyFlash = options.verifyFlash;
        steps.writeEeprom = options.programEeprom;
        steps.verifyEeprom = options.verifyEeprom;
        steps.skipUndefined = true;
        std::vector<std::string> kept = std::move(run.result.stepsDone);
        run.result = RunProgramSteps(programmer, images, steps, ui);
        kept.insert(kept.end(), run.result.stepsDone.begin(), run.result.stepsDone.end());
        run.result.stepsDone = std::move(kept);
    }
    ReleaseTarget(programmer);
    ui.ProgressClose();
    if (run.result.succeeded) {
        ui.ShowMessage(MessageKind::Success, options.verifyFlash || options.verifyEeprom
                                                 ? "AutoProgram done and verified"
                                                 : "AutoProgram done");
    }
    return run.result;
}

} // namespace zelk
