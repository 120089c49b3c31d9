// The simulated AVR in serial programming mode and running its demo program, driven at the
// port's pins.
#include "sim/simulated_port.h"
#include "sim_bit_banger.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace zelk {
namespace {

using test::SimBitBanger;

DeviceEntry BytePart() {
    DeviceEntry d;
    d.name = "BytePart";
    d.signature = 0x1E9101;
    d.programSize = 2048;
    d.dataSize = 128;
    d.algorithm = 1;
    return d;
}

DeviceEntry OldPagePart() {
    DeviceEntry d;
    d.name = "OldPagePart";
    d.signature = 0x1E9402;
    d.programSize = 16384;
    d.dataSize = 512;
    d.algorithm = 2;
    d.pageSize = 128;
    d.fuses = "xxxxLLxL";
    return d;
}

DeviceEntry MegaPart() {
    DeviceEntry d;
    d.name = "MegaPart";
    d.signature = 0x1E9702;
    d.programSize = 131072;
    d.dataSize = 4096;
    d.algorithm = 3;
    d.pageSize = 256;
    d.fuses = "abcdefgh";
    d.fusesHi = "abcdefgh";
    d.fusesExt = "xxxxxxab";
    return d;
}

struct Bench {
    explicit Bench(const DeviceEntry& device, SimFaults faults = {}, int cable = CableKestan) {
        SimConfig config;
        config.device = device;
        config.cableType = cable;
        config.faults = faults;
        std::string reason;
        port = MakeSimulatedPort(config, reason);
        EXPECT_NE(port, nullptr) << reason;
        host = std::make_unique<SimBitBanger>(*port, cable);
    }
    std::unique_ptr<SimulatedPort> port;
    std::unique_ptr<SimBitBanger> host;
};

TEST(SimulatedTarget, EveryCableReachesTheTargetWithItsPinMapAndPolarity) {
    for (int cable = CableKestan; cable <= CableUsb; ++cable) {
        SCOPED_TRACE(cable);
        Bench bench(MegaPart(), {}, cable);
        ASSERT_EQ(bench.host->EnterProgrammingMode(), 1);
        EXPECT_EQ(bench.host->Read(0x30, 0, 0), 0x1E);
        EXPECT_EQ(bench.host->Read(0x30, 0, 1), 0x97);
        EXPECT_EQ(bench.host->Read(0x30, 0, 2), 0x02);
    }
}

TEST(SimulatedTarget, StaysOutOfProgrammingModeWithoutAProperResetSequence) {
    {
        SCOPED_TRACE("line drivers left off");
        for (int cable : {CableAltera, CableStk200}) {
            Bench bench(MegaPart(), {}, cable);
            bench.host->EnterReset(false);
            EXPECT_FALSE(bench.host->ProgrammingEnable());
            EXPECT_EQ(bench.host->Read(0x30, 0, 0), 0xFF);
        }
    }
    {
        SCOPED_TRACE("reset taken while SCK is high");
        Bench bench(MegaPart());
        bench.host->SetData(0x02, true);
        bench.host->SetData(0x01, true);
        bench.host->SetData(0x02, false);
        bench.host->SetData(0x01, false);
        bench.port->Wait(30000);
        EXPECT_FALSE(bench.host->ProgrammingEnable());
    }
    {
        SCOPED_TRACE("Programming Enable sent before the target has settled");
        Bench bench(MegaPart());
        bench.host->SetData(0x02, false);
        bench.port->Wait(15000);
        EXPECT_FALSE(bench.host->ProgrammingEnable());
    }
}

TEST(SimulatedTarget, AGlitchOnSckLosesTheEchoUntilThePulsesBringTheFrameBack) {
    Bench bench(MegaPart());
    ASSERT_EQ(bench.host->EnterProgrammingMode(), 1);
    bench.host->PulseSck(); // one clock too many: the target is a bit ahead from now on
    int pulses = 0;
    while (!bench.host->ProgrammingEnable() && pulses < 40) {
        bench.host->PulseSck();
        ++pulses;
    }
    EXPECT_EQ(pulses, 31);
    EXPECT_EQ(bench.host->Read(0x30, 0, 1), 0x97);
}

TEST(SimulatedTarget, FlashByteWriteIsPolledAndLosesInstructionsWhileBusy) {
    Bench bench(BytePart());
    SimBitBanger& host = *bench.host;
    ASSERT_EQ(host.EnterProgrammingMode(), 1);
    host.WriteFlashByte(0x11, 0x5A);
    EXPECT_EQ(host.ReadFlash(0x11), 0x7F) << "the location being programmed";
    EXPECT_EQ(host.ReadFlash(0x10), 0xFF) << "its neighbour reads normally";
    host.WriteFlashByte(0x20, 0x00); // lost: the chip is busy
    bench.port->Wait(4000);
    EXPECT_EQ(host.ReadFlash(0x11), 0x5A);
    EXPECT_EQ(host.ReadFlash(0x20), 0xFF);

    host.WriteFlashByte(0x11, 0x0F); // programming only clears bits
    bench.port->Wait(4000);
    EXPECT_EQ(host.ReadFlash(0x11), 0x0A);
    EXPECT_EQ(bench.port->Chip().flash[0x11], 0x0A);
}

TEST(SimulatedTarget, PageWriteProgramsTheLoadedBytesOfOnePage) {
    Bench bench(MegaPart());
    SimBitBanger& host = *bench.host;
    ASSERT_EQ(host.EnterProgrammingMode(), 1);
    for (std::uint8_t k = 0; k < 10; ++k) {
        host.Instruction(k % 2 != 0 ? 0x48 : 0x40, 0x00, static_cast<std::uint8_t>(k >> 1),
                         static_cast<std::uint8_t>(0xA0 + k));
    }
    const std::uint32_t page = 0x1FF00; // the last page: word address 0xFF80
    host.Instruction(0x4C, 0xFF, 0x80, 0x00);
    EXPECT_EQ(host.ReadFlash(page), 0xFF) << "not programmed before the write time";
    host.Instruction(0x40, 0x00, 0x05, 0x00); // a load while busy is lost
    bench.port->Wait(4500);
    for (std::uint32_t k = 0; k < 12; ++k) {
        EXPECT_EQ(host.ReadFlash(page + k), k < 10 ? 0xA0 + k : 0xFF) << k;
    }

    host.Instruction(0x4C, 0x00, 0x00, 0x00); // the buffer was emptied by the write
    bench.port->Wait(4500);
    EXPECT_EQ(host.ReadFlash(0), 0xFF);
    EXPECT_EQ(bench.port->Chip().flash[page + 10], 0xFF);
}

TEST(SimulatedTarget, EepromWriteReplacesTheByteAfterItsWriteTime) {
    Bench bench(BytePart());
    SimBitBanger& host = *bench.host;
    ASSERT_EQ(host.EnterProgrammingMode(), 1);
    host.WriteEeprom(0x85, 0x42); // beyond 128 bytes: wraps to 5
    host.WriteEeprom(6, 0x00);    // lost: busy
    bench.port->Wait(8500);
    EXPECT_EQ(host.ReadEeprom(5), 0x42);
    EXPECT_EQ(host.ReadEeprom(6), 0xFF);
    host.WriteEeprom(5, 0xF0);
    bench.port->Wait(8500);
    EXPECT_EQ(host.ReadEeprom(5), 0xF0) << "EEPROM bytes are erased before they are written";
}

TEST(SimulatedTarget, LockBit1BlocksProgrammingUntilAChipErase) {
    Bench bench(MegaPart());
    SimBitBanger& host = *bench.host;
    ASSERT_EQ(host.EnterProgrammingMode(), 1);
    host.WriteEeprom(1, 0x11);
    bench.port->Wait(8500);
    host.Instruction(0xAC, 0xFF, 0xFF, 0xFC);
    bench.port->Wait(4500);
    EXPECT_EQ(host.Read(0x58, 0, 0), 0xFC);

    host.Instruction(0x40, 0x00, 0x00, 0x00);
    host.Instruction(0x4C, 0x00, 0x00, 0x00);
    host.WriteEeprom(2, 0x22);
    bench.port->Wait(9000);
    EXPECT_EQ(host.ReadFlash(0), 0xFF);
    EXPECT_EQ(host.ReadEeprom(2), 0xFF);

    host.Instruction(0xAC, 0x80, 0x00, 0x00);
    EXPECT_EQ(host.ReadEeprom(1), 0x11) << "the erase takes its time";
    bench.port->Wait(9000);
    EXPECT_EQ(host.ReadEeprom(1), 0xFF);
    EXPECT_EQ(host.Read(0x58, 0, 0), 0xFF);
    host.WriteEeprom(2, 0x22);
    bench.port->Wait(8500);
    EXPECT_EQ(host.ReadEeprom(2), 0x22);
}

TEST(SimulatedTarget, LockAndFuseWritesFollowTheFormOfTheDevice) {
    struct Case {
        const char* what;
        DeviceEntry device;
        std::array<std::uint8_t, 4> write;
        std::array<std::uint8_t, 3> read;
        std::uint8_t expected;
    };
    const std::vector<Case> cases = {
        {"lock byte in byte 4", MegaPart(), {0xAC, 0xFF, 0xFF, 0xFE}, {0x58, 0x00, 0x00}, 0xFE},
        {"byte-2 lock form ignored by an algorithm 3 part",
         MegaPart(),
         {0xAC, 0xF9, 0xFF, 0xFF},
         {0x58, 0x00, 0x00},
         0xFF},
        {"lock bits 1 and 2 in byte 2",
         BytePart(),
         {0xAC, 0xF9, 0xFF, 0xFF},
         {0x58, 0x00, 0x00},
         0xF9},
        {"byte-4 lock value ignored by a byte-2 part",
         BytePart(),
         {0xAC, 0xFF, 0xFF, 0x00},
         {0x58, 0x00, 0x00},
         0xFF},
        {"fuse low", MegaPart(), {0xAC, 0xA0, 0x00, 0xE4}, {0x50, 0x00, 0x00}, 0xE4},
        {"fuse high", MegaPart(), {0xAC, 0xA8, 0x00, 0xD9}, {0x58, 0x08, 0x00}, 0xD9},
        {"extended fuse", MegaPart(), {0xAC, 0xA4, 0x00, 0xFD}, {0x50, 0x08, 0x00}, 0xFD},
        {"fuse bits 0, 1 and 3 in byte 2",
         OldPagePart(),
         {0xAC, 0xB6, 0xFF, 0xFF},
         {0x50, 0x00, 0x00},
         0xF6},
        {"a fuse byte the part lacks",
         BytePart(),
         {0xAC, 0xA0, 0x00, 0x00},
         {0x50, 0x00, 0x00},
         0xFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench bench(c.device);
        ASSERT_EQ(bench.host->EnterProgrammingMode(), 1);
        bench.host->Instruction(c.write[0], c.write[1], c.write[2], c.write[3]);
        bench.port->Wait(5000);
        EXPECT_EQ(bench.host->Read(c.read[0], c.read[1], c.read[2], 0xFF), c.expected);
    }
}

TEST(SimulatedTarget, DemoProgramAnswersEachCharacterUpperCasedThenZero) {
    Bench bench(MegaPart());
    SimBitBanger& host = *bench.host;
    host.EnterReset();
    host.ReleaseReset();
    bench.port->Wait(30000);
    for (const auto& [typed, shown] : std::vector<std::pair<char, char>>{{'a', 'A'}, {'1', '1'}}) {
        host.Transfer(static_cast<std::uint8_t>(typed), 50);
        EXPECT_EQ(host.Transfer(0, 50), shown);
        EXPECT_EQ(host.Transfer(0, 50), 0);
    }
    // Without the pauses the program cannot load its answer in time: the byte collides and
    // the shift register sends back what it received.
    host.Transfer('z');
    EXPECT_EQ(host.Transfer(0), 'z');
}

TEST(SimulatedTarget, RealTimeClockLetsWritesFinishOnlyAsTimePasses) {
    SimConfig config;
    config.device = BytePart();
    config.virtualTime = false;
    auto port = MakeSimulatedPort(config);
    ASSERT_NE(port, nullptr);
    SimBitBanger host(*port, CableKestan);
    ASSERT_EQ(host.EnterProgrammingMode(), 1);
    host.WriteFlashByte(3, 0x12);
    EXPECT_EQ(host.ReadFlash(3), 0x7F);
    port->Wait(3600);
    EXPECT_EQ(host.ReadFlash(3), 0x12);
}

} // namespace
} // namespace zelk
