#include "app/target_jobs.h"

#include "engine/command_support.h"
#include "engine/memory_commands.h"
#include "engine/serial_numbering.h"
#include "shell/command_ids.h"

#include <algorithm>

namespace zelk {
namespace {

using ImageCommand = bool (*)(Programmer&, TargetImages&, TargetUi&);

TargetJob ImageJob(ImageCommand command) {
    return [command](std::unique_ptr<Programmer>& programmer, TargetImages& images, TargetUi& ui,
                     const std::atomic<int>&) { return command(*programmer, images, ui); };
}

} // namespace

std::optional<TargetCommandJob> TargetJobFor(int id, const ImageFiles& autoProgramFiles,
                                             const AutoProgramSteps& autoProgramOptions) {
    switch (id) {
    case cmd::EraseChip:
        return TargetCommandJob{[](std::unique_ptr<Programmer>& programmer, TargetImages&,
                                   TargetUi& ui,
                                   const std::atomic<int>&) { return EraseChip(*programmer, ui); },
                                "Erase Chip", true, nullptr};
    case cmd::BlankCheck:
        return TargetCommandJob{[](std::unique_ptr<Programmer>& programmer, TargetImages&,
                                   TargetUi& ui,
                                   const std::atomic<int>&) { return BlankCheck(*programmer, ui); },
                                "Blank Check", false, nullptr};
    case cmd::ReadFlash:
        return TargetCommandJob{ImageJob(ReadFlash), "Read Flash", false, nullptr};
    case cmd::VerifyFlash:
        return TargetCommandJob{ImageJob(VerifyFlash), "Verify Flash", false, nullptr};
    case cmd::ReadEeprom:
        return TargetCommandJob{ImageJob(ReadEeprom), "Read EEPROM", false, nullptr};
    case cmd::WriteEeprom:
        return TargetCommandJob{[](std::unique_ptr<Programmer>& programmer, TargetImages& images,
                                   TargetUi& ui, const std::atomic<int>&) {
                                    return WriteEeprom(*programmer, images, ui);
                                },
                                "Write EEPROM", true, nullptr};
    case cmd::VerifyEeprom:
        return TargetCommandJob{ImageJob(VerifyEeprom), "Verify EEPROM", false, nullptr};
    case cmd::SerialNumbering:
        return TargetCommandJob{
            [](std::unique_ptr<Programmer>& programmer, TargetImages& images, TargetUi& ui,
               const std::atomic<int>&) {
                SettingsStore store(SettingsStore::UserFile());
                return SerialNumbering(*programmer, images, ui, store).has_value();
            },
            "Serial Numbering", true, nullptr};
    case cmd::WriteFlash:
        return TargetCommandJob{[](std::unique_ptr<Programmer>& programmer, TargetImages& images,
                                   TargetUi& ui, const std::atomic<int>&) {
                                    return WriteFlash(*programmer, images, ui);
                                },
                                "Write Flash", true, nullptr};
    case cmd::AutoProgram: {
        auto report = std::make_shared<AutoProgramReport>();
        return TargetCommandJob{[autoProgramFiles, autoProgramOptions, report](
                                    std::unique_ptr<Programmer>& programmer, TargetImages& images,
                                    TargetUi& ui, const std::atomic<int>& cancel) {
                                    return RunAutoProgramJob(programmer, images, autoProgramFiles,
                                                             autoProgramOptions, ui, cancel,
                                                             *report);
                                },
                                "AutoProgram", true, report};
    }
    default:
        return std::nullopt;
    }
}

std::string OutcomeText(const TargetCommandJob& command, const TargetJobOutcome& outcome) {
    if (outcome.cancelled) {
        if (!command.writesChip) {
            return command.name + " cancelled: the images are as they were.";
        }
        return command.name + " cancelled at " + std::to_string(std::max(outcome.lastPercent, 0)) +
               " %: the chip holds only part of what was to be written.";
    }
    return command.name + (outcome.succeeded ? " done." : " failed.");
}

} // namespace zelk
