// The simulator's set-up from zelk.ini and its state file: messages that name the real
// problem, the lock that keeps two runs apart, and saves that report their failure.
#include "engine/connection.h"
#include "scratch_folder.h"
#include "sim/simulated_port.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zelk {
namespace {

namespace fs = std::filesystem;
using testing::WriteWholeFile;

const SimDevice Part{"Part", 0x1E9101, 2048, 128, 1, 0, "", "", "", ""};

TEST(SimulatorSetUp, SaysWhatIsWrongWithTheDeviceList) {
    testing::ScratchFolder folder;
    fs::create_directory(folder / "folder.ini");
    WriteWholeFile(folder / "empty.ini", "[Devices]\n");
    WriteWholeFile(folder / "one.ini", "[Devices]\n1=Part\n[Part]\nSignature=0x1E9101\n");
    const std::pair<const char*, std::string> cases[] = {
        {"none.ini", "Cannot read the device list " + (folder / "none.ini").string() +
                         ": No such file or directory"},
        {"folder.ini", "Cannot read the device list " + (folder / "folder.ini").string() +
                           ": is a folder, not a file"},
        {"empty.ini", "No devices are listed in " + (folder / "empty.ini").string()},
        {"one.ini",
         "Unknown device \"Other\": " + (folder / "one.ini").string() + " lists no such device"},
    };
    for (const auto& [name, message] : cases) {
        ConnectionSettings settings;
        settings.port = PortKind::Simulator;
        settings.deviceDatabase = folder / name;
        settings.simulator.device = "Other";
        std::string error;
        EXPECT_EQ(MakeProgrammer(settings, error), nullptr) << name;
        EXPECT_EQ(error, message);
    }
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

} // namespace
} // namespace zelk
