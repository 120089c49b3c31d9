#include "engine/port_claim.h"
#include "engine/port_io.h"
#include "engine/port_lines.h"
#include "fake_port.h"

#include <chrono>
#include <gtest/gtest.h>

namespace zelk {
namespace {

using test::FakePort;
using test::ScopedFakePort;

TEST(PortLines, PortAndCableChangesAreRefusedWhileThePortIsClaimed) {
    FakePort port;
    ScopedFakePort scope(port);
    SelectCable(CableSp12);
    ASSERT_TRUE(TryClaimPort());
    EXPECT_FALSE(SelectCable(CableStk200));
    EXPECT_FALSE(SelectPort(1));
    ReleasePortClaim();
    EXPECT_EQ(Engine().cableType, CableSp12);
    EXPECT_EQ(Engine().portIndex, 0);
    EXPECT_NE(CurrentPort(), nullptr);

    EXPECT_TRUE(SelectPort(0));
    EXPECT_NE(CurrentPort(), nullptr) << "the same index keeps the port open";
    EXPECT_TRUE(SelectPort(1));
    EXPECT_EQ(CurrentPort(), nullptr) << "another index closes the port";
}

// A wait that ends early lets the next flash byte arrive while the chip is still programming.
TEST(DelayUs, WaitsOnTheOpenPortsClockElseNeverReturnsEarly) {
    using Clock = std::chrono::steady_clock;
    {
        FakePort port;
        ScopedFakePort scope(port);
        const std::uint64_t before = RequestedDelayMicroseconds();
        DelayUs(14000);
        DelayUs(0);
        DelayUs(-5);
        EXPECT_EQ(port.nowUs, 14000);
        EXPECT_EQ(RequestedDelayMicroseconds() - before, 14000u);
    }
    ClosePort();
    for (std::int32_t us : {1, 50, 1000, 10000}) {
        const std::uint64_t before = RequestedDelayMicroseconds();
        const auto start = Clock::now();
        DelayUs(us);
        EXPECT_GE(Clock::now() - start, std::chrono::microseconds(us)) << us;
        EXPECT_EQ(RequestedDelayMicroseconds() - before, static_cast<std::uint64_t>(us));
    }
    const auto start = Clock::now();
    DelayUs(-1'000'000);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
}

} // namespace
} // namespace zelk
