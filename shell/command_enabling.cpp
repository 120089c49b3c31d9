// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/command_enabling.h"

#include "shell/command_ids.h"

namespace zelk {
namespace {

// While a target command's worker runs, nothing else may drive the port or change how it is
// reached (Preferences), nothing may replace the images it took (a new, opened or closed
// project, Load File), and the process may not end under it.
bool BlockedByWorker(int id) {
    switch (id) {
    case cmd::EraseChip:
    case cmd::BlankCheck:
    case cmd::ReadFlash:
    case cmd::WriteFlash:
    case cmd::VerifyFlash:
    case cmd::ReadEeprom:
    case cmd::WriteEeprom:
    case cmd::VerifyEeprom:
    case cmd::AutoProgram:
    case cmd::LockBitsFuses:
    case cmd::SerialNumbering:
    case cmd::Preferences:
    case cmd::DetectDevice:
    case cmd::ResetDevice:
    case cmd::TerminalParallel:
    case cmd::NewProject:
    case cmd::OpenProject:
    case cmd::CloseProject:
    case cmd::LoadFile:
    case cmd::Exit:
        return true;
    default:
        return IsRecentCommand(id);
    }
}

} // namespace

bool IsCommandEnabled(int id, const EnablingState& state) {
    if (state.workerRunning && BlockedByWorker(id)) {
        return false;
    }
    if (IsRecentCommand(id)) {
        return state.recentEntries;
    }
    switch (id) {
    case cmd::NewProject:
    case cmd::OpenProject:
    case cmd::Exit:
    case cmd::Preferences:
    case cmd::DetectDevice:
    case cmd::ResetDevice:
    case cmd::TerminalSerial:
    case cmd::LockBitsFuses:
    case cmd::About:
        return true;
    case cmd::CloseProject:
    case cmd::SaveProject:
    case cmd::SaveProjectAs:
    case cmd::LoadFile:
    case cmd::SaveFile:
    case cmd::AutoProgram:
    case cmd::SerialNumbering:
        return state.projectOpen;
    case cmd::EraseChip:
    case cmd::BlankCheck:
    case cmd::TerminalParallel:
        return state.targetReady;
    case cmd::ReadFlash:
    case cmd::WriteFlash:
    case cmd::VerifyFlash:
    case cmd::ReadEeprom:
    case cmd::WriteEeprom:
    case cmd::VerifyEeprom:
        return state.targetReady && state.projectOpen;
    case cmd::Cascade:
    case cmd::Tile:
    case cmd::ArrangeIcons:
        return state.childActive;
    default:
        return false;
    }
}

} // namespace zelk
