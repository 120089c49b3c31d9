// zelk-cli's target commands against the simulated target, run as separate processes that
// share the chip through a state file.
#include "cli_run.h"
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

using testing::CliRun;
using testing::Quote;

class CliTarget : public ::testing::Test {
protected:
    // Runs zelk-cli with a settings store of its own and the chip in chip.bin, the connection
    // options before the command.
    CliRun Run(const std::string& arguments, const std::string& port = "sim:ATmega328P",
               const std::string& chip = "chip.bin") {
        return testing::RunCli(
            folder, "--port " + port + " --sim-state " + Quote(folder / chip) + " " + arguments, "",
            "XDG_CONFIG_HOME=" + Quote(folder.Path()));
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
        EXPECT_EQ(run.exitCode, 2) << "found before any work";
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

// Each fault must end in a failed run, never in exit status 0.
TEST_F(CliTarget, AMisbehavingTargetFailsTheRun) {
    WriteWholeFile(folder / "firmware.hex", ":10010000000102030405060708090A0B0C0D0E0F77\n"
                                            ":00000001FF\n");
    std::string big(0x8010, '\x5A');
    WriteWholeFile(folder / "big.bin", big);
    WriteWholeFile(folder / "text.prj", "not a project\n");
    WriteWholeFile(folder / "other.hex",
                   ":10010000F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF77\n:00000001FF\n");
    ASSERT_EQ(Run("program " + File("firmware.hex")).exitCode, 0);
    const struct {
        std::string arguments;
        int exitCode;
        std::string error; // a part of stderr
    } cases[] = {
        {"write-flash --sim-fault stuck-busy " + File("other.hex"), 1,
         "Write failed at 00000100 !"},
        {"write-eeprom --sim-fault stuck-busy " + File("firmware.hex"), 1,
         "Write failed at 00000100 !"},
        {"--fixed-waits write-eeprom --sim-fault stuck-busy " + File("firmware.hex"), 1,
         "Verify failed at 00000100 !"},
        {"erase --sim-fault remove-after=30", 1, "Init failed"},
        // A bit error in the first echo leaves the target a byte out of step: it answers
        // with a signature no part has.
        {"detect --sim-fault bit-error=3", 1, "is not in zelk.ini"},
        {"--fixed-waits erase --sim-fault stuck-busy", 1, "Blankcheck failed at 00000100 !"},
        {"blank-check --sim-fault remove-after=500", 1, "The target stopped answering"},
        {"read-flash --sim-fault remove-after=2000 " + File("out.hex"), 1,
         "The target stopped answering: signature FFFFFF at the end."},
        {"write-flash " + File("big.bin"), 1,
         "big.bin holds data at 00008000, beyond the ATmega328P's 32768 bytes."},
        {"autoprogram " + File("text.prj"), 1, "has no [zelk Project] section"},
        {"write-flash " + File("other.hex"), 1,
         "The flash may not have been erased before the write."},
        {"read-flash " + File("out.txt"), 2, "unknown file type"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CliRun run = Run(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.errors;
        EXPECT_NE(run.errors.find(c.error), std::string::npos) << run.errors;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "out.hex")) << "a failed read saves nothing";
    const CliRun other = Run("detect", "sim:ATmega8");
    EXPECT_EQ(other.exitCode, 2) << "a state file of another chip";
    EXPECT_NE(other.errors.find("not ATmega8"), std::string::npos) << other.errors;
    const CliRun missing = Run("detect", "sim:ATmega328P", "missing/chip.bin");
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.errors.find("does not exist"), std::string::npos) << missing.errors;
    const CliRun verify = Run("verify-flash " + File("firmware.hex"));
    EXPECT_EQ(verify.exitCode, 0) << "no fault changed the chip: " << verify.errors;
}

TEST_F(CliTarget, LockAndFuseWritesAreReadBackAcrossRuns) {
    EXPECT_EQ(Run("write-lock FC").exitCode, 0);
    const CliRun lock = Run("read-lock");
    EXPECT_EQ(lock.output, "FC\n");
    const CliRun guarded = Run("write-fuses E2 D9 FD");
    EXPECT_EQ(guarded.exitCode, 1) << "CKDIV8 changes the clock";
    EXPECT_NE(guarded.errors.find("Changing CKDIV8"), std::string::npos) << guarded.errors;
    EXPECT_EQ(Run("read-fuses").output, "62 D9 FF\n") << "nothing was written";
    EXPECT_EQ(Run("write-fuses --force E2 D9 FD").exitCode, 0);
    EXPECT_EQ(Run("read-fuses").output, "E2 D9 FD\n");
    const CliRun stuck = Run("write-lock --sim-fault stuck-busy C0");
    EXPECT_EQ(stuck.exitCode, 1);
    EXPECT_NE(stuck.errors.find("the chip stayed busy"), std::string::npos) << stuck.errors;
}

TEST_F(CliTarget, JsonProgressEndsWithTheOutcome) {
    const CliRun run = Run("--progress json read-eeprom " + File("e.hex"));
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.errors.find("{\"operation\":\"Reading EEPROM\",\"percent\":100}"),
              std::string::npos)
        << run.errors;
    const std::string last = run.errors.substr(run.errors.rfind('{'));
    EXPECT_TRUE(last.starts_with("{\"result\":\"done\",\"command\":\"read-eeprom\",\"exit\":0,"
                                 "\"bytes\":1024,"))
        << last;
    EXPECT_EQ(Run("-q detect").errors, "") << "quiet";
}

TEST_F(CliTarget, SerialNumberTakesItsSettingsAndSaysWhatItWrote) {
    CliRun run = Run("serial-number --start 41 --length 4 --location 16");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.output, "Serial number 0041 written at 00000010; next 42\n");
    run = Run("serial-number --length 1");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.errors.find("Serial number 42 does not fit in 1 digits."), std::string::npos)
        << run.errors;
    EXPECT_EQ(Run("serial-number").output, "Serial number 0042 written at 00000010; next 43\n");
}

// Ctrl-C in the middle of a write: the run stops at the next page, saves the chip and says so.
TEST_F(CliTarget, SigintCancelsAndExits130) {
    std::string image(0x8000, '\x11');
    WriteWholeFile(folder / "full.bin", image);
    const std::string command =
        "XDG_CONFIG_HOME=" + Quote(folder.Path()) + " exec " +
        Quote(std::filesystem::path(ZELK_BIN_DIR) / "zelk-cli") +
        " --port sim:ATmega328P --sim-time real --fixed-waits --sim-state " +
        Quote(folder / "chip.bin") + " write-flash " + File("full.bin") + " 2>" +
        Quote(folder / "stderr.txt") + " & sleep 0.5; kill -INT $!; wait $!";
    const int status = std::system(("sh -c " + Quote(command)).c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    const std::string errors = ReadWholeFile(folder / "stderr.txt");
    EXPECT_NE(errors.find("Cancelled"), std::string::npos) << errors;
    EXPECT_TRUE(std::filesystem::exists(folder / "chip.bin")) << "the chip was saved";
}

} // namespace
} // namespace zelk
