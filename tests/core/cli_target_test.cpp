// SPDX-License-Identifier: GPL-3.0-or-later
// zelk-cli's target commands against the simulated target, run as separate processes that
// share the chip through a state file.
#include "cli_run.h"
#include "engine/command_support.h"
#include "scratch_folder.h"
#include "sim/chip_state.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <numeric>
#include <set>
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

// Every line on stderr is one JSON object, failures and notes included, and the last one tells
// the outcome.
TEST_F(CliTarget, JsonProgressIsOneObjectALineEndingWithTheOutcome) {
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

    WriteWholeFile(folder / "app.hex", ":0400000001020304F2\n:00000001FF\n");
    const CliRun failed = Run("--progress json --device ATmega168 write-flash " + File("app.hex"));
    EXPECT_EQ(failed.exitCode, 1);
    std::size_t lines = 0;
    for (std::size_t at = 0; at < failed.errors.size(); ++lines) {
        const std::size_t end = failed.errors.find('\n', at);
        const std::string line = failed.errors.substr(at, end - at);
        EXPECT_TRUE(line.starts_with("{") && line.ends_with("}")) << line;
        at = end == std::string::npos ? failed.errors.size() : end + 1;
    }
    EXPECT_GT(lines, 1u);
    EXPECT_NE(failed.errors.find("{\"message\":\"The chip on the cable is an ATmega328P, not the "
                                 "ATmega168 that --device names.\",\"level\":\"error\"}"),
              std::string::npos)
        << failed.errors;
    EXPECT_NE(failed.errors.find("\"result\":\"failed\""), std::string::npos);
    EXPECT_NE(failed.errors.find("\"message\":\"The chip on the cable is an ATmega328P"),
              failed.errors.rfind("{\"message\""))
        << "the summary carries the message too";
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

// A signal in the middle of a write: the run stops at the next page, saves the chip as it
// now is (part written, never the state before the run) and exits 128 + the signal.
TEST_F(CliTarget, EachCancelSignalStopsTheRunAndSavesTheChip) {
    std::string image(0x8000, '\x11');
    WriteWholeFile(folder / "full.bin", image);
    for (const auto& [signal, status] : {std::pair{"INT", 130}, std::pair{"TERM", 143},
                                         std::pair{"HUP", 129}, std::pair{"QUIT", 131}}) {
        SCOPED_TRACE(signal);
        std::filesystem::remove(folder / "chip.bin");
        const std::string command =
            "XDG_CONFIG_HOME=" + Quote(folder.Path()) + " exec " +
            Quote(std::filesystem::path(ZELK_BIN_DIR) / "zelk-cli") +
            " --port sim:ATmega328P --sim-time real --fixed-waits --sim-state " +
            Quote(folder / "chip.bin") + " write-flash " + File("full.bin") + " 2>" +
            Quote(folder / "stderr.txt") + " & sleep 0.5; kill -" + signal + " $!; wait $!";
        const int exit = std::system(("sh -c " + Quote(command)).c_str());
        ASSERT_TRUE(WIFEXITED(exit));
        EXPECT_EQ(WEXITSTATUS(exit), status);
        const std::string errors = ReadWholeFile(folder / "stderr.txt");
        EXPECT_NE(errors.find("Cancelled"), std::string::npos) << errors;
        EXPECT_NE(errors.find(std::string("cancelled by SIG") + signal), std::string::npos)
            << errors;
        const CliRun read = Run("read-flash " + File("now.bin"));
        ASSERT_EQ(read.exitCode, 0) << read.errors;
        const std::string now = ReadWholeFile(folder / "now.bin");
        EXPECT_EQ(now[0], '\x11') << "the pages written before the signal were saved";
        EXPECT_EQ(now.back(), '\xFF') << "and the write stopped";
    }
}

// A closed standard stream takes no file's number, and output that cannot be written fails
// the command.
TEST_F(CliTarget, ClosedStandardOutputFailsTheCommandNotTheChip) {
    const std::string cli = Quote(std::filesystem::path(ZELK_BIN_DIR) / "zelk-cli") +
                            " --port sim:ATmega328P --sim-state " + Quote(folder / "chip.bin");
    const auto run = [&](const std::string& arguments) {
        const int status = std::system(("XDG_CONFIG_HOME=" + Quote(folder.Path()) + " " + cli +
                                        " " + arguments + " 2>" + Quote(folder / "err.txt"))
                                           .c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("detect >&-"), 1);
    EXPECT_NE(ReadWholeFile(folder / "err.txt").find("cannot write to standard output"),
              std::string::npos);
    EXPECT_EQ(run("read-eeprom --format hex - >&-"), 1);
    EXPECT_EQ(run("detect <&- >/dev/null"), 0) << "a closed input harms no command";
    // A reader that went away: SIGPIPE cancels the command like any other signal.
    EXPECT_EQ(std::system(("{ XDG_CONFIG_HOME=" + Quote(folder.Path()) + " " + cli +
                           " read-flash --format bin - 2>/dev/null; echo $? >" +
                           Quote(folder / "status.txt") + "; } | true")
                              .c_str()),
              0);
    EXPECT_EQ(ReadWholeFile(folder / "status.txt"), "141\n");
    EXPECT_EQ(run("write-eeprom --no-verify " + Quote(folder / "none.hex") + " 2>&-"), 1);
    EXPECT_EQ(
        run("verify-flash --sim-fault stuck-busy " + Quote(folder / "none.hex") + " >&- 2>&-"), 1);
}

// Zelk's own files are never an output: a read into the simulator's state file would lose
// the chip, one into the settings file the serial number.
TEST_F(CliTarget, OutputsNeverReplaceZelksOwnFiles) {
    ASSERT_EQ(Run("erase").exitCode, 0);
    std::filesystem::create_directories(folder / "Brasswick");
    WriteWholeFile(folder / "Brasswick" / "zelk.conf", "[Preferences]\r\nSerialNumber=5\r\n");
    std::filesystem::create_symlink(folder / "chip.bin", folder / "alias.bin");
    const std::string chip = ReadWholeFile(folder / "chip.bin");
    const struct {
        std::string arguments;
        const char* what;
    } cases[] = {
        {"read-flash " + File("chip.bin"), "the simulator's state file"},
        {"read-flash " + File("alias.bin"), "the simulator's state file"},
        {"read-eeprom --format bin " + File(".chip.bin.lock"),
         "the lock file of the simulator's state file"},
        {"read-flash --format bin " + Quote(folder / "Brasswick" / "zelk.conf"),
         "zelk's settings file"},
        {"convert " + File("fw.hex") + " --output-format bin " + File("chip.bin"),
         "the simulator's state file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CliRun run = Run(c.arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.errors.find(std::string("is ") + c.what + "; choose another output file"),
                  std::string::npos)
            << run.errors;
    }
    EXPECT_EQ(ReadWholeFile(folder / "chip.bin"), chip);
    EXPECT_EQ(ReadWholeFile(folder / "Brasswick" / "zelk.conf"),
              "[Preferences]\r\nSerialNumber=5\r\n");
}

// Eight stations numbering eight boards at once: eight numbers, none twice, and the stored
// number counted on by eight.
TEST_F(CliTarget, SerialNumbersStayUniqueAcrossRunsAtTheSameTime) {
    ASSERT_EQ(
        Run("serial-number --start 100 --length 4 --location 0", "sim:ATmega328P", "board0.bin")
            .exitCode,
        0);
    std::string command;
    for (int board = 1; board <= 8; ++board) {
        command += "XDG_CONFIG_HOME=" + Quote(folder.Path()) + " " +
                   Quote(std::filesystem::path(ZELK_BIN_DIR) / "zelk-cli") +
                   " -q --port sim:ATmega328P --sim-state " +
                   Quote(folder / ("board" + std::to_string(board) + ".bin")) +
                   " serial-number >/dev/null 2>&1 & ";
    }
    ASSERT_EQ(std::system(("sh -c " + Quote(command + "wait")).c_str()), 0);
    std::set<std::string> numbers;
    for (int board = 1; board <= 8; ++board) {
        const CliRun read = Run("read-eeprom --format bin -", "sim:ATmega328P",
                                "board" + std::to_string(board) + ".bin");
        ASSERT_EQ(read.exitCode, 0) << read.errors;
        numbers.insert(read.output.substr(0, 4));
    }
    EXPECT_EQ(numbers, (std::set<std::string>{"0101", "0102", "0103", "0104", "0105", "0106",
                                              "0107", "0108"}));
    EXPECT_NE(ReadWholeFile(folder / "Brasswick" / "zelk.conf").find("SerialNumber=109"),
              std::string::npos);
}

const std::filesystem::path AvrApp = std::filesystem::path(ZELK_TEST_DATA_DIR) / "avr_app.elf";

// The chip on the cable must be the one the command line or the file names; the ELF file's
// EEPROM goes with its flash, its fuses and lock byte are named and left alone.
TEST_F(CliTarget, TheRightChipAndAllOfAnElfFile) {
    const std::string app = Quote(AvrApp);
    const struct {
        std::string arguments;
        std::string port;
        int exitCode;
        std::string error; // a part of stderr
    } cases[] = {
        {"program " + app, "sim:ATmega168", 1,
         "The chip on the cable is an ATmega168, not the atmega328p that " + AvrApp.string() +
             " was built for (give --force to use it all the same)."},
        {"--device ATmega168 erase", "sim:ATmega328P", 1,
         "The chip on the cable is an ATmega328P, not the ATmega168 that --device names."},
        {"--device ATmega999 detect", "sim:ATmega328P", 2, "lists no such device"},
        {"program " + app, "sim:ATmega328P", 0,
         "holds fuse bytes E2 D9 FF; write them with write-fuses"},
        {"program --force " + app, "sim:ATmega168", 0,
         "holds lock byte FC; write it with "
         "write-lock"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments + " on " + c.port);
        const CliRun run = Run(c.arguments, c.port, c.port.substr(4) + ".bin");
        EXPECT_EQ(run.exitCode, c.exitCode) << run.errors;
        EXPECT_NE(run.errors.find(c.error), std::string::npos) << run.errors;
    }
    const std::string chip = "ATmega328P.bin";
    const CliRun eeprom = Run("read-eeprom --format bin -", "sim:ATmega328P", chip);
    EXPECT_EQ(eeprom.output.substr(0, 4), "\xE1\xE2\xE3\xFF") << "the ELF's EEPROM was written";
    EXPECT_EQ(Run("read-fuses", "sim:ATmega328P", chip).output, "62 D9 FF\n")
        << "the ELF's fuses were not";
    EXPECT_EQ(Run("read-lock", "sim:ATmega328P", chip).output, "FF\n");
    EXPECT_EQ(Run("verify-flash --force " + app, "sim:ATmega168", "ATmega168.bin").exitCode, 0)
        << "the forced program is on the chip";
}

// Locked chips: a read-protected ATmega is refused, not read as its protection pattern; a
// locked AT90S is named as one and unlocked by erase; a lock write the part cannot show is
// unconfirmed (exit 3), never plain done.
TEST_F(CliTarget, LockedChipsAreToldApartAndLockWritesConfirmed) {
    const struct {
        std::string arguments;
        std::string port;
        int exitCode;
        std::string error; // a part of stderr, or of stdout when it is empty
    } cases[] = {
        {"write-lock FC", "sim:ATmega328P", 0, ""},
        {"read-flash " + File("out.hex"), "sim:ATmega328P", 1,
         "The chip is read-protected (lock byte FC): its memories cannot be read; erase it to "
         "unlock."},
        {"read-eeprom " + File("out.hex"), "sim:ATmega328P", 1, "read-protected"},
        {"write-lock FB", "sim:AT90S2313", 3,
         "Lock byte FB written; this part cannot read its lock bits back, so the write is not "
         "confirmed."},
        {"write-lock F9", "sim:AT90S2313", 0, ""},
        {"read-flash " + File("out.hex"), "sim:AT90S2313", 1, LockedChipMessage},
        {"detect", "sim:AT90S2313", 1, LockedChipMessage},
        {"erase", "sim:AT90S2313", 0, ""},
        {"detect", "sim:AT90S2313", 0, ""},
        {"erase", "sim:ATmega328P", 0, ""},
        {"read-flash " + File("out.hex"), "sim:ATmega328P", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments + " on " + c.port);
        const CliRun run = Run(c.arguments, c.port, c.port.substr(4) + ".bin");
        EXPECT_EQ(run.exitCode, c.exitCode) << run.errors;
        EXPECT_NE(run.errors.find(c.error), std::string::npos) << run.errors;
    }
}

// zelk-cli's autoprogram keeps the same production record as the GUI: the count and one line
// in production.log, PASS only for a run that programmed and verified.
TEST_F(CliTarget, AutoprogramKeepsTheProductionRecord) {
    const std::filesystem::path state = folder / "state";
    // A name longer than 255 characters was cut, and a stale file at the cut name programmed.
    const std::string folders = "d" + std::string(59, 'a') + "/d" + std::string(59, 'b') + "/d" +
                                std::string(59, 'c') + "/d" + std::string(59, 'e') + "/";
    const std::string longName = folders + std::string(50, 'f') + ".hex";
    std::filesystem::create_directories(folder / folders);
    WriteWholeFile(folder / longName, ":0400000001020304F2\n:00000001FF\n");
    WriteWholeFile(folder / longName.substr(0, 255), ":04000000AABBCCDDEE\n:00000001FF\n");
    WriteWholeFile(folder / "board.prj", "[zelk Project]\r\nFlashFile=" + longName + "\r\n");
    WriteWholeFile(folder / "empty.hex", ":00000001FF\n");
    WriteWholeFile(folder / "empty.prj", "[zelk Project]\r\nFlashFile=empty.hex\r\n");
    const std::string env =
        "XDG_CONFIG_HOME=" + Quote(folder.Path()) + " XDG_STATE_HOME=" + Quote(state);
    const auto autoprogram = [&](const char* project) {
        return testing::RunCli(folder,
                               "--port sim:ATmega328P --sim-state " + Quote(folder / "chip.bin") +
                                   " autoprogram " + File(project),
                               "", env);
    };
    const CliRun passed = autoprogram("board.prj");
    EXPECT_EQ(passed.exitCode, 0) << passed.errors;
    EXPECT_EQ(passed.output, "AutoProgram passed on ATmega328P: Keep EEProm, Reload Flash File, "
                             "Erase Device, Program Flash, Verify Flash, Program EEProm, Verify "
                             "EEProm.\n");
    EXPECT_EQ(Run("verify-flash " + Quote(folder / longName)).exitCode, 0);
    // A run refused before it reached a board is no board's: not counted, not logged.
    const CliRun refused = autoprogram("empty.prj");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.errors.find("holds no"), std::string::npos) << refused.errors;
    const CliRun failed =
        testing::RunCli(folder,
                        "--port sim:ATmega328P --sim-fault stuck-busy --sim-state " +
                            Quote(folder / "chip.bin") + " autoprogram " + File("board.prj"),
                        "", env);
    EXPECT_EQ(failed.exitCode, 1);

    const std::string log = ReadWholeFile(state / "zelk" / "production.log");
    const std::size_t firstEnd = log.find('\n');
    ASSERT_NE(firstEnd, std::string::npos) << log;
    const std::string first = log.substr(0, firstEnd);
    EXPECT_NE(first.find("\tAutoProgram\tdevice=ATmega328P\tsignature=1E950F\tserial=\tfile=" +
                         (folder / longName).string() + " sha256="),
              std::string::npos)
        << first;
    EXPECT_NE(first.find("\tresult=PASS\t"), std::string::npos) << first;
    EXPECT_NE(log.find("\tresult=FAIL\tAutoProgram FAILED at Erasing", firstEnd), std::string::npos)
        << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_NE(ReadWholeFile(folder / "Brasswick" / "zelk.conf").find("Passed=1\r\nFailed=1"),
              std::string::npos);

    // A FIFO in the log's place is refused at once, never waited on.
    std::filesystem::remove(state / "zelk" / "production.log");
    ASSERT_EQ(::mkfifo((state / "zelk" / "production.log").c_str(), 0600), 0);
    const CliRun fifo = autoprogram("board.prj");
    EXPECT_EQ(fifo.exitCode, 1);
    EXPECT_NE(fifo.errors.find("production.log: not a regular file"), std::string::npos)
        << fifo.errors;
}

} // namespace
} // namespace zelk
