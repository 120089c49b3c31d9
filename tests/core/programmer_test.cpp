#include "engine/instructions.h"
#include "engine/programmer.h"
#include "fake_port.h"

#include <chrono>
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

} // namespace
} // namespace zelk
