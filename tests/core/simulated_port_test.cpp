// The simulated cable and AVR target, driven bit by bit at the pins through the engine's own
// line operations and SPI transfer, without the target commands on top: the loop-back wires,
// serial programming mode, write times, the demo program, the faults and the state file.
#include "engine/instructions.h"
#include "engine/port_io.h"
#include "engine/port_lines.h"
#include "scratch_folder.h"
#include "sim/simulated_port.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace zelk {
namespace {

const DeviceEntry BytePart{"BytePart", 0x1E9101, 2048, 128, 1, 0, "", "", "", ""};
const DeviceEntry MegaPart = [] {
    DeviceEntry d{"MegaPart", 0x1E9702, 131072, 4096, 3, 256, "", "", "", ""};
    d.fuses = d.fusesHi = "abcdefgh";
    d.fusesExt = "xxxxxxab";
    return d;
}();

SimConfig On(const DeviceEntry& device, int cable = CableKestan) {
    SimConfig config;
    config.device = device;
    config.cableType = cable;
    return config;
}

// A configuration whose faults `inject` sets.
SimConfig Faulty(const DeviceEntry& device, const std::function<void(SimFaults&)>& inject) {
    SimConfig config = On(device);
    inject(config.faults);
    return config;
}

// The simulated port opened as the engine's port; closing it saves the chip's state file.
class SimBench {
public:
    explicit SimBench(const SimConfig& config) {
        ResetEngineState();
        SetPortOpener(MakeSimulatedPortOpener(config));
        std::string reason;
        EXPECT_TRUE(OpenSelectedPort(reason)) << reason;
        SelectCable(config.cableType);
    }
    ~SimBench() {
        SetPortOpener([](int, std::string&) -> std::unique_ptr<PortIo> { return nullptr; });
        ResetEngineState();
    }
    SimBench(const SimBench&) = delete;
    SimBench& operator=(const SimBench&) = delete;
    SimulatedPort& Port() { return static_cast<SimulatedPort&>(*CurrentPort()); }
};

std::uint8_t Send(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4 = 0) {
    SpiTransfer(b1);
    SpiTransfer(b2);
    SpiTransfer(b3);
    return SpiTransfer(b4);
}

bool Echoed() {
    SpiTransfer(0xAC);
    SpiTransfer(0x53);
    const std::uint8_t echo = SpiTransfer(0x00);
    SpiTransfer(0x00);
    return echo == 0x53;
}

// Every line low, a positive reset pulse, then reset held.
void EnterReset(bool withDrivers = true) {
    withDrivers ? EnableDrivers() : DisableDrivers();
    SetLine(Engine().pinMap.reset, 0);
    DelayUs(10000);
    SetLine(Engine().pinMap.reset, 1);
    DelayUs(5000);
    SetLine(Engine().pinMap.reset, 0);
    DelayUs(30000);
}

// Reset and Programming Enable with an SCK pulse after each failed attempt: the attempt that
// got the echo (1 for the first), 0 when none of 32 did.
int EnterProgrammingMode() {
    EnterReset();
    for (int attempt = 1; attempt <= 32; ++attempt) {
        if (Echoed()) {
            return attempt;
        }
        PulseSck();
    }
    return 0;
}

TEST(SimulatedPort, EachCableAnswersTheLoopBackProbesAsItsWiresDo) {
    const struct {
        const char* what;
        int cable;
        std::function<void(SimFaults&)> inject;
        int detected;
    } cases[] = {
        {"Kestan's Original: D3 to ERROR", CableKestan, [](SimFaults&) {}, CableKestan},
        {"Altera: D5 to ACK", CableAltera, [](SimFaults&) {}, CableAltera},
        {"STK200: D0 to PAPER END", CableStk200, [](SimFaults&) {}, CableStk200},
        {"SP12 has no loop-back", CableSp12, [](SimFaults&) {}, CableSp12},
        {"USB has no loop-back", CableUsb, [](SimFaults&) {}, CableSp12},
        {"nothing connected", CableKestan, [](SimFaults& f) { f.noneConnected = true; }, CableSp12},
        {"STK200 where Kestan's was set", CableKestan,
         [](SimFaults& f) { f.wrongCable = CableStk200; }, CableStk200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimConfig config = Faulty(MegaPart, c.inject);
        config.cableType = c.cable;
        SimBench bench(config);
        EXPECT_EQ(DetectCable(), c.detected);
    }
    // Control bit 5 makes the data lines inputs: nothing drives D5, the cable's pull-up holds
    // it high, and the loop-back no longer follows the data register.
    SimBench bench(On(MegaPart, CableAltera));
    bench.Port().Write(PortRegister::Control, 0xFD);
    EXPECT_EQ(DetectCable(), CableSp12);
    bench.Port().Write(PortRegister::Control, 0xDD);
    EXPECT_EQ(DetectCable(), CableAltera);
}

TEST(SimulatedPort, EveryCableReachesTheTargetWithItsPinMapAndPolarity) {
    for (int cable = CableKestan; cable <= CableUsb; ++cable) {
        SCOPED_TRACE(cable);
        SimBench bench(On(MegaPart, cable));
        ASSERT_EQ(EnterProgrammingMode(), 1);
        EXPECT_EQ(Send(0x30, 0, 0), 0x1E);
        EXPECT_EQ(Send(0x30, 0, 1), 0x97);
        EXPECT_EQ(Send(0x30, 0, 2), 0x02);
    }
}

TEST(SimulatedPort, TargetStaysOutOfProgrammingModeWithoutAProperResetSequence) {
    const std::vector<std::pair<int, std::function<void()>>> cases = {
        {CableAltera, [] { EnterReset(false); }}, // line drivers left off
        {CableStk200, [] { EnterReset(false); }},
        {CableKestan, // reset taken while SCK is high
         [] {
             SetLine(0x03, 1);
             SetLine(0x02, 0);
             SetLine(0x01, 0);
             DelayUs(30000);
         }},
        {CableKestan, [] { DelayUs(15000); }}, // Programming Enable before the target settled
    };
    for (const auto& [cable, reset] : cases) {
        SimBench bench(On(MegaPart, cable));
        reset();
        EXPECT_FALSE(Echoed()) << cable;
        EXPECT_EQ(Send(0x30, 0, 0), 0xFF) << cable;
    }
}

TEST(SimulatedPort, AGlitchOnSckLosesTheEchoUntilThePulsesBringTheFrameBack) {
    SimBench bench(On(MegaPart));
    ASSERT_EQ(EnterProgrammingMode(), 1);
    PulseSck(); // one clock too many: the target is a bit ahead from now on
    int pulses = 0;
    for (; !Echoed() && pulses < 40; ++pulses) {
        PulseSck();
    }
    EXPECT_EQ(pulses, 31);
    EXPECT_EQ(Send(0x30, 0, 1), 0x97);
}

TEST(SimulatedPort, FlashByteWriteIsPolledAndLosesInstructionsWhileBusy) {
    SimBench bench(On(BytePart));
    ASSERT_EQ(EnterProgrammingMode(), 1);
    Send(0x48, 0x00, 0x08, 0x5A); // flash byte 0x11
    EXPECT_EQ(ReadProgramMemory(0x11), 0x7F) << "the location being programmed";
    EXPECT_EQ(ReadProgramMemory(0x10), 0xFF) << "its neighbour reads normally";
    Send(0x40, 0x00, 0x10, 0x00); // flash byte 0x20, lost: the chip is busy
    DelayUs(4000);
    EXPECT_EQ(ReadProgramMemory(0x11), 0x5A);
    EXPECT_EQ(ReadProgramMemory(0x20), 0xFF);

    Send(0x48, 0x00, 0x08, 0x0F); // programming only clears bits
    DelayUs(4000);
    EXPECT_EQ(ReadProgramMemory(0x11), 0x0A);
    EXPECT_EQ(bench.Port().Chip().flash[0x11], 0x0A);
}

TEST(SimulatedPort, PageAndEepromWritesTakeEffectAfterTheirWriteTime) {
    SimBench bench(On(MegaPart));
    ASSERT_EQ(EnterProgrammingMode(), 1);
    for (std::uint8_t k = 0; k < 10; ++k) {
        Send(k % 2 != 0 ? 0x48 : 0x40, 0x00, static_cast<std::uint8_t>(k >> 1),
             static_cast<std::uint8_t>(0xA0 + k));
    }
    const std::uint32_t page = 0x1FF00; // the last page: word address 0xFF80
    Send(0x4C, 0xFF, 0x80, 0x00);
    EXPECT_EQ(ReadProgramMemory(page), 0xFF) << "not programmed before the write time";
    Send(0x40, 0x00, 0x05, 0x00); // a load while busy is lost
    DelayUs(4500);
    for (std::uint32_t k = 0; k < 12; ++k) {
        EXPECT_EQ(ReadProgramMemory(page + k), k < 10 ? 0xA0 + k : 0xFF) << k;
    }
    Send(0x4C, 0x00, 0x00, 0x00); // the buffer was emptied by the write
    DelayUs(4500);
    EXPECT_EQ(ReadProgramMemory(0), 0xFF);

    Send(0xC0, 0x10, 0x05, 0x42); // beyond 4096 bytes: wraps to 5
    Send(0xC0, 0x00, 0x06, 0x00); // lost: busy
    DelayUs(8500);
    EXPECT_EQ(ReadEepromMemory(5), 0x42);
    EXPECT_EQ(ReadEepromMemory(6), 0xFF);
    Send(0xC0, 0x00, 0x05, 0xF0);
    DelayUs(8500);
    EXPECT_EQ(ReadEepromMemory(5), 0xF0) << "EEPROM bytes are erased before they are written";
}

TEST(SimulatedPort, LockBit1BlocksProgrammingUntilAChipErase) {
    SimBench bench(On(MegaPart));
    ASSERT_EQ(EnterProgrammingMode(), 1);
    Send(0xC0, 0x00, 0x01, 0x11);
    DelayUs(8500);
    Send(0xAC, 0xFF, 0xFF, 0xFC);
    DelayUs(4500);
    EXPECT_EQ(Send(0x58, 0, 0), 0xFC);
    Send(0x40, 0x00, 0x00, 0x00);
    Send(0x4C, 0x00, 0x00, 0x00);
    Send(0xC0, 0x00, 0x02, 0x22);
    DelayUs(9000);
    EXPECT_EQ(ReadProgramMemory(0), 0xFF);
    EXPECT_EQ(ReadEepromMemory(2), 0xFF);

    Send(0xAC, 0x80, 0x00, 0x00);
    EXPECT_EQ(ReadEepromMemory(1), 0x11) << "the erase takes its time";
    DelayUs(9000);
    EXPECT_EQ(ReadEepromMemory(1), 0xFF);
    EXPECT_EQ(Send(0x58, 0, 0), 0xFF);
    Send(0xC0, 0x00, 0x02, 0x22);
    DelayUs(8500);
    EXPECT_EQ(ReadEepromMemory(2), 0x22);
}

TEST(SimulatedPort, LockAndFuseWritesFollowTheFormOfTheDevice) {
    DeviceEntry oldPagePart = BytePart;
    oldPagePart.algorithm = 2;
    oldPagePart.pageSize = 128;
    oldPagePart.fuses = "xxxxLLxL";
    const struct {
        const char* what;
        const DeviceEntry& device;
        std::uint32_t write; // the four instruction bytes
        std::uint32_t read;  // the first three
        std::uint8_t expected;
    } cases[] = {
        {"lock byte in byte 4", MegaPart, 0xACFFFFFE, 0x580000, 0xFE},
        {"byte-2 lock form ignored by an algorithm 3 part", MegaPart, 0xACF9FFFF, 0x580000, 0xFF},
        {"lock bits 1 and 2 in byte 2", BytePart, 0xACF9FFFF, 0x580000, 0xF9},
        {"byte-4 lock value ignored by a byte-2 part", BytePart, 0xACFFFF00, 0x580000, 0xFF},
        {"fuse low", MegaPart, 0xACA000E4, 0x500000, 0xE4},
        {"fuse high", MegaPart, 0xACA800D9, 0x580800, 0xD9},
        {"extended fuse", MegaPart, 0xACA400FD, 0x500800, 0xFD},
        {"fuse bits 0, 1 and 3 in byte 2", oldPagePart, 0xACB6FFFF, 0x500000, 0xF6},
        {"a fuse byte the part lacks", BytePart, 0xACA00000, 0x500000, 0xFF},
    };
    const auto byte = [](std::uint32_t value, int shift) {
        return static_cast<std::uint8_t>(value >> shift);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimBench bench(On(c.device));
        ASSERT_EQ(EnterProgrammingMode(), 1);
        Send(byte(c.write, 24), byte(c.write, 16), byte(c.write, 8), byte(c.write, 0));
        DelayUs(5000);
        EXPECT_EQ(Send(byte(c.read, 16), byte(c.read, 8), byte(c.read, 0), 0xFF), c.expected);
    }
}

TEST(SimulatedPort, DemoProgramAnswersEachCharacterUpperCasedThenZero) {
    SimBench bench(On(MegaPart));
    ResetAndRun();
    for (const auto& [typed, shown] : std::vector<std::pair<char, char>>{{'a', 'A'}, {'1', '1'}}) {
        SpiTransferSlow(static_cast<std::uint8_t>(typed), 50);
        EXPECT_EQ(SpiTransferSlow(0, 50), shown);
        EXPECT_EQ(SpiTransferSlow(0, 50), 0);
    }
    // Without the pauses the program cannot load its answer in time: the byte collides and
    // the shift register sends back what it received.
    SpiTransfer('z');
    EXPECT_EQ(SpiTransfer(0), 'z');
}

TEST(SimulatedPort, RealTimeClockLetsWritesFinishOnlyAsTimePasses) {
    SimConfig config = On(BytePart);
    config.virtualTime = false;
    SimBench bench(config);
    ASSERT_EQ(EnterProgrammingMode(), 1);
    Send(0x48, 0x00, 0x01, 0x12); // flash byte 3
    EXPECT_EQ(ReadProgramMemory(3), 0x7F);
    DelayUs(3600);
    EXPECT_EQ(ReadProgramMemory(3), 0x12);
}

TEST(SimulatedPort, NothingConnectedReadsIdleAndNeverAnswers) {
    SimBench bench(Faulty(MegaPart, [](SimFaults& f) { f.noneConnected = true; }));
    EXPECT_EQ(EnterProgrammingMode(), 0);
    EXPECT_EQ(bench.Port().Read(PortRegister::Status), IdleStatus);
    EXPECT_EQ(Send(0x30, 0, 1), 0xFF);
}

TEST(SimulatedPort, NoEchoFaultDelaysTheEchoByThatManyAttempts) {
    for (const auto& [attempts, answeredOn] :
         std::vector<std::pair<int, int>>{{1, 2}, {4, 5}, {31, 32}, {32, 0}, {100, 0}}) {
        SCOPED_TRACE(attempts);
        SimBench bench(Faulty(MegaPart, [&](SimFaults& f) { f.noEchoAttempts = attempts; }));
        EXPECT_EQ(EnterProgrammingMode(), answeredOn);
        if (answeredOn != 0) {
            EXPECT_EQ(Send(0x30, 0, 1), 0x97);
            EXPECT_EQ(EnterProgrammingMode(), 1) << "only the first entry is affected";
        }
    }
}

TEST(SimulatedPort, StuckBusyNeverFinishesAWrite) {
    SimBench bench(Faulty(BytePart, [](SimFaults& f) { f.stuckBusy = true; }));
    ASSERT_EQ(EnterProgrammingMode(), 1);
    Send(0x48, 0x00, 0x03, 0x00); // flash byte 7
    Send(0xC0, 0x00, 0x00, 0x12); // lost: the flash byte is still being written
    DelayUs(1000000);
    EXPECT_EQ(ReadProgramMemory(7), 0x7F) << "data polling never ends";
    EXPECT_EQ(ReadEepromMemory(0), 0xFF);
    EXPECT_EQ(bench.Port().Chip().flash[7], 0xFF);
}

TEST(SimulatedPort, BitErrorFlipsBit0OfTheChosenByte) {
    // Programming Enable sends bytes 1 to 4, the first signature read bytes 5 to 8.
    for (const auto& [at, expected] :
         std::vector<std::pair<std::uint64_t, int>>{{8, 0x1F}, {12, 0x1E}, {16, 0x1E}}) {
        SCOPED_TRACE(at);
        SimBench bench(Faulty(MegaPart, [&](SimFaults& f) { f.bitErrorAtByte = at; }));
        ASSERT_EQ(EnterProgrammingMode(), 1);
        EXPECT_EQ(Send(0x30, 0, 0), expected);
        EXPECT_EQ(Send(0x30, 0, 1), at == 12 ? 0x96 : 0x97);
    }
}

TEST(SimulatedPort, RemovedTargetStopsAnsweringAfterItsLastByte) {
    SimBench bench(Faulty(MegaPart, [](SimFaults& f) { f.removeAfterBytes = 8; }));
    ASSERT_EQ(EnterProgrammingMode(), 1);
    EXPECT_EQ(Send(0x30, 0, 1), 0x97) << "bytes 5 to 8 still reach the target";
    EXPECT_EQ(Send(0x30, 0, 2), 0xFF);
    EXPECT_EQ(EnterProgrammingMode(), 0);
}

TEST(SimulatedPort, ParseSimFaultAcceptsEachFormAndRejectsTheRest) {
    SimFaults faults;
    std::string error;
    for (const char* text : {"none-connected", "wrong-cable=2", "no-echo=3", "stuck-busy",
                             "bit-error=1234", "remove-after=5000"}) {
        EXPECT_TRUE(ParseSimFault(text, faults, error)) << text << ": " << error;
    }
    EXPECT_TRUE(faults.noneConnected);
    EXPECT_EQ(faults.wrongCable, 2);
    EXPECT_EQ(faults.noEchoAttempts, 3);
    EXPECT_TRUE(faults.stuckBusy);
    EXPECT_EQ(faults.bitErrorAtByte, 1234U);
    EXPECT_EQ(faults.removeAfterBytes, 5000U);

    for (const char* text : {"", "unplugged", "wrong-cable=0", "wrong-cable=6", "no-echo",
                             "no-echo=", "no-echo=x", "no-echo=3x", "no-echo=-1", "bit-error=0",
                             "stuck-busy=1", "remove-after=99999999999999999999"}) {
        SimFaults untouched;
        error.clear();
        EXPECT_FALSE(ParseSimFault(text, untouched, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_EQ(untouched.wrongCable, 0) << text;
        EXPECT_EQ(untouched.noEchoAttempts, 0) << text;
        EXPECT_FALSE(untouched.bitErrorAtByte || untouched.removeAfterBytes) << text;
        EXPECT_FALSE(untouched.stuckBusy) << text;
    }
}

TEST(SimulatedPort, StateFileKeepsTheChipBetweenRunsAndRefusesOneThatDoesNotFit) {
    testing::ScratchFolder folder;
    SimConfig config = On(MegaPart);
    config.stateFile = folder / "chip.sim";
    const std::filesystem::path& file = config.stateFile;
    {
        SimBench bench(config);
        ASSERT_EQ(EnterProgrammingMode(), 1);
        Send(0xC0, 0x01, 0xFF, 0x5A);
        DelayUs(8500);
        Send(0xAC, 0xA8, 0x00, 0xC9);
        DelayUs(4500);
        Send(0x40, 0x00, 0x00, 0x12);
        Send(0x4C, 0x00, 0x00, 0x00);
        DelayUs(4500);
    }
    {
        auto port = MakeSimulatedPort(config);
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(port->Chip().eeprom[0x1FF], 0x5A);
        EXPECT_EQ(port->Chip().fuseHigh, 0xC9);
        EXPECT_EQ(port->Chip().fuseLow, 0xE1) << "the data sheet's default stays";
        EXPECT_EQ(port->Chip().flash[0], 0x12);
        EXPECT_FALSE(std::filesystem::exists(file.string() + ".tmp"));
    }

    const auto size = std::filesystem::file_size(file);
    const struct {
        const char* what;
        std::uint32_t signature;
        std::uint32_t programSize;
        std::function<void()> damage;
    } cases[] = {
        {"another flash size", MegaPart.signature, 65536, [] {}},
        {"another signature", 0x1E9406, MegaPart.programSize, [] {}},
        {"cut short", MegaPart.signature, MegaPart.programSize,
         [&] { std::filesystem::resize_file(file, size - 1); }},
        {"not a state file", MegaPart.signature, MegaPart.programSize,
         [&] { std::ofstream(file) << "hello"; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.damage();
        const auto before = std::filesystem::file_size(file);
        SimConfig changed = config;
        changed.device.signature = c.signature;
        changed.device.programSize = c.programSize;
        std::string reason;
        EXPECT_EQ(MakeSimulatedPort(changed, reason), nullptr);
        EXPECT_NE(reason.find(file.string()), std::string::npos) << reason;
        EXPECT_EQ(std::filesystem::file_size(file), before) << "a refused file is kept";
    }
}

TEST(SimulatedPort, OpenerKeepsOneChipAcrossReopeningAnyIndex) {
    SimBench bench(On(MegaPart));
    ASSERT_EQ(EnterProgrammingMode(), 1);
    Send(0xC0, 0x00, 0x03, 0x33);
    DelayUs(8500);
    ASSERT_TRUE(SelectPort(2)); // closes the port
    std::string reason;
    ASSERT_TRUE(OpenSelectedPort(reason)) << reason;
    ASSERT_EQ(EnterProgrammingMode(), 1);
    EXPECT_EQ(ReadEepromMemory(3), 0x33);

    SimConfig broken = On(MegaPart);
    broken.device.pageSize = 0;
    EXPECT_EQ(MakeSimulatedPortOpener(broken)(0, reason), nullptr);
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
