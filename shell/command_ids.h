// SPDX-License-Identifier: GPL-3.0-or-later
// Every command of the menus, the toolbar and the device bar: its number, menu text, and the
// string that holds the status-bar prompt and, after a line break, the tooltip.
#pragma once

#include <span>
#include <string_view>

namespace zelk {
namespace cmd {

inline constexpr int NewProject = 57600;
inline constexpr int OpenProject = 32771;
inline constexpr int CloseProject = 32786;
inline constexpr int SaveProject = 32772;
inline constexpr int SaveProjectAs = 32798;
inline constexpr int Exit = 57665;
inline constexpr int RecentFirst = 57616; // four entries, most recent first
inline constexpr int RecentLast = 57619;
inline constexpr int LoadFile = 32784;
inline constexpr int SaveFile = 32785;
inline constexpr int EraseChip = 32781;
inline constexpr int BlankCheck = 32776;
inline constexpr int ReadFlash = 32775;
inline constexpr int WriteFlash = 32778;
inline constexpr int VerifyFlash = 32782;
inline constexpr int ReadEeprom = 32779;
inline constexpr int WriteEeprom = 32780;
inline constexpr int VerifyEeprom = 32783;
inline constexpr int AutoProgram = 32800;
inline constexpr int LockBitsFuses = 32806;
inline constexpr int SerialNumbering = 32807;
inline constexpr int Preferences = 32774;
inline constexpr int DetectDevice = 1003;
inline constexpr int ResetDevice = 32799;
inline constexpr int TerminalParallel = 32801;
inline constexpr int TerminalSerial = 32802;
inline constexpr int Cascade = 57650;
inline constexpr int Tile = 57651;
inline constexpr int ArrangeIcons = 57649;
inline constexpr int About = 57664;

// Bound to keys only; they do nothing here, so their keys are consumed without effect.
inline constexpr int Copy = 57634;
inline constexpr int Cut = 57635;
inline constexpr int Paste = 57637;
inline constexpr int Undo = 57643;
inline constexpr int NextPane = 57680;
inline constexpr int PreviousPane = 57681;

} // namespace cmd

struct CommandInfo {
    int id;
    // "&" marks the mnemonic, "&&" is a literal "&", a "\t" is followed by the accelerator.
    std::string_view menuText;
    // Prompt, then after "\n" the tooltip; empty when the command has no string.
    std::string_view status;
};

// Every command with a menu item or button, in menu order.
std::span<const CommandInfo> AllCommands();
// Null for an unknown id (the recent entries have no fixed entry).
const CommandInfo* FindCommand(int id);

std::string_view MenuLabel(const CommandInfo& command);       // before the "\t"
std::string_view MenuAccelerator(const CommandInfo& command); // after the "\t", or empty
std::string_view StatusPrompt(const CommandInfo& command);    // before the "\n"
std::string_view Tooltip(const CommandInfo& command);         // after the "\n", or empty

bool IsRecentCommand(int id);

} // namespace zelk
