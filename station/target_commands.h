// SPDX-License-Identifier: GPL-3.0-or-later
// The target commands of zelk and zelk-cli, one row each: what it is called, what it needs and
// the steps it runs. Both front ends run the same rows through one frame, so that a rule
// (verify after a write, refuse data beyond the chip, touch only the addresses an image
// defines, guard fuses that shut the cable out) lives in one place and the two cannot
// disagree. The front ends choose only how to show progress and ask questions.
#pragma once

#include "engine/autoprogram.h"
#include "engine/lock_fuse.h"
#include "engine/programmer.h"
#include "engine/target_ui.h"
#include "memory/target_images.h"
#include "platform/settings_store.h"
#include "station/autoprogram_run.h"
#include "station/preference_values.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelk {

enum class CommandId : std::uint8_t {
    Detect,
    Reset,
    Erase,
    BlankCheck,
    ReadFlash,
    WriteFlash,
    VerifyFlash,
    ReadEeprom,
    WriteEeprom,
    VerifyEeprom,
    Program, // erase, then write and verify the flash and what the EEPROM image defines
    AutoProgram,
    SerialNumber,
    ReadLock,
    WriteLock,
    ReadFuses,
    WriteFuses,
};

// What the user chose for a command, besides the images.
struct CommandInput {
    // Writes are verified (Preferences "Verify after writing", zelk-cli --no-verify).
    bool verify = true;
    // Write Flash erases first (zelk-cli --erase).
    bool eraseFirst = false;
    // The names of the images in messages ("firmware.hex holds data at ...").
    std::string flashName = "The flash image";
    std::string eepromName = "The EEPROM image";
    // AutoProgram: the project's files and the chosen steps.
    ImageFiles autoProgramFiles;
    AutoProgramSteps autoProgramSteps;
    // Write Lock: the byte; Write Fuses: low, high and extended, as many as given.
    std::uint8_t lock = 0xFF;
    std::vector<std::uint8_t> fuses;
    // Write Fuses past the guard (the GUI asked; zelk-cli --force).
    bool force = false;
};

// What a command found besides its outcome.
struct CommandOutput {
    std::optional<std::uint8_t> lock;
    std::optional<FuseBytes> fuses;
    std::optional<std::uint32_t> serialNumber;
    AutoProgramReport report;
};

enum class CommandResult { Done, Failed, Cancelled, Unconfirmed };

// Where a command's data lives: the images it reads and writes, the settings (serial numbers,
// the production record).
struct CommandPlace {
    TargetImages& images;
    SettingsStore& settings;
};

struct TargetCommand {
    CommandId id;
    // As the status bar and the progress window name it: "Read Flash".
    std::string_view name;
    // zelk-cli's command.
    std::string_view cliName;
    // A cancel leaves the chip part written, which the user must be told.
    bool writesChip;
    CommandResult (*run)(Programmer& programmer, CommandPlace& place, const CommandInput& input,
                         CommandOutput& output, TargetUi& ui);
};

std::span<const TargetCommand> TargetCommands();
const TargetCommand& FindTargetCommand(CommandId id);

// The status bar's line for an outcome: "Read Flash done.", "... failed.", or for a cancel what
// is left ("Write Flash cancelled at 40 %: the chip holds only part of what was to be
// written.").
std::string OutcomeText(const TargetCommand& command, CommandResult result, int lastPercent);

// The one frame of every command: the row's steps on the Programmer, the outcome named
// (a failure the Programmer's cancel flag asked for is Cancelled).
CommandResult RunTargetCommand(CommandId id, Programmer& programmer, CommandPlace& place,
                               const CommandInput& input, CommandOutput& output, TargetUi& ui);

} // namespace zelk
