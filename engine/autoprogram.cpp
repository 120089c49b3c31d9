#include "engine/autoprogram.h"

#include "engine/command_support.h"
#include "engine/instructions.h"
#include "engine/memory_commands.h"
#include "engine/memory_steps.h"
#include "engine/target_connection.h"
#include "memory/image_file.h"

#include <algorithm>
#include <span>
#include <string>
#include <vector>

namespace zelk {
namespace {

// Loads a project file into its image the way Load File does. A file that does not load, or
// holds more than the device, leaves the image as it was and tells the user why.
bool ReloadImage(const std::string& file, MemoryKind memory, TargetImages& images,
                 const DeviceDescription& device, TargetUi& ui) {
    if (file.empty()) {
        return true;
    }
    auto& image = memory == MemoryKind::Flash ? images.flashImage : images.eepromImage;
    const std::uint32_t shown =
        memory == MemoryKind::Flash ? images.flashShownLength : images.eepromShownLength;
    std::vector<std::uint8_t> scratch = image;
    HexFileError error;
    LoadedImage loaded;
    if (!LoadImageAnyFormat(file, memory, scratch, shown, loaded, error)) {
        std::string where = file;
        if (error.line > 0) {
            where += ", line " + std::to_string(error.line);
        }
        ui.ShowMessage(MessageKind::Failure,
                       "Urrrk, can't load that file\n" + where + ": " + error.reason);
        return false;
    }
    if (const auto beyond = BeyondDevice(loaded.defined, MemoryLength(device, memory))) {
        ui.ShowMessage(MessageKind::Failure, BeyondDeviceMessage(file, *beyond, device, memory));
        return false;
    }
    std::copy(scratch.begin(), scratch.end(), image.begin());
    ui.ImageChanged(memory, shown);
    return true;
}

bool ReloadImages(const ImageFiles& files, TargetImages& images, const DeviceDescription& device,
                  TargetUi& ui) {
    return ReloadImage(files.flash, MemoryKind::Flash, images, device, ui) &&
           ReloadImage(files.eeprom, MemoryKind::Eeprom, images, device, ui);
}

constexpr const char* KeptEepromDisagrees =
    "The target's EEPROM read differently twice (at %08X); the chip was not erased. Check the "
    "cable and the target's power supply.";

// Reads the target's EEPROM twice into the image; the image changes only when both reads
// agree, else the run must stop before the erase destroys the only good copy.
StepOutcome KeepTargetEeprom(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    const std::uint32_t length = EepromLength(programmer.device);
    std::vector<std::uint8_t> first(length);
    std::vector<std::uint8_t> second(length);
    ProgressBar bar(ui);
    StepOutcome outcome = ReadStep(programmer, MemoryKind::Eeprom, first, bar);
    if (outcome.Done()) {
        outcome = ReadStep(programmer, MemoryKind::Eeprom, second, bar);
    }
    if (!outcome.Done()) {
        return outcome;
    }
    for (std::uint32_t i = 0; i < length; ++i) {
        if (first[i] != second[i]) {
            return StepOutcome::FailedAt(i);
        }
    }
    std::copy(first.begin(), first.end(), images.eepromImage.begin());
    images.eepromShownLength = length;
    ui.ImageChanged(MemoryKind::Eeprom, length);
    return {};
}

} // namespace

ProgramResult RunAutoProgram(Programmer& programmer, TargetImages& images, const ImageFiles& files,
                             const AutoProgramOptions& options, TargetUi& ui) {
    ProgramResult result;
    ui.ProgressOpen();
    if (!PrepareKnownTarget(programmer, ui)) {
        result.failedStep = "Detecting the device";
        result.message = "Detect failed";
        ui.ShowMessage(MessageKind::Failure, result.message);
        ui.ProgressClose();
        return result;
    }
    if (options.keepEeprom && files.eeprom.empty()) {
        ui.ProgressStep("Reading EEPROM");
        const StepOutcome kept = KeepTargetEeprom(programmer, images, ui);
        if (!kept.Done()) {
            result.failedStep = "Reading EEPROM";
            result.cancelled = kept.status == StepOutcome::Status::Cancelled;
            result.failedAddress = kept.address;
            result.message = OutcomeMessage(kept, KeptEepromDisagrees);
            ui.ShowMessage(MessageKind::Failure, result.message);
        }
    }
    if (result.failedStep.empty() && options.reloadFiles &&
        !ReloadImages(files, images, programmer.device, ui)) {
        result.failedStep = "Loading files";
        result.message = "A project file did not load.";
    }
    if (result.failedStep.empty()) {
        ProgramSteps steps;
        steps.erase = options.erase;
        steps.writeFlash = options.programFlash;
        steps.verifyFlash = options.verifyFlash;
        steps.writeEeprom = options.programEeprom;
        steps.verifyEeprom = options.verifyEeprom;
        result = RunProgramSteps(programmer, images, steps, ui);
    }
    ReleaseTarget(programmer);
    ui.ProgressClose();
    if (result.succeeded) {
        ui.ShowMessage(MessageKind::Success, options.verifyFlash || options.verifyEeprom
                                                 ? "AutoProgram done and verified"
                                                 : "AutoProgram done");
    }
    return result;
}

} // namespace zelk
