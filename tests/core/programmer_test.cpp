// SPDX-License-Identifier: GPL-3.0-or-later
// The Programmer's line operations, waits and instructions on a fake port that logs every
// access at its virtual time.
#include "engine/instructions.h"
#include "engine/programmer.h"
#include "fake_port.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>

namespace zelk {
namespace {

using test::FakePort;
using test::ProgrammerOn;

// A wait that ends early lets the next flash byte arrive while the chip is still programming.
TEST(DelayUs, WaitsOnThePortsClockElseNeverReturnsEarly) {
    using Clock = std::chrono::steady_clock;
    FakePort port;
    auto programmer = ProgrammerOn(port);
    programmer->DelayUs(14000);
    programmer->DelayUs(0);
    programmer->DelayUs(-5);
    EXPECT_EQ(port.nowUs, 14000);
    EXPECT_EQ(programmer->RequestedDelayUs(), 14000u);

    Programmer unopened([](std::string&) { return nullptr; }, CableAutoDetect, {});
    for (std::int32_t us : {1, 50, 1000, 10000}) {
        const std::uint64_t before = unopened.RequestedDelayUs();
        const auto start = Clock::now();
        unopened.DelayUs(us);
        EXPECT_GE(Clock::now() - start, std::chrono::microseconds(us)) << us;
        EXPECT_EQ(unopened.RequestedDelayUs() - before, static_cast<std::uint64_t>(us));
    }
    const auto start = Clock::now();
    unopened.DelayUs(-1'000'000);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
}

// Both reset lines of each cable: a target on the second line must be held and let go too.
TEST(ResetLines, EachCableDrivesBothResetLines) {
    const struct {
        int cable;
        std::uint8_t reset;
        std::uint8_t reset2;
    } cases[] = {
        {CableKestan, 0x02, 0x04}, {CableAltera, 0x02, 0x04}, {CableStk200, 0x80, 0x40},
        {CableSp12, 0x02, 0x40},   {CableUsb, 0x04, 0x08},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cable);
        FakePort port;
        auto programmer = ProgrammerOn(port);
        programmer->SelectCable(c.cable);
        programmer->ReleaseReset();
        EXPECT_EQ(port.data, c.reset | c.reset2);
        programmer->SetLine(0xFF, 1);
        programmer->AssertReset();
        EXPECT_EQ(port.data, static_cast<std::uint8_t>(0xFF & ~(c.reset | c.reset2)));
    }
}

// A slowly clocked target needs SCK held longer high and low; the default keeps 1 us.
TEST(BitTiming, SckStaysHighAndLowForTheHalfPeriod) {
    for (const std::int32_t halfPeriod : {1, 7}) {
        SCOPED_TRACE(halfPeriod);
        FakePort port;
        auto programmer = ProgrammerOn(port, CableAutoDetect, {}, halfPeriod);
        programmer->SelectCable(CableSp12);
        port.log.clear();
        SpiTransfer(*programmer, 0x00);
        std::vector<std::int64_t> sckRises;
        std::vector<std::int64_t> sckFalls;
        std::uint8_t previous = 0;
        for (const FakePort::Access& access : port.log) {
            if (!access.isWrite || access.reg != PortRegister::Data) {
                continue;
            }
            if ((previous & 0x01) == 0 && (access.value & 0x01) != 0) {
                sckRises.push_back(access.atUs);
            } else if ((previous & 0x01) != 0 && (access.value & 0x01) == 0) {
                sckFalls.push_back(access.atUs);
            }
            previous = access.value;
        }
        ASSERT_EQ(sckRises.size(), 8u);
        ASSERT_EQ(sckFalls.size(), 8u);
        EXPECT_EQ(sckFalls[0] - sckRises[0], halfPeriod) << "high";
        EXPECT_EQ(sckRises[1] - sckFalls[0], halfPeriod) << "low, MOSI set with the fall";
        EXPECT_EQ(port.nowUs, 8 * 2 * halfPeriod) << "one SCK period a bit";
        EXPECT_EQ(sckFalls[7], port.nowUs) << "SCK low at the end; the next bit waits its low";
    }
}

// Every byte on the wire costs two line writes of 1 us each per bit; SCK falls at its end at once.
constexpr std::int64_t ByteUs = 16;

// Answers with the byte it received before, as the chip echoes while it is not sending data.
std::uint8_t Echo(const std::vector<std::uint8_t>& received) {
    return received.empty() ? 0x00 : received.back();
}

// An SP12 cable with a target on it; the target's reset line stays low (held in reset).
class Instructions : public ::testing::Test {
protected:
    Instructions() {
        port.target = {.sck = 0x01, .mosi = 0x80, .reset = 0x02, .miso = 0x80, .respond = Echo};
    }
    void SetUp() override { programmer->SelectCable(CableSp12); }

    FakePort port;
    std::unique_ptr<Programmer> programmer = ProgrammerOn(port);
};

struct InstructionCase {
    std::function<void(Programmer&)> send;
    std::vector<std::uint8_t> bytes;
    std::int64_t waitUs;
};

TEST_F(Instructions, SendTheirBytesAndWaitAfterwards) {
    const InstructionCase cases[] = {
        {[](Programmer& p) { SpiTransferSlow(p, 0x00, 50); }, {0x00}, 8 * 50},
        {[](Programmer& p) { ReadProgramMemory(p, 0x1ABCD); }, {0x28, 0xD5, 0xE6, 0x00}, 0},
        {[](Programmer& p) { ReadProgramMemory(p, 0x00102); }, {0x20, 0x00, 0x81, 0x00}, 0},
        {[](Programmer& p) { WriteProgramMemory(p, 0x1ABCC, 0x12); },
         {0x40, 0xD5, 0xE6, 0x12},
         4500},
        {[](Programmer& p) { WriteProgramMemoryPolled(p, 0x11, 0xFF); }, {}, 0},
        {[](Programmer& p) { WriteProgramMemoryPolled(p, 0x11, 0x7F); },
         {0x48, 0x00, 0x08, 0x7F},
         14000},
        {[](Programmer& p) { ReadEepromMemory(p, 0x1FF); }, {0xA0, 0x01, 0xFF, 0x00}, 0},
        {[](Programmer& p) { WriteEepromMemory(p, 0x0234, 0xFF); },
         {0xC0, 0x02, 0x34, 0xFF},
         15000},
        {[](Programmer& p) { LoadProgramMemoryPage(p, 257, 0xAA); }, {0x48, 0x00, 0x00, 0xAA}, 0},
        {[](Programmer& p) { LoadProgramMemoryPage(p, 6, 0x01); }, {0x40, 0x00, 0x03, 0x01}, 0},
        {[](Programmer& p) { WriteProgramMemoryPage(p, 0x1234); }, {0x4C, 0x12, 0x34, 0x00}, 25000},
        {[](Programmer& p) { ChipErase(p); }, {0xAC, 0x80, 0x00, 0x00}, 50000},
    };
    for (const InstructionCase& c : cases) {
        SCOPED_TRACE(&c - cases);
        port.received.clear();
        const std::int64_t start = port.nowUs;
        c.send(*programmer);
        EXPECT_EQ(port.received, c.bytes);
        EXPECT_EQ(port.nowUs - start,
                  static_cast<std::int64_t>(c.bytes.size()) * ByteUs + c.waitUs);
    }
}

// The location reads busy (0x7F) for `busyReads` reads after the write, then the data.
std::function<std::uint8_t(const std::vector<std::uint8_t>&)> BusyFor(int busyReads) {
    return [busyReads, reads = 0](const std::vector<std::uint8_t>& received) mutable {
        if (received.size() < 4 || received.size() % 4 != 3) {
            return std::uint8_t{0x00};
        }
        return reads++ < busyReads ? std::uint8_t{0x7F} : std::uint8_t{0x42};
    };
}

TEST_F(Instructions, PolledWriteEndsWhenTheLocationStopsReadingBusyOrAfter50Ms) {
    port.target->respond = BusyFor(3);
    EXPECT_TRUE(WriteProgramMemoryPolled(*programmer, 0x21, 0x42));
    ASSERT_EQ(port.received.size(), 4u * 5);
    EXPECT_EQ((std::vector<std::uint8_t>(port.received.end() - 4, port.received.end())),
              (std::vector<std::uint8_t>{0x28, 0x00, 0x10, 0x00}));

    port.target->respond = BusyFor(1'000'000);
    const std::uint64_t before = programmer->RequestedDelayUs();
    EXPECT_FALSE(WriteProgramMemoryPolled(*programmer, 0x21, 0x42));
    const std::uint64_t waited = programmer->RequestedDelayUs() - before;
    EXPECT_GE(waited, 50000u);
    EXPECT_LT(waited, 150000u);
}

} // namespace
} // namespace zelk
