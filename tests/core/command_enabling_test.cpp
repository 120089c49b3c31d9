// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/command_enabling.h"
#include "shell/command_ids.h"

#include <gtest/gtest.h>
#include <set>

namespace zelk {
namespace {

// What the commands do, by which the rules of the table are judged.
const std::set<int> DrivesThePort = {cmd::EraseChip,     cmd::BlankCheck,       cmd::ReadFlash,
                                     cmd::WriteFlash,    cmd::VerifyFlash,      cmd::ReadEeprom,
                                     cmd::WriteEeprom,   cmd::VerifyEeprom,     cmd::AutoProgram,
                                     cmd::LockBitsFuses, cmd::SerialNumbering,  cmd::DetectDevice,
                                     cmd::ResetDevice,   cmd::TerminalParallel, cmd::Preferences};
// Commands that read or replace an image shown in a memory window of the project.
const std::set<int> UsesTheImages = {
    cmd::ReadFlash,    cmd::WriteFlash,  cmd::VerifyFlash,     cmd::ReadEeprom, cmd::WriteEeprom,
    cmd::VerifyEeprom, cmd::AutoProgram, cmd::SerialNumbering, cmd::LoadFile,   cmd::SaveFile};
// Commands that replace the images the worker took, or end the process under it.
const std::set<int> ReplacesTheImages = {cmd::NewProject, cmd::OpenProject, cmd::CloseProject,
                                         cmd::LoadFile,   cmd::Exit,        cmd::RecentFirst};

std::vector<EnablingState> EveryState() {
    std::vector<EnablingState> states;
    for (int bits = 0; bits < 32; ++bits) {
        states.push_back({.projectOpen = (bits & 1) != 0,
                          .targetReady = (bits & 2) != 0,
                          .childActive = (bits & 4) != 0,
                          .recentEntries = (bits & 8) != 0,
                          .workerRunning = (bits & 16) != 0});
    }
    return states;
}

TEST(CommandEnabling, TheRulesHoldInEveryState) {
    std::set<int> everEnabled;
    for (const EnablingState& state : EveryState()) {
        for (const CommandInfo& command : AllCommands()) {
            const int id = command.id;
            const bool enabled = IsCommandEnabled(id, state);
            if (enabled) {
                everEnabled.insert(id);
            }
            if (state.workerRunning) {
                EXPECT_FALSE(enabled && DrivesThePort.contains(id))
                    << command.menuText << ": a second user of the port";
                EXPECT_FALSE(enabled && ReplacesTheImages.contains(id))
                    << command.menuText << ": the image under the worker";
            }
            if (!state.projectOpen) {
                EXPECT_FALSE(enabled && UsesTheImages.contains(id))
                    << command.menuText << ": no project, no memory window";
            }
            if (!state.targetReady && id != cmd::AutoProgram && id != cmd::SerialNumbering &&
                id != cmd::LockBitsFuses && id != cmd::DetectDevice && id != cmd::ResetDevice &&
                id != cmd::Preferences) {
                EXPECT_FALSE(enabled && DrivesThePort.contains(id))
                    << command.menuText << ": the target was never identified";
            }
        }
        if (!state.workerRunning) {
            // The first steps are always open: a project, and identifying the target.
            for (int id : {cmd::NewProject, cmd::OpenProject, cmd::DetectDevice, cmd::Exit}) {
                EXPECT_TRUE(IsCommandEnabled(id, state)) << id;
            }
        }
        EXPECT_EQ(IsCommandEnabled(cmd::RecentFirst, state),
                  state.recentEntries && !state.workerRunning);
    }
    for (const CommandInfo& command : AllCommands()) {
        EXPECT_TRUE(everEnabled.contains(command.id)) << command.menuText << " is never enabled";
    }
}

} // namespace
} // namespace zelk
