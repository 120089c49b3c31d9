// From the user's choice of port and cable to the Programmer, and a project into the state.
#include "app/project_state.h"
#include "app/stored_connection.h"
#include "engine/connection.h"
#include "platform/settings_store.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

namespace zelk {
namespace {

TEST(Connection, APortNameOpensItsAddress) {
    const struct {
        const char* name;
        std::uint16_t base;
    } cases[] = {{"lpt1", 0x378}, {"lpt2", 0x278}, {"lpt3", 0x3BC}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectionSettings settings;
        settings.lptIndex = 2;
        std::string error;
        ASSERT_TRUE(ApplyPortName(c.name, settings, error)) << error;
        std::vector<std::uint16_t> opened;
        auto programmer =
            MakeProgrammer(settings, error, [&](std::uint16_t base, std::string& reason) {
                opened.push_back(base);
                reason = "recorded";
                return nullptr;
            });
        ASSERT_NE(programmer, nullptr) << error;
        EXPECT_TRUE(opened.empty()) << "opened only when a command needs it";
        std::string reason;
        EXPECT_FALSE(programmer->OpenPort(reason));
        EXPECT_EQ(opened, std::vector<std::uint16_t>{c.base});
    }
    for (const char* bad : {"lpt0", "lpt4", "LPT1", "sim:", "com1", ""}) {
        ConnectionSettings settings;
        std::string error;
        EXPECT_FALSE(ApplyPortName(bad, settings, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_EQ(settings.port, PortKind::Lpt) << bad;
    }
}

TEST(Connection, TheStoredPortAndCableAreTheDefault) {
    testing::ScratchFolder folder;
    ::setenv("XDG_CONFIG_HOME", folder.Path().c_str(), 1);
    EXPECT_EQ(StoredConnection().lptIndex, 0);
    EXPECT_EQ(StoredConnection().cable, CableAutoDetect);
    ASSERT_TRUE(WriteSettingInt("Preferences", "PortBase", 2));
    ASSERT_TRUE(WriteSettingInt("Preferences", "Interface", CableStk200));
    const ConnectionSettings stored = StoredConnection();
    EXPECT_EQ(stored.port, PortKind::Lpt);
    EXPECT_EQ(stored.lptIndex, 2);
    EXPECT_EQ(stored.cable, CableStk200);
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(Connection, SettingsThatCannotBeUsedAreRefusedWithTheReason) {
    testing::ScratchFolder folder;
    testing::WriteWholeFile(folder / "zelk.ini", "[Devices]\nD1=ATtiny12\n[ATtiny12]\n"
                                                 "Signature=0x1E9005\nProgramSize=1024\n");
    ConnectionSettings unknown;
    unknown.port = PortKind::Simulator;
    unknown.simulator.device = "ATmega8";
    unknown.deviceDatabase = folder / "zelk.ini";
    ConnectionSettings stalled;
    stalled.sckHalfPeriodUs = 0;
    for (const ConnectionSettings& settings : {unknown, stalled}) {
        std::string error;
        EXPECT_EQ(MakeProgrammer(settings, error), nullptr);
        EXPECT_FALSE(error.empty());
    }
    unknown.simulator.device = "attiny12";
    std::string error;
    EXPECT_NE(MakeProgrammer(unknown, error), nullptr) << "names compare without case";
}

TEST(ProjectState, FileNamesAreTakenFromTheProjectsFolder) {
    testing::ScratchFolder folder;
    const std::filesystem::path project = folder / "boards" / "rev2.prj";
    std::filesystem::create_directories(project.parent_path());
    testing::WriteWholeFile(project, "[zelk Project]\nProjectName=Rev2\nComment=Board\n"
                                     "FlashFile=fw/main.hex\nEEPromFile=/abs/ee.hex\n");
    AppState state;
    state.flashFile = "left over";
    const ProjectFileData data = ApplyProjectFile(state, project);
    EXPECT_EQ(state.projectName, "Rev2");
    EXPECT_EQ(state.comment, "Board");
    EXPECT_EQ(state.flashFile, (folder / "boards" / "fw" / "main.hex").string());
    EXPECT_EQ(state.eepromFile, "/abs/ee.hex");
    EXPECT_EQ(data.flashFile, "fw/main.hex") << "the file's own text is kept for the caller";

    testing::WriteWholeFile(project, "[zelk Project]\nProjectName=Empty\n");
    ApplyProjectFile(state, project);
    EXPECT_EQ(state.flashFile, "") << "no file stays no file";
}

} // namespace
} // namespace zelk
