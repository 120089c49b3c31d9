#include "shell/command_enabling.h"
#include "shell/command_ids.h"

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
        {"child window", {.childActive = true}, Union({AlwaysEnabled, windows})},
        {"project and target",
         {.projectOpen = true, .targetReady = true},
         Union({AlwaysEnabled, ProjectCommands, TargetCommands, ProjectAndTarget})},
        {"flash write running",
         {.projectOpen = true,
          .targetReady = true,
          .childActive = true,
          .recentEntries = true,
          .flashWriteRunning = true},
         Union({whileWriting, windows})},
    };
    for (const auto& c : cases) {
        for (const CommandInfo& command : AllCommands()) {
            EXPECT_EQ(IsCommandEnabled(command.id, c.state), c.enabled.contains(command.id))
                << c.name << ": " << command.menuText;
        }
    }
}

} // namespace
} // namespace zelk
