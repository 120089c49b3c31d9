// The simulated chip is as strict as the data sheets: write times, the target clock's limit on
// SCK, the echo of each instruction byte, Poll RDY/BSY, lock protection, fuses that shut out
// serial programming and the second reset line. Each test fails against a host, or a model,
// that is more forgiving than silicon.
#include "engine/connection.h"
#include "engine/lock_fuse.h"
#include "engine/memory_commands.h"
#include "sim_bench.h"
#include "sim_target_fixture.h"

#include <array>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zelk {
namespace {

using namespace test;

using test::EnterProgrammingMode;
using test::On;
using test::ResetIntoProgramming;
using test::Send;
using test::SimBench;
using test::SimTargetTest;

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
const SimDevice Untimed{"Untimed", 0x1E9178, 2048, 128, 1, 0, "", "", "", ""};

// The four bytes the target sends back while `bytes` goes out.
std::array<std::uint8_t, 4> Exchange(std::uint32_t bytes) {
    std::array<std::uint8_t, 4> in{};
    for (std::size_t i = 0; i < in.size(); ++i) {
        in[i] = SpiTransfer(static_cast<std::uint8_t>(bytes >> (24 - 8 * i)));
    }
    return in;
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
         Untimed,
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
            DelayUs(20000);
        }
        Send(c.write);
        // A read takes its result about 75 us after it starts.
        DelayUs(c.us - 150);
        EXPECT_EQ(Send(c.read << 8), c.whileBusy);
        DelayUs(150);
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
    SetLine(Pins().reset, 1);
    SetLine(Pins().reset, 0);
    DelayUs(30000);
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
        DelayUs(3600);
        EXPECT_EQ(Send(0xF0005A00), c.done);
    }
}

// SCK high and low for `phaseUs` each (2 us low at the least).
std::uint8_t TransferWithPhases(std::uint8_t out, std::int32_t phaseUs) {
    const PinMap& pins = Pins();
    std::uint8_t in = 0;
    for (int bit = 7; bit >= 0; --bit) {
        SetLine(pins.mosi, static_cast<std::uint8_t>((out >> bit) & 1));
        DelayUs(phaseUs - 2);
        SetLine(pins.sck, 1);
        DelayUs(phaseUs - 1);
        in = static_cast<std::uint8_t>(in << 1 | benchProgrammer->ReadStatusLine(pins.miso));
        SetLine(pins.sck, 0);
    }
    return in;
}

// The instruction packed into `bytes` with those phases; returns byte 4.
std::uint8_t SendWithPhases(std::uint32_t bytes, std::int32_t phaseUs) {
    std::uint8_t last = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        last = TransferWithPhases(static_cast<std::uint8_t>(bytes >> shift), phaseUs);
    }
    return last;
}

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
    // The engine's own transfer holds SCK high for 1 us: too short for a factory-fresh part.
    SimBench bench(On(Mega, [](SimFaults& f) { f.clockHz = 1000000; }));
    EXPECT_EQ(EnterProgrammingMode(), 0);
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
                DelayUs(20000);
            }
        }
        EXPECT_EQ(ReadProgramMemory(0x12), c.flash);
        EXPECT_EQ(ReadEepromMemory(0x12), c.eeprom);
        EXPECT_EQ(ReadSignatureByte(1), c.signature1);
        // Locked or not, writes are refused from mode 2 on.
        Send(0xC0001200);
        DelayUs(20000);
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
        DelayUs(5000);
        EXPECT_EQ(ReadSignatureByte(1), 0x95) << "programming goes on until the next reset";
        SetLine(Pins().reset, 1);
        DelayUs(1000);
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
            EnableDrivers();
            SetLine(Pins().reset2, secondLineLow ? 0 : 1);
            EnterProgrammingMode();
            EXPECT_EQ(ReadSignatureByte(1) == 0x95, secondLineLow);
        }
    }
}

TEST(SimStrictness, ParseSimFaultTakesSlowAndClock) {
    SimFaults faults;
    std::string error;
    ASSERT_TRUE(ParseSimFault("slow=1.5", faults, error)) << error;
    ASSERT_TRUE(ParseSimFault("clock=1000000", faults, error)) << error;
    EXPECT_EQ(faults.slowFactor, 1.5);
    EXPECT_EQ(faults.clockHz, 1000000u);
    for (const char* text : {"slow", "slow=0.5", "slow=abc", "slow=1e3", "slow=inf", "slow=101",
                             "clock", "clock=999", "clock=1.5", "clock=2000000000"}) {
        SimFaults untouched;
        error.clear();
        EXPECT_FALSE(ParseSimFault(text, untouched, error)) << text;
        EXPECT_NE(error.find(std::string(text).substr(0, 4)), std::string::npos) << error;
        EXPECT_EQ(untouched.slowFactor, 1.0);
        EXPECT_EQ(untouched.clockHz, 0u);
    }
}

// Every shipped part simulates, its write times are within the defaults (which the engine's
// waits are tested against), and its fuse marks name the RSTDISBL and DWEN bits of its
// patterns, with no such bit left unmarked.
TEST(SimStrictness, ShippedPartsAreTimedAndMarkTheirShutOutFuses) {
    const auto ini = std::filesystem::path(ZELK_BIN_DIR) / "zelk.ini";
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
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.device) + " slow=" + std::to_string(c.slow));
        SimFaults faults;
        faults.slowFactor = c.slow;
        Attach(c.device, faults);
        TargetImages& images = app.images;
        ASSERT_TRUE(EraseChip(*programmer, ui));
        std::fill(images.flashImage.begin(), images.flashImage.end(), ErasedByte);
        std::fill(images.eepromImage.begin(), images.eepromImage.end(), ErasedByte);
        for (std::uint32_t i = 0; i < 64; ++i) {
            images.flashImage[i] = static_cast<std::uint8_t>(i * 3 + 1);
            images.eepromImage[i] = static_cast<std::uint8_t>(i * 5 + 2);
        }
        ASSERT_TRUE(StartFlashWrite(ui) && FinishFlashWrite());
        EXPECT_EQ(VerifyFlash(*programmer, images, ui), c.flashVerifies);
        ASSERT_TRUE(WriteEeprom(*programmer, images, ui));
        EXPECT_EQ(VerifyEeprom(*programmer, images, ui), c.eepromVerifies);
    }
}

TEST_F(SimTargetTest, ProgrammedResetDisableOrDebugWireEndsIdentification) {
    const auto shipped = std::filesystem::path(ZELK_BIN_DIR) / "zelk.ini";
    const LockFuseLayout layout = LoadLockFuseLayout(shipped, "ATmega328P");
    const struct {
        std::uint8_t high;
        bool identifiedAfter;
    } cases[] = {{0xD9, true}, {0x59, false}, {0x99, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.high));
        programmer.reset(); // saves the chip of the case before, which this one must not get
        std::filesystem::remove(folder / "ATmega328P.chip");
        Attach("ATmega328P", {}, shipped);
        ui.messages.clear();
        ASSERT_TRUE(WriteFuseBytes(*programmer, ui, layout, {0x62, c.high, 0xFF}));
        EXPECT_EQ(ReadFuseBytes(*programmer, ui, layout).has_value(), c.identifiedAfter);
        EXPECT_EQ(ui.messages.empty(), c.identifiedAfter);
    }
}

TEST_F(SimTargetTest, ALockedChipCannotBeVerifiedAndALockedAt90sIsNotIdentified) {
    Attach("ATmega328P");
    TargetImages& images = app.images;
    ASSERT_TRUE(EraseChip(*programmer, ui));
    std::fill(images.flashImage.begin(), images.flashImage.end(), ErasedByte);
    images.flashImage[0x40] = 0x12;
    ASSERT_TRUE(StartFlashWrite(ui) && FinishFlashWrite());
    ASSERT_TRUE(WriteLockByte(*programmer, ui, 0xFE));
    EXPECT_TRUE(VerifyFlash(*programmer, images, ui)) << "mode 2 still verifies";
    ASSERT_TRUE(WriteLockByte(*programmer, ui, 0xFC));
    EXPECT_FALSE(VerifyFlash(*programmer, images, ui));

    const auto shipped = std::filesystem::path(ZELK_BIN_DIR) / "zelk.ini";
    Attach("AT90S2313", {}, shipped);
    ASSERT_TRUE(WriteLockByte(*programmer, ui, 0xF9));
    EXPECT_EQ(ui.deviceText, "AT90S2313");
    ReadFlash(*programmer, images, ui);
    EXPECT_EQ(ui.deviceText, "Error") << "signature 00 01 02";
}

} // namespace
} // namespace zelk
