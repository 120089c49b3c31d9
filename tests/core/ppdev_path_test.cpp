// SPDX-License-Identifier: GPL-3.0-or-later
// The parallel-port path a user's port runs, proven without a port: zelk-cli's ppdev backend,
// its claim and release and its register ioctls, against the stand-in for the kernel's ppdev
// (tests/ppdev_standin), behind which sits the simulated cable and chip. Every exit path must
// end with the port released and the drivers off, and no failure may fall back to direct port
// I/O.
#include "cli_run.h"
#include "engine/cables.h"
#include "engine/connection.h"
#include "engine/memory_commands.h"
#include "platform/hardware_port.h"
#include "recording_target_ui.h"
#include "scratch_folder.h"
#include "sim/counting_port.h"
#include "sim/simulated_port.h"
#include "sim_target_fixture.h"
#include "station/stored_connection.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace zelk {
namespace {

using testing::CliRun;
using testing::Quote;
using testing::ReadWholeFile;
using testing::WriteWholeFile;

class PpdevPath : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef ZELK_STANDIN_LIB
        GTEST_SKIP() << "the stand-in cannot be preloaded into a sanitized build";
#endif
        // The kernel's list: parport0 at 0x378, as LPT1.
        std::filesystem::create_directories(folder / "proc" / "parport0");
        WriteWholeFile(folder / "proc" / "parport0" / "base-addr", "888\t1912\n");
    }

    std::string Environment(int cable, const std::string& fault = "",
                            const std::string& simFault = "") const {
#ifdef ZELK_STANDIN_LIB
        const std::string library = ZELK_STANDIN_LIB;
#else
        const std::string library;
#endif
        return "LD_PRELOAD=" + Quote(library) + " ZELK_STANDIN_DEVICE=/dev/parport0" +
               " ZELK_STANDIN_PROC=" + Quote(folder / "proc") +
               " ZELK_STANDIN_INI=" + Quote(std::filesystem::path(ZELK_BIN_DIR) / "zelk.ini") +
               " ZELK_STANDIN_CHIP=ATmega328P ZELK_STANDIN_STATE=" + Quote(folder / "chip.bin") +
               " ZELK_STANDIN_CABLE=" + std::to_string(cable) + " ZELK_STANDIN_FAULT=" + fault +
               " ZELK_STANDIN_SIM_FAULT=" + simFault +
               " ZELK_STANDIN_RECORD=" + Quote(folder / "record.txt") +
               " XDG_CONFIG_HOME=" + Quote(folder.Path());
    }

    // zelk-cli on LPT1 with the given cable, through the stand-in.
    CliRun Run(const std::string& arguments, int cable, const std::string& fault = "") {
        std::filesystem::remove(folder / "record.txt");
        return testing::RunCli(folder, "--port lpt1 " + arguments, "", Environment(cable, fault));
    }

    // The chip as the simulator keeps it, read without the stand-in.
    CliRun OnTheChip(const std::string& arguments) {
        return testing::RunCli(folder, "--port sim:ATmega328P --sim-state " +
                                           Quote(folder / "chip.bin") + " " + arguments);
    }

    std::vector<std::string> Record() const {
        std::vector<std::string> lines;
        std::string text = ReadWholeFile(folder / "record.txt");
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find('\n', at);
            lines.push_back(text.substr(at, end - at));
            at = end == std::string::npos ? text.size() : end + 1;
        }
        return lines;
    }

    // The port was claimed, released and closed with reset high and the drivers off.
    void ExpectLetGo(const CableInfo& cable) const {
        const std::vector<std::string> events = Record();
        ASSERT_FALSE(events.empty());
        const std::string& last = events.back();
        EXPECT_TRUE(last.starts_with("close ") && last.ends_with(" released")) << last;
        const auto data = std::stoul(last.substr(last.find("data=") + 5, 2), nullptr, 16);
        const auto control = std::stoul(last.substr(last.find("control=") + 8, 2), nullptr, 16);
        const unsigned long resets = cable.pins.reset | cable.pins.reset2;
        EXPECT_EQ(data & resets, resets) << "reset released: " << last;
        if (cable.drivers == DriverSwitch::DataBitsLow) {
            EXPECT_EQ(data & cable.driverBits, cable.driverBits) << "drivers off: " << last;
        } else if (cable.drivers == DriverSwitch::ControlRegister) {
            EXPECT_EQ(control & 0x0Fu, cable.controlOff & 0x0Fu) << "drivers off: " << last;
        }
        for (const std::string& event : events) {
            EXPECT_NE(event, "ioperm") << "no fall-back to direct port I/O";
            EXPECT_NE(event, "register access without a claim");
            EXPECT_FALSE(event.starts_with("control bits beyond")) << event;
        }
    }

    testing::ScratchFolder folder;
};

// Every command of the hardware path on each cable: the chip afterwards holds what was
// written, and the port is let go after each command.
TEST_F(PpdevPath, EveryCableProgramsTheChipThroughPpdev) {
    WriteWholeFile(folder / "fw.hex", ":1000000000112233445566778899AABBCCDDEEFFF8\n:00000001FF\n");
    for (const CableInfo& cable : Cables()) {
        if (cable.type == CableNone || cable.medium != CableMedium::ParallelPort) {
            continue;
        }
        SCOPED_TRACE(cable.name);
        std::filesystem::remove(folder / "chip.bin");
        const std::string choice = "--cable " + std::string(cable.cliName) + " ";
        const struct {
            std::string arguments;
            std::string output; // empty: any
        } steps[] = {
            {"detect", "ATmega328P 1E950F\n"},
            {"write-flash --erase " + Quote(folder / "fw.hex"), "Verify successfull\n"},
            {"verify-flash " + Quote(folder / "fw.hex"), "Verify successfull\n"},
            {"read-flash --format hex -", ""},
            {"write-fuses 62 D1 FF", ""},
            {"read-fuses", "62 D1 FF\n"},
            {"write-lock FE", ""},
            {"read-lock", "FE\n"},
        };
        for (const auto& step : steps) {
            SCOPED_TRACE(step.arguments);
            const CliRun run = Run(choice + step.arguments, cable.type);
            ASSERT_EQ(run.exitCode, 0) << run.errors;
            if (!step.output.empty()) {
                EXPECT_EQ(run.output, step.output);
            }
            ExpectLetGo(cable);
        }
        EXPECT_EQ(OnTheChip("verify-flash " + Quote(folder / "fw.hex")).exitCode, 0);
        EXPECT_EQ(OnTheChip("read-fuses").output, "62 D1 FF\n");
    }
}

// Each error the kernel can give is said in words a user can act on, with exit status 1 and
// without a fall-back to direct port I/O; a port another program holds is given up in 2 s.
TEST_F(PpdevPath, KernelErrorsAreToldAndNeverFallBackToDirectIo) {
    const CableInfo& kestan = *FindCable(CableKestan);
    const struct {
        const char* fault;
        const char* says;
    } cases[] = {
        {"missing", "load the ppdev module"},
        {"nodev", "load the ppdev module"},
        {"denied", "add yourself to the lp group"},
        {"busy", "the port is used by another program"},
        {"interrupted", "the claim of the port was interrupted"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        const auto started = std::chrono::steady_clock::now();
        const CliRun run = Run("detect", kestan.type, c.fault);
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.errors.find("/dev/parport0"), std::string::npos) << run.errors;
        EXPECT_NE(run.errors.find(c.says), std::string::npos) << run.errors;
        EXPECT_LT(took, std::chrono::seconds(5)) << "never blocks";
        for (const std::string& event : Record()) {
            EXPECT_NE(event, "ioperm") << "no fall-back to direct port I/O";
        }
    }
}

// A command that fails, and one cancelled by Ctrl-C or SIGTERM, let the port go as one that
// succeeded does.
TEST_F(PpdevPath, EveryExitPathReleasesThePort) {
    const CableInfo& stk200 = *FindCable(CableStk200);
    const CliRun nothing = testing::RunCli(folder, "--port lpt1 --cable stk200 detect", "",
                                           Environment(stk200.type, "", "no-echo=32"));
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_NE(nothing.errors.find("Init failed"), std::string::npos) << nothing.errors;
    ExpectLetGo(stk200);

    WriteWholeFile(folder / "full.bin", std::string(0x8000, '\x11'));
    for (const auto& [signal, status] : {std::pair{"INT", 130}, std::pair{"TERM", 143}}) {
        SCOPED_TRACE(signal);
        std::filesystem::remove(folder / "record.txt");
        const std::string command = Environment(stk200.type) + " exec " +
                                    Quote(std::filesystem::path(ZELK_BIN_DIR) / "zelk-cli") +
                                    " --port lpt1 --cable stk200 write-flash --erase " +
                                    Quote(folder / "full.bin") + " 2>/dev/null & sleep 1; kill -" +
                                    signal + " $!; wait $!";
        const int exit = std::system(("sh -c " + Quote(command)).c_str());
        ASSERT_TRUE(WIFEXITED(exit));
        EXPECT_EQ(WEXITSTATUS(exit), status);
        ExpectLetGo(stk200);
    }
}

// Each port access of the engine is one ioctl: the port is claimed and set up once, and then
// only the data and control registers are written and the status read. The same read on the
// same simulated chip, counted at the port in this process, gives the numbers to match.
TEST_F(PpdevPath, EachPortAccessIsOneIoctl) {
    const CliRun run = Run("--cable kestan read-flash --format hex -", CableKestan);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    std::vector<std::string> ioctls;
    int claims = 0;
    for (const std::string& event : Record()) {
        claims += event == "claim" ? 1 : 0;
        if (event.starts_with("ioctls ")) {
            ioctls.push_back(event);
        }
    }
    EXPECT_EQ(claims, 1) << "claimed once for the whole command";
    ASSERT_EQ(ioctls.size(), 1u);

    SimConfig config;
    config.device = SimDeviceOf(ReadDeviceSection(test::ShippedIni(), "ATmega328P"));
    config.cableType = CableKestan;
    PortAccessCounts counts;
    Programmer programmer(
        [&](std::string& reason) -> std::unique_ptr<PortIo> {
            return std::make_unique<CountingPort>(MakeSimulatedPort(config, reason), counts);
        },
        CableKestan, test::ShippedIni());
    TargetImages images;
    test::RecordingTargetUi ui;
    ASSERT_TRUE(ReadFlash(programmer, images, ui)) << ui.LastMessage();
    EXPECT_EQ(ioctls[0], "ioctls wdata=" + std::to_string(counts.dataWrites) +
                             " wcontrol=" + std::to_string(counts.controlWrites) + " rstatus=" +
                             std::to_string(counts.reads) + " rdata=0 rcontrol=0 datadir=0");
}

// Which backend a port name reaches: a port the kernel lists only through ppdev, direct port
// I/O only for one it does not list.
TEST(PortChoice, APortTheKernelListsIsReachedThroughPpdevAlone) {
    testing::ScratchFolder proc;
    std::filesystem::create_directories(proc / "parport0");
    WriteWholeFile(proc / "parport0" / "base-addr", "888\n");
    std::filesystem::create_directories(proc / "parport3");
    WriteWholeFile(proc / "parport3" / "base-addr", "956\n");
    const struct {
        std::string name;
        PortKind kind;
        std::filesystem::path procDir;
        PortPlan::Backend backend;
        std::string device;
    } cases[] = {
        {"lpt1", PortKind::Lpt, proc.Path(), PortPlan::Backend::Ppdev, "/dev/parport0"},
        {"lpt3", PortKind::Lpt, proc.Path(), PortPlan::Backend::Ppdev, "/dev/parport3"},
        {"lpt2", PortKind::Lpt, proc.Path(), PortPlan::Backend::Direct, ""},
        {"lpt1", PortKind::Lpt, proc / "no-parport-module", PortPlan::Backend::Direct, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + " with " + c.procDir.string());
        ConnectionSettings settings;
        std::string error;
        ASSERT_TRUE(ApplyPortName(c.name, settings, error)) << error;
        ASSERT_EQ(settings.port, c.kind);
        const PortPlan plan = PlanHardwarePort(PortBaseAddress(settings.lptIndex), c.procDir);
        EXPECT_EQ(plan.backend, c.backend);
        EXPECT_EQ(plan.device, c.device);
    }
    ConnectionSettings named;
    std::string error;
    ASSERT_TRUE(ApplyPortName("/dev/parport7", named, error));
    EXPECT_EQ(named.port, PortKind::Parport) << "a device path is ppdev, whatever the kernel lists";
    EXPECT_EQ(named.parportPath, "/dev/parport7");
}

} // namespace
} // namespace zelk
