// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/command_ids.h"

#include <array>

namespace zelk {
namespace {

constexpr std::array<CommandInfo, 28> Commands = {{
    {cmd::NewProject, "&New Project\tCtrl+N", "Create a new project\nNew Project"},
    {cmd::OpenProject, "&Open Project", "Open an existing project\nOpen project"},
    {cmd::CloseProject, "&Close project", ""},
    {cmd::SaveProject, "&Save project", "Save project to disk\nSave project"},
    {cmd::SaveProjectAs, "Save &As...", ""},
    {cmd::Exit, "E&xit", "Quit the application; prompts to save documents\nExit"},
    {cmd::LoadFile, "&Load File", "Load file into buffer\nLoad File"},
    {cmd::SaveFile, "&Save File", "Save buffer to file\nSave File"},
    {cmd::EraseChip, "&Erase Chip", "Erase Flash and EEPROM\nErase Chip"},
    {cmd::BlankCheck, "&Blank Check", "Check if device is empty\nBlank Check"},
    {cmd::ReadFlash, "&Read Flash\tCtrl+R", "Read from Flash Memory\nRead Flash"},
    {cmd::WriteFlash, "&Write Flash\tCtrl+W", "Write to Flash Memory\nWrite Flash"},
    {cmd::VerifyFlash, "&Verify Flash\tCtrl+Shift+V", "Verify Flash Memory\nVerify Flash"},
    {cmd::ReadEeprom, "Read &EEPROM", "Read from EEPROM Memory\nRead EEPROM"},
    {cmd::WriteEeprom, "Wr&ite EEPROM", "Write to EEPROM Memory\nWrite EEPROM"},
    {cmd::VerifyEeprom, "Veri&fy EEPROM", "Verify EEPROM Memory\nVerify EEPROM"},
    {cmd::AutoProgram, "&AutoProgram", "Run the predefined Autoprogramming steps\nAutoprogram"},
    {cmd::LockBitsFuses, "&LockBits && Fuses",
     "Read/Write Lockbits & Fusebits \nLockbits & Fusebits"},
    {cmd::SerialNumbering, "&Serial Numbering",
     "Open the serial numbering dialog\nSerial Numbering"},
    {cmd::Preferences, "&Preferences", "Program Preferences\nPreferences"},
    {cmd::DetectDevice, "&Detect Device\tF5", "Detect Device Type\nDetect Device"},
    {cmd::ResetDevice, "&Reset Device", "Reset the Device\nReset Device"},
    {cmd::TerminalParallel, "&Terminal Parallel",
     "Start the mini Terminal using the Parallel Port"},
    {cmd::TerminalSerial, "Terminal &Serial", "Start the mini Terminal using the Serial Port"},
    {cmd::Cascade, "&Cascade", "Arrange windows so they overlap\nCascade Windows"},
    {cmd::Tile, "&Tile", "Arrange windows as non-overlapping tiles\nTile Windows"},
    {cmd::ArrangeIcons, "&Arrange Icons",
     "Arrange icons at the bottom of the window\nArrange Icons"},
    {cmd::About, "&About zelk...",
     "Display program information, version number and copyright\nAbout"},
}};

std::string_view Before(std::string_view text, char separator) {
    return text.substr(0, text.find(separator));
}

std::string_view After(std::string_view text, char separator) {
    const std::size_t at = text.find(separator);
    return at == std::string_view::npos ? std::string_view{} : text.substr(at + 1);
}

} // namespace

std::span<const CommandInfo> AllCommands() {
    return Commands;
}

const CommandInfo* FindCommand(int id) {
    for (const CommandInfo& command : AllCommands()) {
        if (command.id == id) {
            return &command;
        }
    }
    return nullptr;
}

std::string_view MenuLabel(const CommandInfo& command) {
    return Before(command.menuText, '\t');
}
std::string_view MenuAccelerator(const CommandInfo& command) {
    return After(command.menuText, '\t');
}
std::string_view StatusPrompt(const CommandInfo& command) {
    return Before(command.status, '\n');
}
std::string_view Tooltip(const CommandInfo& command) {
    return After(command.status, '\n');
}

bool IsRecentCommand(int id) {
    return id >= cmd::RecentFirst && id <= cmd::RecentLast;
}

} // namespace zelk
