// The simulated cable's loop-back wires, the faults, and the chip's state file.
#include "scratch_folder.h"
#include "sim/simulated_port.h"
#include "sim_bit_banger.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zelk {
namespace {

using test::SimBitBanger;

DeviceEntry Part() {
    DeviceEntry d;
    d.name = "Part";
    d.signature = 0x1E9307;
    d.programSize = 8192;
    d.dataSize = 512;
    d.algorithm = 3;
    d.pageSize = 64;
    d.fuses = "abcdefgh";
    d.fusesHi = "abcdefgh";
    return d;
}

std::unique_ptr<SimulatedPort> MakePort(int cable, const SimFaults& faults = {}) {
    SimConfig config;
    config.device = Part();
    config.cableType = cable;
    config.faults = faults;
    return MakeSimulatedPort(config);
}

// The three loop-back probes a host makes, each as status bits read as the register shows
// them, in the order: ERROR with D3 low and high, ACK with D5 low and high, PAPER END with D0
// low and high. Returns the cable they identify (4 when none of the wires is there).
int ProbeCable(PortIo& port) {
    SimBitBanger host(port, CableStk200);
    host.SetData(0x08, false);
    if (!host.StatusBit(0x08)) {
        host.SetData(0x08, true);
        if (host.StatusBit(0x08)) {
            return CableKestan;
        }
    }
    host.SetData(0x20, false);
    if (!host.StatusBit(0x40)) {
        host.SetData(0x20, true);
        if (host.StatusBit(0x40)) {
            return CableAltera;
        }
    }
    host.SetData(0x01, false);
    if (host.StatusBit(0x20)) {
        return CableSp12;
    }
    host.SetData(0x01, true);
    return host.StatusBit(0x20) ? CableStk200 : CableSp12;
}

TEST(SimulatedPort, EachCableAnswersTheLoopBackProbesAsItsWiresDo) {
    struct Case {
        const char* what;
        int cable;
        SimFaults faults;
        int detected;
    };
    SimFaults nothing;
    nothing.noneConnected = true;
    SimFaults stk200Attached;
    stk200Attached.wrongCable = CableStk200;
    const std::vector<Case> cases = {
        {"Kestan's Original: D3 to ERROR", CableKestan, {}, CableKestan},
        {"Altera: D5 to ACK", CableAltera, {}, CableAltera},
        {"STK200: D0 to PAPER END", CableStk200, {}, CableStk200},
        {"SP12 has no loop-back", CableSp12, {}, CableSp12},
        {"USB has no loop-back", CableUsb, {}, CableSp12},
        {"nothing connected", CableKestan, nothing, CableSp12},
        {"an STK200 where Kestan's Original was configured", CableKestan, stk200Attached,
         CableStk200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto port = MakePort(c.cable, c.faults);
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(ProbeCable(*port), c.detected);
    }
}

TEST(SimulatedPort, NothingConnectedReadsIdleAndNeverAnswers) {
    SimFaults faults;
    faults.noneConnected = true;
    auto port = MakePort(CableKestan, faults);
    SimBitBanger host(*port, CableKestan);
    EXPECT_EQ(host.EnterProgrammingMode(), 0);
    EXPECT_EQ(port->Read(PortRegister::Status), IdleStatus);
    EXPECT_EQ(host.Read(0x30, 0, 1), 0xFF);
}

TEST(SimulatedPort, DataLinesTurnedToInputsLeaveTheAlteraLoopBackFloating) {
    // Control bit 5 makes the data lines inputs: nothing drives D5, the cable's pull-up
    // holds it high, and the loop-back no longer follows the data register.
    auto port = MakePort(CableAltera);
    port->Write(PortRegister::Control, 0xFD);
    EXPECT_EQ(ProbeCable(*port), CableSp12);
    port->Write(PortRegister::Control, 0xDD);
    EXPECT_EQ(ProbeCable(*port), CableAltera);
}

TEST(SimulatedPort, NoEchoFaultDelaysTheEchoByThatManyAttempts) {
    for (const auto& [attempts, answeredOn] :
         std::vector<std::pair<int, int>>{{1, 2}, {4, 5}, {31, 32}, {32, 0}, {100, 0}}) {
        SCOPED_TRACE(attempts);
        SimFaults faults;
        faults.noEchoAttempts = attempts;
        auto port = MakePort(CableKestan, faults);
        SimBitBanger host(*port, CableKestan);
        EXPECT_EQ(host.EnterProgrammingMode(), answeredOn);
        if (answeredOn != 0) {
            EXPECT_EQ(host.Read(0x30, 0, 1), 0x93);
            EXPECT_EQ(host.EnterProgrammingMode(), 1) << "only the first entry is affected";
        }
    }
}

TEST(SimulatedPort, StuckBusyNeverFinishesAWrite) {
    DeviceEntry bytePart = Part();
    bytePart.algorithm = 1;
    SimConfig config;
    config.device = bytePart;
    config.faults.stuckBusy = true;
    auto port = MakeSimulatedPort(config);
    SimBitBanger host(*port, CableKestan);
    ASSERT_EQ(host.EnterProgrammingMode(), 1);
    host.WriteFlashByte(7, 0x00);
    host.WriteEeprom(0, 0x12); // lost: the flash byte is still being written
    port->Wait(1000000);
    EXPECT_EQ(host.ReadFlash(7), 0x7F) << "data polling never ends";
    EXPECT_EQ(host.ReadEeprom(0), 0xFF);
    EXPECT_EQ(port->Chip().flash[7], 0xFF);
}

TEST(SimulatedPort, BitErrorFlipsBit0OfTheChosenByte) {
    // Programming Enable sends bytes 1 to 4, the first signature read bytes 5 to 8.
    for (const auto& [at, expected] :
         std::vector<std::pair<std::uint64_t, int>>{{8, 0x1F}, {12, 0x1E}, {16, 0x1E}}) {
        SCOPED_TRACE(at);
        SimFaults faults;
        faults.bitErrorAtByte = at;
        auto port = MakePort(CableKestan, faults);
        SimBitBanger host(*port, CableKestan);
        ASSERT_EQ(host.EnterProgrammingMode(), 1);
        EXPECT_EQ(host.Read(0x30, 0, 0), expected);
        EXPECT_EQ(host.Read(0x30, 0, 1), at == 12 ? 0x92 : 0x93);
    }
}

TEST(SimulatedPort, RemovedTargetStopsAnsweringAfterItsLastByte) {
    SimFaults faults;
    faults.removeAfterBytes = 8;
    auto port = MakePort(CableKestan, faults);
    SimBitBanger host(*port, CableKestan);
    ASSERT_EQ(host.EnterProgrammingMode(), 1);
    EXPECT_EQ(host.Read(0x30, 0, 1), 0x93) << "bytes 5 to 8 still reach the target";
    EXPECT_EQ(host.Read(0x30, 0, 2), 0xFF);
    EXPECT_EQ(host.EnterProgrammingMode(), 0);
}

TEST(SimulatedPort, ParseSimFaultAcceptsEachFormAndRejectsTheRest) {
    SimFaults faults;
    std::string error;
    for (const char* faultText : {"none-connected", "wrong-cable=2", "no-echo=3", "stuck-busy",
                                  "bit-error=1234", "remove-after=5000"}) {
        EXPECT_TRUE(ParseSimFault(faultText, faults, error)) << faultText << ": " << error;
    }
    EXPECT_TRUE(faults.noneConnected);
    EXPECT_EQ(faults.wrongCable, 2);
    EXPECT_EQ(faults.noEchoAttempts, 3);
    EXPECT_TRUE(faults.stuckBusy);
    EXPECT_EQ(faults.bitErrorAtByte, 1234U);
    EXPECT_EQ(faults.removeAfterBytes, 5000U);

    for (const char* faultText :
         {"", "unplugged", "wrong-cable=0", "wrong-cable=6", "no-echo", "no-echo=", "no-echo=x",
          "no-echo=3x", "no-echo=-1", "bit-error=0", "stuck-busy=1",
          "remove-after=99999999999999999999"}) {
        SimFaults untouched;
        error.clear();
        EXPECT_FALSE(ParseSimFault(faultText, untouched, error)) << faultText;
        EXPECT_FALSE(error.empty()) << faultText;
        EXPECT_EQ(untouched.wrongCable, 0) << faultText;
        EXPECT_FALSE(untouched.bitErrorAtByte) << faultText;
        EXPECT_FALSE(untouched.removeAfterBytes) << faultText;
        EXPECT_FALSE(untouched.stuckBusy) << faultText;
    }
}

class SimulatedPortStateFile : public ::testing::Test {
protected:
    SimConfig Config(const DeviceEntry& device) const {
        SimConfig config;
        config.device = device;
        config.stateFile = file;
        return config;
    }

    testing::ScratchFolder folder;
    std::filesystem::path file = folder / "chip.sim";
};

TEST_F(SimulatedPortStateFile, KeepsTheChipBetweenRuns) {
    {
        auto port = MakeSimulatedPort(Config(Part()));
        ASSERT_NE(port, nullptr);
        SimBitBanger host(*port, CableKestan);
        ASSERT_EQ(host.EnterProgrammingMode(), 1);
        host.WriteEeprom(0x1FF, 0x5A);
        port->Wait(8500);
        host.Instruction(0xAC, 0xA8, 0x00, 0xC9);
        port->Wait(4500);
        host.Instruction(0x40, 0x00, 0x00, 0x12);
        host.Instruction(0x4C, 0x0F, 0xE0, 0x00);
        port->Wait(4500);
    }
    auto port = MakeSimulatedPort(Config(Part()));
    ASSERT_NE(port, nullptr);
    const ChipState& chip = port->Chip();
    EXPECT_EQ(chip.eeprom[0x1FF], 0x5A);
    EXPECT_EQ(chip.fuseHigh, 0xC9);
    EXPECT_EQ(chip.fuseLow, 0xE1) << "the data sheet's default stays";
    EXPECT_EQ(chip.flash[0x1FC0], 0x12);
    EXPECT_FALSE(std::filesystem::exists(file.string() + ".tmp"));
}

TEST_F(SimulatedPortStateFile, RefusesAFileThatDoesNotFitTheDevice) {
    {
        auto port = MakeSimulatedPort(Config(Part()));
        ASSERT_NE(port, nullptr);
    }
    const auto size = std::filesystem::file_size(file);
    DeviceEntry bigger = Part();
    bigger.programSize = 16384;
    DeviceEntry other = Part();
    other.signature = 0x1E9406;

    struct Case {
        const char* what;
        DeviceEntry device;
        std::function<void()> damage;
    };
    const std::vector<Case> cases = {
        {"another flash size", bigger, [] {}},
        {"another signature", other, [] {}},
        {"cut short", Part(), [&] { std::filesystem::resize_file(file, size - 1); }},
        {"not a state file", Part(), [&] { std::ofstream(file) << "hello"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.damage();
        const auto before = std::filesystem::file_size(file);
        std::string reason;
        EXPECT_EQ(MakeSimulatedPort(Config(c.device), reason), nullptr);
        EXPECT_NE(reason.find(file.string()), std::string::npos) << reason;
        EXPECT_EQ(std::filesystem::file_size(file), before) << "a refused file is kept";
    }
}

TEST_F(SimulatedPortStateFile, OpenerKeepsOneChipAcrossReopening) {
    SimConfig config = Config(Part());
    config.stateFile.clear();
    PortOpener open = MakeSimulatedPortOpener(config);
    std::string reason;
    {
        auto port = open(0, reason);
        ASSERT_NE(port, nullptr) << reason;
        SimBitBanger host(*port, CableKestan);
        ASSERT_EQ(host.EnterProgrammingMode(), 1);
        host.WriteEeprom(3, 0x33);
        port->Wait(8500);
    }
    auto port = open(2, reason);
    SimBitBanger host(*port, CableKestan);
    ASSERT_EQ(host.EnterProgrammingMode(), 1);
    EXPECT_EQ(host.ReadEeprom(3), 0x33);

    DeviceEntry broken = Part();
    broken.pageSize = 0;
    config.device = broken;
    EXPECT_EQ(MakeSimulatedPortOpener(config)(0, reason), nullptr);
    EXPECT_NE(reason.find("page size"), std::string::npos) << reason;
}

TEST(FindSimDevice, MatchesTheNameWithoutRegardToCase) {
    testing::ScratchFolder folder;
    const std::filesystem::path ini = folder / "devices.ini";
    testing::WriteWholeFile(ini, "[Devices]\n1=AT90S2313\n2=ATmega8\n"
                                 "[AT90S2313]\nSignature=0x9101\nProgramSize=2048\n"
                                 "[ATmega8]\nSignature=0x9307\nProgramSize=8192\n");
    DeviceEntry found;
    std::string error;
    ASSERT_TRUE(FindSimDevice(ini, "atMEGA8", found, error)) << error;
    EXPECT_EQ(found.name, "ATmega8");
    EXPECT_EQ(found.programSize, 8192U);
    EXPECT_FALSE(FindSimDevice(ini, "ATmega88", found, error));
    EXPECT_NE(error.find("ATmega88"), std::string::npos) << error;
    EXPECT_FALSE(FindSimDevice(folder / "missing.ini", "ATmega8", found, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace zelk
