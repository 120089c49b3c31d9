// zelk-cli's target commands against the simulated target, run as separate processes that
// share the chip through a state file.
#include "scratch_folder.h"
#include "sim/chip_state.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <numeric>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

namespace zelk {
namespace {

using testing::ReadWholeFile;
using testing::ScratchFolder;
using testing::WriteWholeFile;

std::string Quote(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

struct CliRun {
    int exitCode;
    std::string output;
    std::string errors;
};

class CliTarget : public ::testing::Test {
protected:
    // Runs zelk-cli with a settings store of its own and the chip in chip.bin, the connection
    // options before the command.
    CliRun Run(const std::string& arguments, const std::string& port = "sim:ATmega328P") {
        const std::string command =
            "XDG_CONFIG_HOME=" + Quote(folder.Path()) + " " +
            Quote(std::filesystem::path(ZELK_BIN_DIR) / "zelk-cli") + " --port " + port +
            " --sim-state " + Quote(folder / "chip.bin") + " " + arguments + " >" +
            Quote(folder / "stdout.txt") + " 2>" + Quote(folder / "stderr.txt");
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWholeFile(folder / "stdout.txt"),
                ReadWholeFile(folder / "stderr.txt")};
    }

    std::string File(const char* name) const { return Quote(folder / name); }

    ScratchFolder folder;
};

TEST_F(CliTarget, WriteVerifyReadEraseAndBlankCheck) {
    WriteWholeFile(folder / "firmware.hex", ":10010000000102030405060708090A0B0C0D0E0F77\n"
                                            ":10011000101112131415161718191A1B1C1D1E1F67\n"
                                            ":00000001FF\n");
    CliRun run = Run("write-flash " + File("firmware.hex"));
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    run = Run("verify-flash " + File("firmware.hex"));
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.output, "Verify successfull\n");

    ASSERT_EQ(Run("read-flash " + File("out.bin")).exitCode, 0);
    const std::string bytes = ReadWholeFile(folder / "out.bin");
    ASSERT_EQ(bytes.size(), 32768u);
    std::string firmware(32, '\0');
    std::iota(firmware.begin(), firmware.end(), '\0');
    EXPECT_EQ(bytes.substr(0x100, 32), firmware);
    EXPECT_EQ(bytes[0], '\xFF');

    EXPECT_EQ(Run("erase").exitCode, 0);
    run = Run("blank-check");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.output, "Device is Empty\n");

    run = Run("write-fuses zz D9 FF");
    EXPECT_EQ(run.exitCode, 2) << "a usage error";
    EXPECT_NE(run.errors.find("must be a hex byte"), std::string::npos) << run.errors;
}

// Two runs on one chip must not lose an update, and a chip that could not be saved is a
// failed run.
TEST_F(CliTarget, StateFileInUseOrNotSavableFailsTheRun) {
    WriteWholeFile(folder / "firmware.hex", ":0100000011EE\n:00000001FF\n");
    std::string error;
    {
        const auto holder = ChipStateFile::Open(folder / "chip.bin", error);
        ASSERT_NE(holder, nullptr) << error;
        const CliRun run = Run("write-flash " + File("firmware.hex"));
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.errors.find("is in use by another run"), std::string::npos) << run.errors;
    }
    ASSERT_EQ(Run("erase").exitCode, 0);
    ASSERT_EQ(::chmod((folder / "chip.bin").c_str(), 0444), 0);
    EXPECT_EQ(Run("blank-check").exitCode, 0) << "a run that changes nothing saves nothing";
    const CliRun run = Run("write-flash " + File("firmware.hex"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("Cannot save the simulator state file"), std::string::npos)
        << run.errors;
}

TEST_F(CliTarget, MissingParallelPortIsReportedNotWaitedFor) {
    if (std::filesystem::exists("/dev/parport0")) {
        GTEST_SKIP() << "this machine may reach a parallel port";
    }
    const CliRun run = Run("detect", "lpt1");
    EXPECT_EQ(run.exitCode, 1);
    const std::string message = "Cannot find any supported interface on the selected LPT port.\n";
    ASSERT_EQ(run.errors.rfind(message, 0), 0u) << run.errors;
    EXPECT_GT(run.errors.size(), message.size() + 1) << "a reason follows";
}

} // namespace
} // namespace zelk
