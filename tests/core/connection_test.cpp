// SPDX-License-Identifier: GPL-3.0-or-later
// From the user's choice of port and cable to the Programmer: the simulator's set-up from
// zelk.ini and its state file, with messages that name the real problem, the lock that keeps
// two runs apart and saves that report their failure; and a project into the state.
#include "engine/connection.h"
#include "scratch_folder.h"
#include "sim/simulated_port.h"
#include "station/project_state.h"
#include "station/stored_connection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zelk {
namespace {

namespace fs = std::filesystem;
using testing::WriteWholeFile;

const SimDevice Part{"Part", 0x1E9101, 2048, 128, 1, 0, "", "", "", ""};

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

TEST(Connection, SettingsThatCannotBeUsedAreRefusedWithTheReason) {
    testing::ScratchFolder folder;
    WriteWholeFile(folder / "empty.ini", "[Devices]\n");
    WriteWholeFile(folder / "one.ini", "[Devices]\n1=Part\n[Part]\nSignature=0x1E9101\n");
    const struct {
        const char* database;
        std::int32_t sckHalfPeriodUs;
        std::string message;
    } cases[] = {
        {"none.ini", 1,
         "Cannot read the device list " + (folder / "none.ini").string() +
             ": No such file or directory"},
        {"empty.ini", 1, "No devices are listed in " + (folder / "empty.ini").string()},
        {"one.ini", 1,
         "Unknown device \"Other\": " + (folder / "one.ini").string() + " lists no such device"},
        {"one.ini", 0, "the SCK half period must be at least 1 microsecond"},
    };
    ConnectionSettings settings;
    settings.port = PortKind::Simulator;
    settings.simulator.device = "Other";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        settings.deviceDatabase = folder / c.database;
        settings.sckHalfPeriodUs = c.sckHalfPeriodUs;
        std::string error;
        EXPECT_EQ(MakeProgrammer(settings, error), nullptr);
        EXPECT_EQ(error, c.message);
    }
    settings.sckHalfPeriodUs = 1;
    settings.simulator.device = "pART";
    std::string error;
    EXPECT_NE(MakeProgrammer(settings, error), nullptr) << "names compare without case";
}

TEST(ChipStateFile, OneRunAtATimeHoldsTheStateFile) {
    testing::ScratchFolder folder;
    std::string error;
    std::shared_ptr<ChipStateFile> first = ChipStateFile::Open(folder / "chip.bin", error);
    ASSERT_NE(first, nullptr) << error;
    EXPECT_EQ(ChipStateFile::Open(folder / "chip.bin", error), nullptr);
    EXPECT_NE(error.find("is in use by another run"), std::string::npos) << error;

    fs::create_symlink(folder / "chip.bin", folder / "other-name.bin");
    EXPECT_EQ(ChipStateFile::Open(folder / "other-name.bin", error), nullptr)
        << "two names of one file share its lock";

    SimConfig config;
    config.device = Part;
    config.stateFile = folder / "chip.bin";
    EXPECT_EQ(MakeSimulatedPort(config, error), nullptr);
    EXPECT_NE(error.find("is in use by another run"), std::string::npos) << error;

    first.reset();
    EXPECT_NE(MakeSimulatedPort(config, error), nullptr) << error;
}

// None of these may abort the run or load as a chip.
TEST(ChipStateFile, StateFileThatIsNoChipIsRefusedWithItsReason) {
    testing::ScratchFolder folder;
    fs::create_directory(folder / "folder.bin");
    ASSERT_EQ(::mkfifo((folder / "fifo.bin").c_str(), 0600), 0);
    WriteWholeFile(folder / "huge.bin", "ZELKSIM1");
    fs::resize_file(folder / "huge.bin", 1 << 20);
    WriteWholeFile(folder / "text.bin", "not a chip");
    const std::pair<const char*, const char*> cases[] = {
        {"folder.bin", "is a folder"},
        {"fifo.bin", "not a regular file"},
        {"huge.bin", "is larger than"},
        {"text.bin", "is not a zelk chip state"},
    };
    for (const auto& [name, reason] : cases) {
        SimConfig config;
        config.device = Part;
        config.stateFile = folder / name;
        std::string error;
        EXPECT_EQ(MakeSimulatedPort(config, error), nullptr) << name;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_NE(error.find((folder / name).string()), std::string::npos) << error;
    }
}

TEST(ChipStateFile, FailedSaveIsReportedAndAnUnchangedChipIsNotWritten) {
    testing::ScratchFolder folder;
    const fs::path file = folder / "chip.bin";
    std::string error;
    std::shared_ptr<ChipStateFile> state = ChipStateFile::Open(file, error);
    ASSERT_NE(state, nullptr) << error;
    ChipState chip = FreshChip(Part);
    ASSERT_TRUE(state->Load(Part, chip, error)) << "a state file not yet there gives a fresh chip";
    ASSERT_TRUE(state->Save(Part, chip, error)) << error;

    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    EXPECT_TRUE(state->Save(Part, chip, error)) << "nothing changed, nothing to write";
    chip.flash[0] = 0x12;
    EXPECT_FALSE(state->Save(Part, chip, error));
    EXPECT_NE(error.find("Cannot save the simulator state file " + file.string()),
              std::string::npos)
        << error;
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;

    ChipState reloaded = FreshChip(Part);
    ASSERT_TRUE(state->Load(Part, reloaded, error)) << error;
    EXPECT_EQ(reloaded.flash[0], 0xFF);
}

TEST(ProjectState, FileNamesAreTakenFromTheProjectsFolder) {
    testing::ScratchFolder folder;
    const fs::path project = folder / "boards" / "rev2.prj";
    fs::create_directories(project.parent_path());
    WriteWholeFile(project, "[zelk Project]\nProjectName=Rev2\nComment=Board\n"
                            "FlashFile=fw/main.hex\nEEPromFile=/abs/ee.hex\n");
    AppState state;
    state.flashFile = "left over";
    const ProjectFileData data = ApplyProjectFile(state, project);
    EXPECT_EQ(state.projectName, "Rev2");
    EXPECT_EQ(state.comment, "Board");
    EXPECT_EQ(state.flashFile, (folder / "boards" / "fw" / "main.hex").string());
    EXPECT_EQ(state.eepromFile, "/abs/ee.hex");
    EXPECT_EQ(data.flashFile, "fw/main.hex") << "the file's own text is kept for the caller";

    WriteWholeFile(project, "[zelk Project]\nProjectName=Empty\n");
    ApplyProjectFile(state, project);
    EXPECT_EQ(state.flashFile, "") << "no file stays no file";
}

} // namespace
} // namespace zelk
