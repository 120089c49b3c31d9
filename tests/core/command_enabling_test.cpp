#include "app/command_enabling.h"
#include "app/command_ids.h"

#include <gtest/gtest.h>
#include <set>

namespace zelk {
namespace {

const std::set<int> AlwaysEnabled = {cmd::NewProject,     cmd::OpenProject,   cmd::Exit,
                                     cmd::Preferences,    cmd::DetectDevice,  cmd::ResetDevice,
                                     cmd::TerminalSerial, cmd::LockBitsFuses, cmd::About};
const std::set<int> ProjectCommands = {cmd::CloseProject,   cmd::SaveProject, cmd::SaveProjectAs,
                                       cmd::LoadFile,       cmd::SaveFile,    cmd::AutoProgram,
                                       cmd::SerialNumbering};
const std::set<int> TargetCommands = {cmd::EraseChip, cmd::BlankCheck, cmd::TerminalParallel};
const std::set<int> ProjectAndTarget = {cmd::ReadFlash,  cmd::WriteFlash,  cmd::VerifyFlash,
                                        cmd::ReadEeprom, cmd::WriteEeprom, cmd::VerifyEeprom};

std::set<int> Union(std::initializer_list<std::set<int>> parts) {
    std::set<int> all;
    for (const auto& part : parts) {
        all.insert(part.begin(), part.end());
    }
    return all;
}

// Every command of the menus is checked in every state, so a command that slips into the
// wrong rule shows up as one wrong id.
TEST(CommandEnabling, EachStateEnablesExactlyItsCommands) {
    const std::set<int> windows = {cmd::Cascade, cmd::Tile, cmd::ArrangeIcons};
    const std::set<int> whileWriting = {cmd::CloseProject, cmd::SaveProject,    cmd::SaveProjectAs,
                                        cmd::SaveFile,     cmd::TerminalSerial, cmd::About};
    const struct {
        const char* name;
        EnablingState state;
        std::set<int> enabled;
    } cases[] = {
        {"no project", {}, AlwaysEnabled},
        {"project open", {.projectOpen = true}, Union({AlwaysEnabled, ProjectCommands})},
        {"target ready", {.targetReady = true}, Union({AlwaysEnabled, TargetCommands})},
        {"child window", {.childActive = true}, Union({AlwaysEnabled, windows})},
        {"project and target",
         {.projectOpen = true, .targetReady = true},
         Union({AlwaysEnabled, ProjectCommands, TargetCommands, ProjectAndTarget})},
        {"flash write running",
         {.projectOpen = true,
          .targetReady = true,
          .childActive = true,
          .recentEntries = true,
          .portClaimed = true},
         Union({whileWriting, windows})},
    };
    for (const auto& c : cases) {
        for (const CommandInfo& command : AllCommands()) {
            EXPECT_EQ(IsCommandEnabled(command.id, c.state), c.enabled.contains(command.id))
                << c.name << ": " << command.menuText;
        }
    }
}

TEST(CommandEnabling, RecentEntriesFollowTheListButNotDuringTheFlashWrite) {
    for (int id = cmd::RecentFirst; id <= cmd::RecentLast; ++id) {
        EXPECT_FALSE(IsCommandEnabled(id, {}));
        EXPECT_TRUE(IsCommandEnabled(id, {.recentEntries = true}));
        EXPECT_FALSE(IsCommandEnabled(id, {.recentEntries = true, .portClaimed = true}));
    }
}

TEST(CommandIds, MenuTextAndStatusSplitIntoTheirParts) {
    const CommandInfo* newProject = FindCommand(cmd::NewProject);
    ASSERT_NE(newProject, nullptr);
    EXPECT_EQ(MenuLabel(*newProject), "&New Project");
    EXPECT_EQ(MenuAccelerator(*newProject), "Ctrl+N");
    EXPECT_EQ(StatusPrompt(*newProject), "Create a new project");
    EXPECT_EQ(Tooltip(*newProject), "New Project");

    const CommandInfo* terminal = FindCommand(cmd::TerminalParallel);
    ASSERT_NE(terminal, nullptr);
    EXPECT_EQ(MenuAccelerator(*terminal), "");
    EXPECT_EQ(StatusPrompt(*terminal), "Start the mini Terminal using the Parallel Port");
    EXPECT_EQ(Tooltip(*terminal), "");

    EXPECT_EQ(FindCommand(cmd::RecentFirst), nullptr);
}

TEST(CommandIds, IdsAreUnique) {
    std::set<int> seen;
    for (const CommandInfo& command : AllCommands()) {
        EXPECT_TRUE(seen.insert(command.id).second) << command.id;
    }
}

} // namespace
} // namespace zelk
