// The simulated cable and AVR target, driven bit by bit at the pins through the engine's own
// line operations and SPI transfer, without the target commands on top: serial programming
// mode, write times, the demo program, the faults and the state file.
#include "scratch_folder.h"
#include "sim_bench.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace zelk {
namespace {

using namespace test;

using test::EnterProgrammingMode;
using test::Inject;
using test::On;
using test::Send;
using test::SimBench;

const SimDevice BytePart{"BytePart", 0x1E9101, 2048, 128, 1, 0, "", "", "", ""};
const SimDevice MegaPart = [] {
    SimDevice d{"MegaPart", 0x1E9702, 131072, 4096, 3, 256, "", "", "", ""};
    d.fuses = d.fusesHi = "abcdefgh";
    d.fusesExt = "xxxxxxab";
    return d;
}();

TEST(SimulatedPort, FlashByteWriteIsPolledAndLosesInstructionsWhileBusy) {
    SimBench bench(On(BytePart));
    ASSERT_EQ(EnterProgrammingMode(), 1);
    Send(0x4800085A); // flash byte 0x11
    EXPECT_EQ(ReadProgramMemory(0x11), 0x7F) << "the location being programmed";
    EXPECT_EQ(ReadProgramMemory(0x10), 0xFF) << "its neighbour reads normally";
    Send(0x40001000); // flash byte 0x20, lost: the chip is busy
    DelayUs(DefaultWriteTimes::Flash);
    EXPECT_EQ(ReadProgramMemory(0x11), 0x5A);
    EXPECT_EQ(ReadProgramMemory(0x20), 0xFF);

    Send(0x4800080F); // programming only clears bits
    DelayUs(DefaultWriteTimes::Flash);
    EXPECT_EQ(bench.Port().Chip().flash[0x11], 0x0A);
}

TEST(SimulatedPort, PageEepromLockAndFuseWritesFollowTheFormOfTheDevice) {
    SimDevice oldPagePart = BytePart;
    oldPagePart.algorithm = 2;
    oldPagePart.pageSize = 128;
    oldPagePart.fuses = "xxxxLLxL";
    const struct {
        const char* what;
        const SimDevice& device;
        std::vector<std::uint32_t> writes; // each given its write time
        std::uint32_t read;                // the first three instruction bytes
        std::uint8_t expected;
    } cases[] = {
        {"page written to the last page", MegaPart, {0x480000A1, 0x4CFF8000}, 0x28FF80, 0xA1},
        {"a write empties the page",
         MegaPart,
         {0x400000A0, 0x4C000000, 0x4C008000},
         0x200080,
         0xFF},
        {"EEPROM address wraps at its size", MegaPart, {0xC0100542}, 0xA00005, 0x42},
        {"EEPROM erased before a write", MegaPart, {0xC0000542, 0xC00005F0}, 0xA00005, 0xF0},
        {"lock byte in byte 4", MegaPart, {0xACFFFFFE}, 0x580000, 0xFE},
        {"byte-2 lock form ignored by an algorithm 3 part", MegaPart, {0xACF9FFFF}, 0x580000, 0xFF},
        {"lock bits 1 and 2 in byte 2", BytePart, {0xACF9FFFF}, 0x580000, 0xF9},
        {"byte-4 lock value ignored by a byte-2 part", BytePart, {0xACFFFF00}, 0x580000, 0xFF},
        {"fuse low", MegaPart, {0xACA000E4}, 0x500000, 0xE4},
        {"fuse high", MegaPart, {0xACA800D9}, 0x580800, 0xD9},
        {"extended fuse", MegaPart, {0xACA400FD}, 0x500800, 0xFD},
        {"fuse bits 0, 1 and 3 in byte 2", oldPagePart, {0xACB6FFFF}, 0x500000, 0xF6},
        {"a fuse byte the part lacks", BytePart, {0xACA00000}, 0x500000, 0xFF},
        {"lock bit 1 blocks flash", MegaPart, {0xACFFFFFE, 0x40000012, 0x4C000000}, 0x200000, 0xFF},
        {"lock bit 1 blocks EEPROM writes", MegaPart, {0xACFFFFFE, 0xC0000222}, 0xA00002, 0xFF},
        {"chip erase clears the lock bits", MegaPart, {0xACFFFFFC, 0xAC800000}, 0x580000, 0xFF},
        {"chip erase clears the EEPROM", MegaPart, {0xC0000111, 0xAC800000}, 0xA00001, 0xFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimBench bench(On(c.device));
        ASSERT_EQ(EnterProgrammingMode(), 1);
        for (std::uint32_t write : c.writes) {
            Send(write);
            DelayUs(9000);
        }
        EXPECT_EQ(Send(c.read << 8 | 0xFF), c.expected);
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

TEST(SimulatedPort, FaultsShowOnTheWire) {
    const struct {
        const char* what;
        Inject inject;
        int answeredOn;      // the Programming Enable attempt that got the echo
        std::uint32_t write; // then this instruction, if any, and a second's wait
        std::uint32_t read;  // then this read's first three bytes
        std::uint8_t expected;
    } cases[] = {
        {"nothing connected", [](SimFaults& f) { f.noneConnected = true; }, 0, 0, 0x300001, 0xFF},
        {"no echo 31 times", [](SimFaults& f) { f.noEchoAttempts = 31; }, 32, 0, 0x300001, 0x91},
        {"no echo 32 times", [](SimFaults& f) { f.noEchoAttempts = 32; }, 0, 0, 0x300001, 0xFF},
        {"stuck busy", [](SimFaults& f) { f.stuckBusy = true; }, 1, 0x48000300, 0x280003, 0x7F},
        {"bit 0 of byte 8 flipped", [](SimFaults& f) { f.bitErrorAtByte = 8; }, 1, 0, 0x300001,
         0x90},
        {"removed after byte 4", [](SimFaults& f) { f.removeAfterBytes = 4; }, 1, 0, 0x300001,
         0xFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimBench bench(On(BytePart, c.inject));
        EXPECT_EQ(EnterProgrammingMode(), c.answeredOn);
        if (c.write != 0) {
            Send(c.write);
            DelayUs(1000000);
        }
        EXPECT_EQ(Send(c.read << 8), c.expected);
    }
}

TEST(SimulatedPort, ParseSimFaultAcceptsEachFormAndRejectsTheRest) {
    SimFaults faults;
    std::string error;
    for (const char* text : {"none-connected", "wrong-cable=2", "no-echo=3", "stuck-busy",
                             "bit-error=1234", "remove-after=5000"}) {
        EXPECT_TRUE(ParseSimFault(text, faults, error)) << text << ": " << error;
    }
    EXPECT_TRUE(faults.noneConnected && faults.stuckBusy);
    EXPECT_EQ(std::pair(faults.wrongCable, faults.noEchoAttempts), std::pair(2, 3));
    EXPECT_EQ(faults.bitErrorAtByte, 1234U);
    EXPECT_EQ(faults.removeAfterBytes, 5000U);
    for (const char* text :
         {"", "unplugged", "wrong-cable=6", "no-echo", "no-echo=3x", "no-echo=-1", "bit-error=0",
          "stuck-busy=1", "remove-after=99999999999999999999"}) {
        SimFaults untouched;
        error.clear();
        EXPECT_FALSE(ParseSimFault(text, untouched, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
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
        for (std::uint32_t write : {0xC001FF5AU, 0xACA800C9U, 0x40000012U, 0x4C000000U}) {
            Send(write);
            DelayUs(9000);
        }
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
        std::uintmax_t fileSize;
    } cases[] = {{"another chip's file", 0x1E9406, size},
                 {"a file cut short", MegaPart.signature, size - 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::resize_file(file, c.fileSize);
        SimConfig changed = config;
        changed.device.signature = c.signature;
        std::string reason;
        EXPECT_EQ(MakeSimulatedPort(changed, reason), nullptr);
        EXPECT_NE(reason.find(file.string()), std::string::npos) << reason;
        EXPECT_EQ(std::filesystem::file_size(file), c.fileSize) << "a refused file is kept";
    }
}

} // namespace
} // namespace zelk
