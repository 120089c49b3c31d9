// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/target_commands.h"

#include "engine/command_support.h"
#include "engine/fuse_guard.h"
#include "engine/memory_commands.h"
#include "engine/program_sequence.h"
#include "engine/serial_numbering.h"
#include "engine/target_connection.h"
#include "station/production_log.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace zelk {
namespace {

CommandResult Of(bool done) {
    return done ? CommandResult::Done : CommandResult::Failed;
}

CommandResult Detect(Programmer& programmer, CommandPlace&, const CommandInput&, CommandOutput&,
                     TargetUi& ui) {
    DetectDevice(programmer, ui);
    return Of(programmer.targetReady != 0 && TargetIsKnown(programmer, ui));
}

CommandResult Reset(Programmer& programmer, CommandPlace&, const CommandInput&, CommandOutput&,
                    TargetUi& ui) {
    ResetDevice(programmer, ui);
    return Of(programmer.targetReady != 0 && TargetIsKnown(programmer, ui));
}

CommandResult Erase(Programmer& programmer, CommandPlace&, const CommandInput&, CommandOutput&,
                    TargetUi& ui) {
    return Of(EraseChip(programmer, ui));
}

CommandResult Blank(Programmer& programmer, CommandPlace&, const CommandInput&, CommandOutput&,
                    TargetUi& ui) {
    return Of(BlankCheck(programmer, ui));
}

CommandResult Steps(Programmer& programmer, CommandPlace& place, const CommandInput& input,
                    ProgramSteps steps, TargetUi& ui) {
    steps.flashName = input.flashName;
    steps.eepromName = input.eepromName;
    return Of(ProgramTarget(programmer, place.images, steps, ui).succeeded);
}

CommandResult ReadFlashRow(Programmer& programmer, CommandPlace& place, const CommandInput& input,
                           CommandOutput&, TargetUi& ui) {
    ProgramSteps steps;
    steps.readFlash = true;
    return Steps(programmer, place, input, steps, ui);
}

CommandResult ReadEepromRow(Programmer& programmer, CommandPlace& place, const CommandInput& input,
                            CommandOutput&, TargetUi& ui) {
    ProgramSteps steps;
    steps.readEeprom = true;
    return Steps(programmer, place, input, steps, ui);
}

constexpr const char* VerifySucceeded = "Verify successfull";
constexpr const char* NotVerified = "Write done (not verified)";

CommandResult WriteFlashRow(Programmer& programmer, CommandPlace& place, const CommandInput& input,
                            CommandOutput&, TargetUi& ui) {
    ProgramSteps steps;
    steps.erase = input.eraseFirst;
    steps.writeFlash = true;
    steps.verifyFlash = input.verify;
    steps.success = input.verify ? VerifySucceeded : NotVerified;
    return Steps(programmer, place, input, steps, ui);
}

CommandResult VerifyFlashRow(Programmer& programmer, CommandPlace& place, const CommandInput& input,
                             CommandOutput&, TargetUi& ui) {
    ProgramSteps steps;
    steps.verifyFlash = true;
    steps.success = VerifySucceeded;
    return Steps(programmer, place, input, steps, ui);
}

CommandResult WriteEepromRow(Programmer& programmer, CommandPlace& place, const CommandInput& input,
                             CommandOutput&, TargetUi& ui) {
    ProgramSteps steps;
    steps.writeEeprom = true;
    steps.verifyEeprom = input.verify;
    steps.success = input.verify ? VerifySucceeded : NotVerified;
    return Steps(programmer, place, input, steps, ui);
}

CommandResult VerifyEepromRow(Programmer& programmer, CommandPlace& place,
                              const CommandInput& input, CommandOutput&, TargetUi& ui) {
    ProgramSteps steps;
    steps.verifyEeprom = true;
    steps.success = VerifySucceeded;
    return Steps(programmer, place, input, steps, ui);
}

CommandResult ProgramRow(Programmer& programmer, CommandPlace& place, const CommandInput& input,
                         CommandOutput&, TargetUi& ui) {
    ProgramSteps steps;
    steps.erase = steps.writeFlash = steps.verifyFlash = true;
    steps.writeEeprom = steps.verifyEeprom = !place.images.eepromDefined.Empty();
    steps.success = "Programmed and verified";
    return Steps(programmer, place, input, steps, ui);
}

CommandResult AutoProgramRow(Programmer& programmer, CommandPlace& place, const CommandInput& input,
                             CommandOutput& output, TargetUi& ui) {
    AutoProgramReport& report = output.report;
    RunAutoProgramJob(programmer, place.images, input.autoProgramFiles, input.autoProgramSteps, ui,
                      report);
    ui.ShowMessage(report.passed ? MessageKind::Success : MessageKind::Failure, report.outcome);
    if (!report.reachedTarget) {
        return CommandResult::Failed;
    }
    std::string error;
    if (!RecordProductionRun(place.settings, ProductionRunOf(report, input.autoProgramFiles),
                             error)) {
        ui.ShowMessage(MessageKind::Failure, error);
        return CommandResult::Failed;
    }
    report.recorded = true;
    return Of(report.passed);
}

CommandResult SerialNumberRow(Programmer& programmer, CommandPlace& place, const CommandInput&,
                              CommandOutput& output, TargetUi& ui) {
    output.serialNumber = SerialNumbering(programmer, place.images, ui, place.settings);
    return Of(output.serialNumber.has_value());
}

// The layout of the chip on the cable, identified now: a lock or fuse byte is shaped by it.
std::optional<LockFuseLayout> IdentifiedLayout(Programmer& programmer, TargetUi& ui) {
    if (!PrepareKnownTarget(programmer, ui)) {
        ReleaseTarget(programmer);
        return std::nullopt;
    }
    ReleaseTarget(programmer);
    return LoadLockFuseLayout(programmer.DeviceDatabase(), programmer.device.name);
}

std::string HexByte(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(value));
    return text;
}

// The byte as it will be sent: bits the device's pattern leaves unused or fixes are set as
// the pattern says. Tells the user when that differs from what was asked.
std::uint8_t Constrained(const LockFuseLayout& layout, LockFuseByte byte, std::uint8_t wanted,
                         const char* name, TargetUi& ui) {
    const std::uint8_t sent = layout.ChipFromTicks(byte, layout.TicksFromChip(byte, wanted));
    if (sent != wanted) {
        ui.ShowMessage(MessageKind::Note,
                       std::string(name) + " written as " + HexByte(sent) +
                           ": the device's pattern in zelk.ini fixes or leaves unused some bits");
    }
    return sent;
}

bool LockReadable(const Programmer& programmer, const LockFuseLayout& layout, TargetUi& ui) {
    if (layout.HasByte(LockFuseByte::Lock) && layout.readLockBitsShown) {
        return true;
    }
    ui.ShowMessage(MessageKind::Failure, "The lock bits of " + programmer.device.name +
                                             " cannot be read (see its LockBits in zelk.ini).");
    return false;
}

CommandResult ReadLockRow(Programmer& programmer, CommandPlace&, const CommandInput&,
                          CommandOutput& output, TargetUi& ui) {
    const std::optional<LockFuseLayout> layout = IdentifiedLayout(programmer, ui);
    if (!layout || !LockReadable(programmer, *layout, ui)) {
        return CommandResult::Failed;
    }
    output.lock = ReadLockByte(programmer, ui, *layout);
    return Of(output.lock.has_value());
}

CommandResult WriteLockRow(Programmer& programmer, CommandPlace&, const CommandInput& input,
                           CommandOutput&, TargetUi& ui) {
    const std::optional<LockFuseLayout> layout = IdentifiedLayout(programmer, ui);
    if (!layout) {
        return CommandResult::Failed;
    }
    if (!layout->HasByte(LockFuseByte::Lock)) {
        ui.ShowMessage(MessageKind::Failure,
                       programmer.device.name + " has no lock bits in zelk.ini.");
        return CommandResult::Failed;
    }
    switch (WriteLockByte(programmer, ui,
                          Constrained(*layout, LockFuseByte::Lock, input.lock, "Lock byte", ui))) {
    case LockWrite::Confirmed:
        return CommandResult::Done;
    case LockWrite::Unconfirmed:
        return CommandResult::Unconfirmed;
    case LockWrite::Failed:
        break;
    }
    return CommandResult::Failed;
}

// The fuse bytes a device has: the low byte, then the high and extended bytes it names.
int FuseByteCount(const LockFuseLayout& layout) {
    if (!layout.HasByte(LockFuseByte::Fuse)) {
        return 0;
    }
    return 1 + (layout.HasByte(LockFuseByte::FuseHigh) ? 1 : 0) +
           (layout.HasByte(LockFuseByte::FuseExt) ? 1 : 0);
}

bool HasFuses(const Programmer& programmer, const LockFuseLayout& layout, TargetUi& ui) {
    if (FuseByteCount(layout) > 0) {
        return true;
    }
    ui.ShowMessage(MessageKind::Failure, programmer.device.name + " has no fuses in zelk.ini.");
    return false;
}

CommandResult ReadFusesRow(Programmer& programmer, CommandPlace&, const CommandInput&,
                           CommandOutput& output, TargetUi& ui) {
    const std::optional<LockFuseLayout> layout = IdentifiedLayout(programmer, ui);
    if (!layout || !HasFuses(programmer, *layout, ui)) {
        return CommandResult::Failed;
    }
    output.fuses = ReadFuseBytes(programmer, ui, *layout);
    return Of(output.fuses.has_value());
}

CommandResult WriteFusesRow(Programmer& programmer, CommandPlace&, const CommandInput& input,
                            CommandOutput& output, TargetUi& ui) {
    const std::optional<LockFuseLayout> layout = IdentifiedLayout(programmer, ui);
    if (!layout || !HasFuses(programmer, *layout, ui)) {
        return CommandResult::Failed;
    }
    const int count = FuseByteCount(*layout);
    if (count != static_cast<int>(input.fuses.size())) {
        ui.ShowMessage(MessageKind::Failure, programmer.device.name + " has " +
                                                 std::to_string(count) +
                                                 " fuse byte(s) in zelk.ini; give exactly that "
                                                 "many.");
        return CommandResult::Failed;
    }
    FuseBytes fuses;
    fuses.low = Constrained(*layout, LockFuseByte::Fuse, input.fuses[0], "Fuse low byte", ui);
    if (layout->HasByte(LockFuseByte::FuseHigh)) {
        fuses.high =
            Constrained(*layout, LockFuseByte::FuseHigh, input.fuses[1], "Fuse high byte", ui);
    }
    if (layout->HasByte(LockFuseByte::FuseExt)) {
        fuses.ext = Constrained(*layout, LockFuseByte::FuseExt, input.fuses.back(),
                                "Extended fuse byte", ui);
    }
    if (!input.force) {
        // The guard compares with what the chip holds now.
        const std::optional<FuseBytes> current = ReadFuseBytes(programmer, ui, *layout);
        if (!current) {
            return CommandResult::Failed;
        }
        const FuseGuard guard(
            ReadDeviceSection(programmer.DeviceDatabase(), programmer.device.name),
            ReadBitLabels(programmer.DeviceDatabase(), "Fuses"));
        if (const std::string warning = guard.Warning(*current, fuses); !warning.empty()) {
            ui.ShowMessage(MessageKind::Failure,
                           "The fuses were not written. " + warning +
                               "Write them only when that is meant (zelk-cli: --force).");
            return CommandResult::Failed;
        }
    }
    if (!WriteFuseBytes(programmer, ui, *layout, fuses)) {
        return CommandResult::Failed;
    }
    output.fuses = fuses;
    return CommandResult::Done;
}

constexpr std::array<TargetCommand, 17> Commands{{
    {CommandId::Detect, "Detect Device", "detect", false, Detect},
    {CommandId::Reset, "Reset Device", "reset", false, Reset},
    {CommandId::Erase, "Erase Chip", "erase", true, Erase},
    {CommandId::BlankCheck, "Blank Check", "blank-check", false, Blank},
    {CommandId::ReadFlash, "Read Flash", "read-flash", false, ReadFlashRow},
    {CommandId::WriteFlash, "Write Flash", "write-flash", true, WriteFlashRow},
    {CommandId::VerifyFlash, "Verify Flash", "verify-flash", false, VerifyFlashRow},
    {CommandId::ReadEeprom, "Read EEPROM", "read-eeprom", false, ReadEepromRow},
    {CommandId::WriteEeprom, "Write EEPROM", "write-eeprom", true, WriteEepromRow},
    {CommandId::VerifyEeprom, "Verify EEPROM", "verify-eeprom", false, VerifyEepromRow},
    {CommandId::Program, "Program", "program", true, ProgramRow},
    {CommandId::AutoProgram, "AutoProgram", "autoprogram", true, AutoProgramRow},
    {CommandId::SerialNumber, "Serial Numbering", "serial-number", true, SerialNumberRow},
    {CommandId::ReadLock, "Read Lockbits", "read-lock", false, ReadLockRow},
    {CommandId::WriteLock, "Write Lockbits", "write-lock", true, WriteLockRow},
    {CommandId::ReadFuses, "Read Fuses", "read-fuses", false, ReadFusesRow},
    {CommandId::WriteFuses, "Write Fuses", "write-fuses", true, WriteFusesRow},
}};

} // namespace

std::span<const TargetCommand> TargetCommands() {
    return Commands;
}

const TargetCommand& FindTargetCommand(CommandId id) {
    return *std::ranges::find(Commands, id, &TargetCommand::id);
}

std::string OutcomeText(const TargetCommand& command, CommandResult result, int lastPercent) {
    const std::string name(command.name);
    switch (result) {
    case CommandResult::Done:
        return name + " done.";
    case CommandResult::Unconfirmed:
        return name + " done, but not confirmed.";
    case CommandResult::Failed:
        return name + " failed.";
    case CommandResult::Cancelled:
        break;
    }
    if (!command.writesChip) {
        return name + " cancelled: the images are as they were.";
    }
    return name + " cancelled at " + std::to_string(std::max(lastPercent, 0)) +
           " %: the chip holds only part of what was to be written.";
}

CommandResult RunTargetCommand(CommandId id, Programmer& programmer, CommandPlace& place,
                               const CommandInput& input, CommandOutput& output, TargetUi& ui) {
    const CommandResult result = FindTargetCommand(id).run(programmer, place, input, output, ui);
    return result == CommandResult::Failed && programmer.CancelRequested()
               ? CommandResult::Cancelled
               : result;
}

} // namespace zelk
