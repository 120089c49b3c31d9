// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated cable and AVR target, driven bit by bit at the pins through the engine's own
// line operations and SPI transfer, and end to end through the target commands. The chip is as
// strict as the data sheets: write times, the target clock's limit on SCK, the echo of each
// instruction byte, Poll RDY/BSY, lock protection, fuses that shut out serial programming and
// the second reset line. Each strictness test fails against a host, or a model, that is more
// forgiving than silicon.
#include "engine/cables.h"
#include "engine/command_support.h"
#include "engine/connection.h"
#include "engine/instructions.h"
#include "engine/lock_fuse.h"
#include "engine/memory_commands.h"
#include "scratch_folder.h"
#include "sim/simulated_port.h"
#include "sim_target_fixture.h"

#include <array>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace zelk {
namespace {

using test::ShippedIni;
using test::SimTargetTest;

using Inject = std::function<void(SimFaults&)>;

SimConfig On(const SimDevice& device, const Inject& inject = {}) {
    SimConfig config;
    config.device = device;
    config.cableType = CableKestan;
    if (inject) {
        inject(config.faults);
    }
    return config;
}

// The Programmer of the bench in use.
Programmer* sim = nullptr;

// The simulated port opened by a Programmer; closing it saves the chip's state file.
class SimBench {
public:
    explicit SimBench(const SimConfig& config)
        : programmer(MakeSimulatedPortOpener(config), config.cableType, {}) {
        std::string reason;
        EXPECT_TRUE(programmer.OpenPort(reason)) << reason;
        programmer.SelectCable(config.cableType);
        sim = &programmer;
    }
    ~SimBench() { sim = nullptr; }
    SimBench(const SimBench&) = delete;
    SimBench& operator=(const SimBench&) = delete;
    SimulatedPort& Port() { return static_cast<SimulatedPort&>(*programmer.Port()); }

private:
    Programmer programmer;
};

// Sends the instruction packed into `bytes`, most significant byte first; returns byte 4.
std::uint8_t Send(std::uint32_t bytes) {
    std::uint8_t last = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        last = SpiTransfer(*sim, static_cast<std::uint8_t>(bytes >> shift));
    }
    return last;
}

// The four bytes the target sends back while `bytes` goes out.
std::array<std::uint8_t, 4> Exchange(std::uint32_t bytes) {
    std::array<std::uint8_t, 4> in{};
    for (std::size_t i = 0; i < in.size(); ++i) {
        in[i] = SpiTransfer(*sim, static_cast<std::uint8_t>(bytes >> (24 - 8 * i)));
    }
    return in;
}

// A positive pulse on the cable's first reset line with SCK low, and time for the target's
// serial interface to start.
void ResetIntoProgramming() {
    sim->EnableDrivers();
    sim->SetLine(sim->Pins().reset, 0);
    sim->DelayUs(10000);
    sim->SetLine(sim->Pins().reset, 1);
    sim->DelayUs(5000);
    sim->SetLine(sim->Pins().reset, 0);
    sim->DelayUs(30000);
}

// The reset, then Programming Enable with an SCK pulse after each failed attempt: the attempt
// that got the echo (1 for the first), 0 when none of 32 did.
int EnterProgrammingMode() {
    ResetIntoProgramming();
    for (int attempt = 1; attempt <= 32; ++attempt) {
        if (Exchange(0xAC530000)[2] == 0x53) {
            return attempt;
        }
        sim->PulseSck();
    }
    return 0;
}

const SimDevice BytePart{"BytePart", 0x1E9101, 2048, 128, 1, 0, "", "", "", ""};
const SimDevice MegaPart = [] {
    SimDevice d{"MegaPart", 0x1E9702, 131072, 4096, 3, 256, "", "", "", ""};
    d.fuses = d.fusesHi = "abcdefgh";
    d.fusesExt = "xxxxxxab";
    return d;
}();

// An ATmega328P and an AT90S2313 as their data sheets time and protect them; the signatures
// are made up so that no factory fuse default applies.
const SimDevice Mega = [] {
    SimDevice d{"Mega", 0x1E9577, 32768, 1024, 3, 128, "", "", "", ""};
    d.fuses = "IHFEDCBA";
    d.fusesHi = "TS0RQbaW";
    d.flashWriteUs = 4500;
    d.eepromWriteUs = 3600;
    d.chipEraseUs = 9000;
    d.fuseWriteUs = 4500;
    d.pollReadyBusy = true;
    d.resetDisableFuse = "FusesHi.7";
    d.debugWireFuse = "FusesHi.6";
    return d;
}();
const SimDevice Classic = [] {
    SimDevice d{"Classic", 0x1E9177, 2048, 128, 1, 0, "", "", "", ""};
    d.flashWriteUs = d.eepromWriteUs = d.fuseWriteUs = 3800;
    d.chipEraseUs = 7700;
    d.lockHidesSignature = true;
    return d;
}();

TEST(SimulatedPort, FlashByteWriteIsPolledAndLosesInstructionsWhileBusy) {
    SimBench bench(On(BytePart));
    ASSERT_EQ(EnterProgrammingMode(), 1);
    Send(0x4800085A); // flash byte 0x11
    EXPECT_EQ(ReadProgramMemory(*sim, 0x10), 0xFF) << "the neighbour of the busy byte reads";
    Send(0x40001000); // flash byte 0x20, lost: the chip is busy
    sim->DelayUs(DefaultWriteTimes::Flash);
    EXPECT_EQ(ReadProgramMemory(*sim, 0x11), 0x5A);
    EXPECT_EQ(ReadProgramMemory(*sim, 0x20), 0xFF);

    Send(0x4800080F); // programming only clears bits
    sim->DelayUs(DefaultWriteTimes::Flash);
    EXPECT_EQ(bench.Port().Chip().flash[0x11], 0x0A);
}

// Serial programming starts only when SCK is low as RESET falls, and a page write in progress
// ignores page loads: a host that gets either wrong fails here, as it would on silicon.
TEST(SimStrictness, ResetWithSckHighOrPageLoadsWhileBusyAreNotHeard) {
    SimBench bench(On(Mega));
    sim->EnableDrivers();
    sim->ReleaseReset();
    sim->DelayUs(10000);
    sim->SetLine(sim->Pins().sck, 1);
    sim->AssertReset();
    sim->DelayUs(30000);
    sim->SetLine(sim->Pins().sck, 0);
    for (int attempt = 0; attempt < 32; ++attempt) {
        EXPECT_NE(Exchange(0xAC530000)[2], 0x53) << "entered with SCK high at attempt " << attempt;
        sim->PulseSck();
    }
    sim->SetLine(sim->Pins().reset, 1);

    ASSERT_EQ(EnterProgrammingMode(), 1);
    for (std::uint32_t k = 0; k < 64; ++k) {
        LoadProgramMemoryPage(*sim, 2 * k, 0x11);
        LoadProgramMemoryPage(*sim, 2 * k + 1, 0x11);
    }
    Send(0x4C000000);                         // page 0, busy for its write time from here
    for (std::uint32_t k = 0; k < 32; ++k) {  // 2 ms of loads, well within the write
        LoadProgramMemoryPage(*sim, k, 0x22); // lost: the chip is busy
    }
    sim->DelayUs(Mega.flashWriteUs);
    Send(0x4C004000); // page at word 64: its buffer holds nothing loaded
    sim->DelayUs(Mega.flashWriteUs);
    EXPECT_EQ(ReadProgramMemory(*sim, 0), 0x11);
    EXPECT_EQ(ReadProgramMemory(*sim, 127), 0x11);
    EXPECT_EQ(ReadProgramMemory(*sim, 128), 0xFF);
    EXPECT_EQ(ReadProgramMemory(*sim, 159), 0xFF);
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
        {"chip erase clears the lock bits", MegaPart, {0xACFFFFFC, 0xAC800000}, 0x580000, 0xFF},
        {"chip erase clears the EEPROM", MegaPart, {0xC0000111, 0xAC800000}, 0xA00001, 0xFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimBench bench(On(c.device));
        ASSERT_EQ(EnterProgrammingMode(), 1);
        for (std::uint32_t write : c.writes) {
            Send(write);
            sim->DelayUs(9000);
        }
        EXPECT_EQ(Send(c.read << 8 | 0xFF), c.expected);
    }
}

TEST(SimulatedPort, DemoProgramAnswersEachCharacterUpperCasedThenZero) {
    SimBench bench(On(MegaPart));
    sim->ResetAndRun();
    for (const auto& [typed, shown] : std::vector<std::pair<char, char>>{{'a', 'A'}, {'1', '1'}}) {
        SpiTransferSlow(*sim, static_cast<std::uint8_t>(typed), 50);
        EXPECT_EQ(SpiTransferSlow(*sim, 0, 50), shown);
        EXPECT_EQ(SpiTransferSlow(*sim, 0, 50), 0);
    }
    // Without the pauses the program cannot load its answer in time: the byte collides and
    // the shift register sends back what it received.
    SpiTransfer(*sim, 'z');
    EXPECT_EQ(SpiTransfer(*sim, 0), 'z');
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
            sim->DelayUs(1000000);
        }
        EXPECT_EQ(Send(c.read << 8), c.expected);
    }
}

TEST(SimulatedPort, ParseSimFaultAcceptsEachFormAndRejectsTheRest) {
    SimFaults faults;
    std::string error;
    for (const char* text : {"none-connected", "wrong-cable=2", "no-echo=3", "stuck-busy",
                             "bit-error=1234", "remove-after=5000", "slow=1.5", "clock=1000000"}) {
        EXPECT_TRUE(ParseSimFault(text, faults, error)) << text << ": " << error;
    }
    EXPECT_TRUE(faults.noneConnected && faults.stuckBusy);
    EXPECT_EQ(std::pair(faults.wrongCable, faults.noEchoAttempts), std::pair(2, 3));
    EXPECT_EQ(faults.bitErrorAtByte, 1234U);
    EXPECT_EQ(faults.removeAfterBytes, 5000U);
    EXPECT_EQ(faults.slowFactor, 1.5);
    EXPECT_EQ(faults.clockHz, 1000000u);
    for (const char* text :
         {"", "unplugged", "wrong-cable=6", "no-echo", "no-echo=3x", "no-echo=-1", "bit-error=0",
          "stuck-busy=1", "remove-after=99999999999999999999", "slow", "slow=0.5", "slow=abc",
          "slow=1e3", "slow=inf", "slow=101", "clock", "clock=999", "clock=1.5",
          "clock=2000000000"}) {
        SimFaults untouched;
        error.clear();
        EXPECT_FALSE(ParseSimFault(text, untouched, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_NE(error.find(std::string(text).substr(0, 4)), std::string::npos) << error;
        EXPECT_EQ(untouched.slowFactor, 1.0);
        EXPECT_EQ(untouched.clockHz, 0u);
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
            sim->DelayUs(9000);
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

TEST(SimStrictness, WritesTakeTheirDataSheetTimeAndReadAsTheDataSheetsSay) {
    const struct {
        const char* what;
        const SimDevice& device;
        double slow;
        std::vector<std::uint32_t> before; // each given time to finish
        std::uint32_t write;
        std::uint32_t read; // its first three bytes
        std::uint8_t whileBusy;
        std::uint8_t done;
        std::int32_t us;
    } cases[] = {
        {"flash byte polls 0x7F", Classic, 1.0, {}, 0x4800085A, 0x280008, 0x7F, 0x5A, 3800},
        {"stretched by slow", Classic, 1.5, {}, 0x4800085A, 0x280008, 0x7F, 0x5A, 5700},
        {"default without a time",
         BytePart,
         1.0,
         {},
         0x4800085A,
         0x280008,
         0x7F,
         0x5A,
         DefaultWriteTimes::Flash},
        {"page reads 0xFF",
         Mega,
         1.0,
         {0x40000012, 0x4C000000, 0x40000002},
         0x4C000000,
         0x200000,
         0xFF,
         0x02,
         4500},
        {"EEPROM byte reads 0xFF", Mega, 1.0, {0xC0000542}, 0xC0000524, 0xA00005, 0xFF, 0x24, 3600},
        {"fuse keeps its old value", Mega, 1.0, {}, 0xACA800C9, 0x580800, 0xFF, 0xC9, 4500},
        {"lock keeps its old value", Mega, 1.0, {}, 0xACE000FE, 0x580000, 0xFF, 0xFE, 4500},
        {"erase keeps the old flash",
         Mega,
         1.0,
         {0x40000012, 0x4C000000},
         0xAC800000,
         0x200000,
         0x12,
         0xFF,
         9000},
        {"AT90S erase", Classic, 1.0, {0x40000012}, 0xAC800000, 0x200000, 0x12, 0xFF, 7700},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimBench bench(On(c.device, [&c](SimFaults& f) { f.slowFactor = c.slow; }));
        ASSERT_EQ(EnterProgrammingMode(), 1);
        for (std::uint32_t write : c.before) {
            Send(write);
            sim->DelayUs(20000);
        }
        Send(c.write);
        // A read takes its result about 75 us after it starts.
        sim->DelayUs(c.us - 150);
        EXPECT_EQ(Send(c.read << 8), c.whileBusy);
        sim->DelayUs(150);
        EXPECT_EQ(Send(c.read << 8), c.done);
    }
}

TEST(SimStrictness, EachByteEchoesThePreviousOneOfItsInstruction) {
    SimBench bench(On(Mega));
    ASSERT_EQ(EnterProgrammingMode(), 1);
    using Bytes = std::array<std::uint8_t, 4>;
    EXPECT_EQ(Exchange(0xAC530000), (Bytes{0x00, 0xAC, 0x53, 0x00}));
    EXPECT_EQ(Exchange(0x30000100), (Bytes{0x00, 0x30, 0x00, 0x95}));
    EXPECT_EQ(Exchange(0xC0012345), (Bytes{0x00, 0xC0, 0x01, 0x23}));
    EXPECT_EQ(Exchange(0x38005A00), (Bytes{0x00, 0x38, 0x00, 0x5A})) << "an unknown instruction";

    // Before Programming Enable only an instruction that starts like it is answered, so a
    // target out of step stays quiet.
    sim->SetLine(sim->Pins().reset, 1);
    sim->SetLine(sim->Pins().reset, 0);
    sim->DelayUs(30000);
    EXPECT_EQ(Exchange(0x30000100), (Bytes{0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Exchange(0xAC530000), (Bytes{0x00, 0xAC, 0x53, 0x00}));
}

TEST(SimStrictness, PollReadyBusyAnswersOnlyOnThePartsThatHaveIt) {
    SimDevice noPoll = Mega;
    noPoll.pollReadyBusy = false;
    const struct {
        const SimDevice& device;
        std::uint8_t whileBusy;
        std::uint8_t done;
    } cases[] = {{Mega, 0x01, 0x00}, {noPoll, 0x5A, 0x5A}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device.pollReadyBusy);
        SimBench bench(On(c.device));
        ASSERT_EQ(EnterProgrammingMode(), 1);
        Send(0xC0000011);
        EXPECT_EQ(Send(0xF0005A00), c.whileBusy);
        sim->DelayUs(3600);
        EXPECT_EQ(Send(0xF0005A00), c.done);
    }
}

// The instruction packed into `bytes` with SCK high and low for `phaseUs` each (2 us low at the
// least); returns byte 4.
std::uint8_t SendWithPhases(std::uint32_t bytes, std::int32_t phaseUs) {
    const PinMap& pins = sim->Pins();
    std::uint8_t in = 0;
    for (int bit = 31; bit >= 0; --bit) {
        sim->SetLine(pins.mosi, static_cast<std::uint8_t>((bytes >> bit) & 1));
        sim->DelayUs(phaseUs - 2);
        sim->SetLine(pins.sck, 1);
        sim->DelayUs(phaseUs - 1);
        in = static_cast<std::uint8_t>(in << 1 | sim->ReadStatusLine(pins.miso));
        sim->SetLine(pins.sck, 0);
    }
    return in;
}

// The engine's own transfer at 1 us phases against a 1 MHz part is in the target faults tests.
TEST(SimStrictness, SckPhasesMustLastMoreThanTwoTargetClocks) {
    const struct {
        std::uint64_t clockHz;
        std::int32_t phaseUs;
        bool heard;
    } cases[] = {{1000000, 1, false}, {1000000, 2, false}, {1000000, 3, true}, {400000, 5, false},
                 {500000, 5, true},   {16000000, 1, true}, {0, 1, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.clockHz) + " Hz, " + std::to_string(c.phaseUs) + " us");
        SimBench bench(On(Mega, [&c](SimFaults& f) { f.clockHz = c.clockHz; }));
        ResetIntoProgramming();
        SendWithPhases(0xAC530000, c.phaseUs);
        EXPECT_EQ(SendWithPhases(0x30000200, c.phaseUs) == 0x77, c.heard);
    }
}

TEST(SimStrictness, ReadsAndTheSignatureFollowTheLockMode) {
    SimDevice classicShowingSignature = Classic;
    classicShowingSignature.lockHidesSignature = false;
    const struct {
        const char* what;
        const SimDevice& device;
        std::uint32_t lock;
        std::uint8_t flash; // read at 0x12
        std::uint8_t eeprom;
        std::uint8_t signature1;
    } cases[] = {
        {"ATmega unlocked", Mega, 0xACE000FF, 0x34, 0x56, 0x95},
        {"ATmega mode 2 reads", Mega, 0xACE000FE, 0x34, 0x56, 0x95},
        {"ATmega mode 3 echoes", Mega, 0xACE000FC, 0x09, 0x12, 0x95},
        {"AT90S mode 2", Classic, 0xACFDFFFF, 0x34, 0x56, 0x91},
        {"AT90S mode 3 hides the signature", Classic, 0xACF9FFFF, 0x09, 0x12, 0x01},
        {"mode 3 on a part that shows it", classicShowingSignature, 0xACF9FFFF, 0x09, 0x12, 0x91},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimBench bench(On(c.device));
        ASSERT_EQ(EnterProgrammingMode(), 1);
        const bool pages = c.device.algorithm == 3;
        for (std::uint32_t write : {0x40000934U, pages ? 0x4C000000U : 0U, 0xC0001256U, c.lock}) {
            if (write != 0) {
                Send(write);
                sim->DelayUs(20000);
            }
        }
        EXPECT_EQ(ReadProgramMemory(*sim, 0x12), c.flash);
        EXPECT_EQ(ReadEepromMemory(*sim, 0x12), c.eeprom);
        EXPECT_EQ(ReadSignatureByte(*sim, 1), c.signature1);
        // Locked or not, writes are refused from mode 2 on.
        Send(0xC0001200);
        sim->DelayUs(20000);
        EXPECT_EQ(bench.Port().Chip().eeprom[0x12], c.lock == 0xACE000FF ? 0x00 : 0x56);
    }
}

TEST(SimStrictness, ResetDisableOrDebugWireShutsOutTheNextReset) {
    SimDevice tiny = Mega;
    tiny.resetDisableFuse = "Fuses.4";
    tiny.debugWireFuse.clear();
    const struct {
        const char* what;
        const SimDevice& device;
        std::uint32_t fuseWrite;
        bool programmableAfterReset;
    } cases[] = {
        {"RSTDISBL", Mega, 0xACA8007F, false},
        {"DWEN", Mega, 0xACA800BF, false},
        {"another high fuse bit", Mega, 0xACA800DF, true},
        {"RSTDISBL in the low fuse", tiny, 0xACA000EF, false},
        {"no DWEN mark", tiny, 0xACA800BF, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimBench bench(On(c.device));
        ASSERT_EQ(EnterProgrammingMode(), 1);
        Send(c.fuseWrite);
        sim->DelayUs(5000);
        EXPECT_EQ(ReadSignatureByte(*sim, 1), 0x95) << "programming goes on until the next reset";
        sim->SetLine(sim->Pins().reset, 1);
        sim->DelayUs(1000);
        EXPECT_EQ(EnterProgrammingMode() != 0, c.programmableAfterReset);
    }
}

TEST(SimStrictness, EveryCableHoldsTheTargetInResetOnlyThroughBothResetLines) {
    for (int cable : {CableKestan, CableAltera, CableStk200, CableSp12, CableUsb}) {
        for (const bool secondLineLow : {true, false}) {
            SCOPED_TRACE("cable " + std::to_string(cable) + (secondLineLow ? "" : ", one line"));
            SimConfig config = On(Mega);
            config.cableType = cable;
            SimBench bench(config);
            sim->EnableDrivers();
            sim->SetLine(sim->Pins().reset2, secondLineLow ? 0 : 1);
            EnterProgrammingMode();
            EXPECT_EQ(ReadSignatureByte(*sim, 1) == 0x95, secondLineLow);
        }
    }
}

// Every shipped part simulates, its write times are within the defaults (which the engine's
// waits are tested against), and its fuse marks name the RSTDISBL and DWEN bits of its
// patterns, with no such bit left unmarked.
TEST(SimStrictness, ShippedPartsAreTimedAndMarkTheirShutOutFuses) {
    const auto ini = ShippedIni();
    const BitLabels labels = ReadBitLabels(ini, "Fuses");
    std::vector<DeviceEntry> devices;
    std::string error;
    ASSERT_TRUE(ReadDeviceList(ini, devices, error)) << error;
    ASSERT_GE(devices.size(), 44u);
    int marked = 0;
    for (const DeviceEntry& device : devices) {
        SCOPED_TRACE(device.name);
        EXPECT_EQ(SimDeviceProblem(SimDeviceOf(device)), "");
        EXPECT_LE(device.flashWriteUs, DefaultWriteTimes::Flash);
        EXPECT_LE(device.eepromWriteUs, DefaultWriteTimes::Eeprom);
        EXPECT_LE(device.chipEraseUs, DefaultWriteTimes::ChipErase);
        EXPECT_LE(device.fuseWriteUs, DefaultWriteTimes::Fuse);
        const struct {
            const char* fuseKey;
            const std::string& pattern;
        } bytes[] = {
            {"Fuses", device.fuses}, {"FusesHi", device.fusesHi}, {"FusesExt", device.fusesExt}};
        for (const auto& [label, mark] :
             {std::pair<std::string, std::string>{"RSTDISBL", device.resetDisableFuse},
              std::pair<std::string, std::string>{"DWEN", device.debugWireFuse}}) {
            std::string found;
            for (const auto& byte : bytes) {
                for (std::size_t i = 0; i < byte.pattern.size(); ++i) {
                    const auto it = labels.find(byte.pattern[i]);
                    if (it != labels.end() && it->second.starts_with(label + " ")) {
                        found = std::string(byte.fuseKey) + "." + std::to_string(7 - i);
                    }
                }
            }
            EXPECT_EQ(mark, found) << label;
            marked += mark.empty() ? 0 : 1;
        }
    }
    EXPECT_GE(marked, 30);
}

// End to end through the target commands: the engine's fixed waits against a chip that
// takes longer than its data sheet says.
TEST_F(SimTargetTest, FixedWaitsShorterThanTheChipsWriteTimeFailVerify) {
    const struct {
        const char* device;
        double slow;
        bool flashVerifies;
        bool eepromVerifies;
    } cases[] = {
        {"AT90S1200", 1.0, true, true},   {"AT90S1200", 1.5, false, true},
        {"AT90S1200", 2.0, false, false}, {"AT90S2313", 2.0, true, false},
        {"Page2", 2.0, true, false},      {"ATmega328P", 1.5, true, true},
    };
    for (std::uint32_t i = 0; i < 64; ++i) {
        app.images.flashImage[i] = static_cast<std::uint8_t>(i * 3 + 1);
        app.images.eepromImage[i] = static_cast<std::uint8_t>(i * 5 + 2);
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.device) + " slow=" + std::to_string(c.slow));
        SimFaults faults;
        faults.slowFactor = c.slow;
        Attach(c.device, faults);
        ASSERT_TRUE(EraseChip(*programmer, ui));
        ASSERT_TRUE(WriteFlashImage());
        EXPECT_EQ(VerifyFlash(*programmer, app.images, ui), c.flashVerifies);
        ASSERT_TRUE(WriteEeprom(*programmer, app.images, ui, false));
        EXPECT_EQ(VerifyEeprom(*programmer, app.images, ui), c.eepromVerifies);
    }
}

TEST_F(SimTargetTest, ProgrammedResetDisableOrDebugWireEndsIdentification) {
    const LockFuseLayout layout = LoadLockFuseLayout(ShippedIni(), "ATmega328P");
    const struct {
        std::uint8_t high;
        bool identifiedAfter;
    } cases[] = {{0xD9, true}, {0x59, false}, {0x99, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.high));
        programmer.reset(); // saves the chip of the case before, which this one must not get
        std::filesystem::remove(folder / "ATmega328P.chip");
        Attach("ATmega328P", {}, ShippedIni());
        ui.messages.clear();
        ASSERT_TRUE(WriteFuseBytes(*programmer, ui, layout, {0x62, c.high, 0xFF}));
        EXPECT_EQ(ReadFuseBytes(*programmer, ui, layout).has_value(), c.identifiedAfter);
        EXPECT_EQ(ui.messages.empty(), c.identifiedAfter);
    }
}

// A read-protected chip is refused rather than read as data; a locked AT90S, which hides its
// signature, is recognised as one and unlocked by an erase.
TEST_F(SimTargetTest, LockedChipsAreRefusedForReadsAndUnlockedByAnErase) {
    Attach("ATmega328P", {}, ShippedIni());
    app.images.flashImage[0x40] = 0x12;
    ASSERT_TRUE(WriteFlashImage());
    ASSERT_EQ(WriteLockByte(*programmer, ui, 0xFE), LockWrite::Confirmed);
    EXPECT_TRUE(VerifyFlash(*programmer, app.images, ui)) << "mode 2 still verifies";
    EXPECT_TRUE(ReadFlash(*programmer, app.images, ui)) << "and reads";
    ASSERT_EQ(WriteLockByte(*programmer, ui, 0xFC), LockWrite::Confirmed);
    EXPECT_FALSE(VerifyFlash(*programmer, app.images, ui));
    ui.messages.clear();
    app.images.flashImage[0x40] = 0x34;
    EXPECT_FALSE(ReadFlash(*programmer, app.images, ui));
    EXPECT_EQ(ui.messages, std::vector<std::string>{"The chip is read-protected (lock byte FC): "
                                                    "its memories cannot be read; erase it to "
                                                    "unlock."});
    EXPECT_EQ(app.images.flashImage[0x40], 0x34) << "the image is left as it was";

    Attach("AT90S2313", {}, ShippedIni());
    ui.messages.clear();
    EXPECT_EQ(WriteLockByte(*programmer, ui, 0xFB), LockWrite::Unconfirmed) << "mode 2 shows not";
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Lock byte FB written; this part cannot read "
                                                    "its lock bits back, so the write is not "
                                                    "confirmed."});
    ASSERT_EQ(WriteLockByte(*programmer, ui, 0xF9), LockWrite::Confirmed) << "mode 3 hides it";
    ui.messages.clear();
    EXPECT_FALSE(ReadFlash(*programmer, app.images, ui));
    EXPECT_EQ(ui.deviceText, "Locked AT90S");
    EXPECT_EQ(ui.messages, std::vector<std::string>{LockedChipMessage});
    EXPECT_TRUE(EraseChip(*programmer, ui));
    EXPECT_EQ(ui.deviceText, "AT90S2313");
    EXPECT_EQ(Chip().lock, 0xFF);
    EXPECT_TRUE(ReadFlash(*programmer, app.images, ui));
}

} // namespace
} // namespace zelk
