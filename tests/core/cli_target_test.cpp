// zelk-cli's target commands against the simulated target, run as separate processes that
// share the chip through a state file.
#include "scratch_folder.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <numeric>
#include <string>
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
    // Runs zelk-cli with a settings store of its own and the chip in chip.bin.
    CliRun Run(const std::string& arguments, const std::string& port = "sim:ATmega328P") {
        const std::string command =
            "XDG_CONFIG_HOME=" + Quote(folder.Path()) + " " +
            Quote(std::filesystem::path(ZELK_BIN_DIR) / "zelk-cli") + " " + arguments + " --port " +
            port + " --sim-state " + Quote(folder / "chip.bin") + " >" +
            Quote(folder / "stdout.txt") + " 2>" + Quote(folder / "stderr.txt");
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWholeFile(folder / "stdout.txt"),
                ReadWholeFile(folder / "stderr.txt")};
    }

    std::string File(const char* name) const { return Quote(folder / name); }

    ScratchFolder folder;
};

// 64 bytes at 0x0100 and, for a large part, 16 more at 0x1F000 behind an extended address.
const char* const Firmware = ":10010000000102030405060708090A0B0C0D0E0F77\n"
                             ":10011000101112131415161718191A1B1C1D1E1F67\n"
                             ":10012000202122232425262728292A2B2C2D2E2F57\n"
                             ":10013000303132333435363738393A3B3C3D3E3F47\n";
const char* const HighRecords = ":020000040001F9\n"
                                ":10F00000A0A1A2A3A4A5A6A7A8A9AAABACADAEAF88\n";

TEST_F(CliTarget, WriteVerifyReadEraseAndBlankCheck) {
    WriteWholeFile(folder / "firmware.hex", std::string(Firmware) + ":00000001FF\n");
    CliRun run = Run("write-flash " + File("firmware.hex"));
    ASSERT_EQ(run.exitCode, 0) << run.errors;

    run = Run("verify-flash " + File("firmware.hex"));
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.output, "Verify successfull\n");

    ASSERT_EQ(Run("read-flash " + File("out.bin")).exitCode, 0);
    const std::string bytes = ReadWholeFile(folder / "out.bin");
    ASSERT_EQ(bytes.size(), 32768u);
    std::string firmware(64, '\0');
    std::iota(firmware.begin(), firmware.end(), '\0');
    EXPECT_EQ(bytes.substr(0x100, 64), firmware);
    EXPECT_EQ(bytes[0], '\xFF');

    ASSERT_EQ(Run("read-flash " + File("out.hex")).exitCode, 0);
    EXPECT_EQ(Run("verify-flash " + File("out.hex")).exitCode, 0);

    WriteWholeFile(folder / "other.hex", ":010120009945\n:00000001FF\n");
    run = Run("verify-flash " + File("other.hex"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("Verify failed at 00000100 !"), std::string::npos) << run.errors;

    EXPECT_EQ(Run("erase").exitCode, 0);
    run = Run("blank-check");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.output, "Device is Empty\n");
}

TEST_F(CliTarget, LargeFlashAbove64KiBRoundTrips) {
    WriteWholeFile(folder / "big.hex", std::string(Firmware) + HighRecords + ":00000001FF\n");
    ASSERT_EQ(Run("write-flash " + File("big.hex"), "sim:ATmega128").exitCode, 0);
    EXPECT_EQ(Run("verify-flash " + File("big.hex"), "sim:ATmega128").exitCode, 0);
    ASSERT_EQ(Run("read-flash " + File("big.bin"), "sim:ATmega128").exitCode, 0);
    const std::string bytes = ReadWholeFile(folder / "big.bin");
    ASSERT_EQ(bytes.size(), 131072u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0x1F000]), 0xA0);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0x1F00F]), 0xAF);
}

TEST_F(CliTarget, ExitCodesAndMessages) {
    struct Case {
        std::string arguments;
        std::string port;
        int exitCode;
        std::string output; // of a run that succeeds
        std::string error;  // found in what the run printed on stderr
    };
    const Case cases[] = {
        {"detect", "sim:ATmega328P", 0, "ATmega328P\n", ""},
        {"read-fuses", "sim:ATmega328P", 0, "62 D9 FF\n", ""},
        {"write-fuses E2", "sim:ATmega328P", 1, "", "has 3 fuse byte(s)"},
        {"write-fuses zz D9 FF", "sim:ATmega328P", 2, "", "must be a hex byte"},
        {"detect", "sim:ATmega328P --sim-fault none-connected", 1, "",
         "Init failed. Is target connected and powered on ?"},
        {"write-flash " + File("missing.hex"), "sim:ATmega328P", 1, "", "cannot open file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments + " --port " + c.port);
        const CliRun run = Run(c.arguments, c.port);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.errors;
        if (c.exitCode == 0) {
            EXPECT_EQ(run.output, c.output);
        }
        EXPECT_NE(run.errors.find(c.error), std::string::npos) << run.errors;
    }
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
