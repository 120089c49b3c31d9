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

// "<AutoDetect>" keeps the map of the cable before it and reads the status inverted; no
// usable cable clears the map. Neither touches the pins.
TEST(PortLines, SelectCableKeepsTheMapForAutoDetectAndClearsItForNone) {
    FakePort port;
    ScopedFakePort scope(port);
    SelectCable(CableStk200);
    SelectCable(CableAutoDetect);
    EXPECT_EQ(Engine().pinMap.sck, 0x10);
    EXPECT_EQ(Engine().pinMap.reset, 0x80);
    EXPECT_EQ(ReadStatusLine(0x40), 1);
    SelectCable(CableNone);
    EXPECT_EQ(Engine().pinMap.sck | Engine().pinMap.mosi | Engine().pinMap.reset, 0);
    EXPECT_TRUE(port.DataWrites().empty());
}

TEST(PortLines, LineOperationsEditTheShadowAndWaitOneMicrosecondPerWrite) {
    FakePort port;
    ScopedFakePort scope(port);
    SelectCable(CableStk200);
    SetLine(0x01, 1);
    SetLine(0x20, 1);
    AssertReset();
    SetLine(0x01, 0);
    ReleaseReset();
    EXPECT_EQ(port.DataWrites(),
              (std::vector<std::uint8_t>{0x01, 0x21, 0x21, 0x21, 0x20, 0xA0, 0xE0}));
    EXPECT_EQ(port.nowUs, 7);
    PulseSck();
    EXPECT_EQ(port.DataWrites().back(), 0xE0);
    EXPECT_EQ(port.log[port.log.size() - 2].value, 0xF0);
    EXPECT_EQ(port.nowUs, 7 + 22);
}

TEST(PortLines, DriversSwitchWithoutAWaitByCableType) {
    constexpr auto Data = static_cast<std::uint8_t>(PortRegister::Data);
    constexpr auto Control = static_cast<std::uint8_t>(PortRegister::Control);
    const struct {
        int type;
        std::vector<std::uint8_t> enabled; // register, value; empty when nothing is written
        std::vector<std::uint8_t> disabled;
    } cases[] = {
        {CableKestan, {}, {}},
        {CableAltera, {Control, 0x02}, {Control, 0xDD}},
        {CableStk200, {Data, 0x51}, {Data, 0x5D}},
        {CableSp12, {}, {}},
        {CableUsb, {}, {}},
    };
    for (const auto& c : cases) {
        FakePort port;
        ScopedFakePort scope(port);
        SelectCable(c.type);
        Engine().dataShadow = 0x55;
        const auto written = [&port] {
            std::vector<std::uint8_t> accesses;
            for (const FakePort::Access& access : port.log) {
                accesses.insert(accesses.end(),
                                {static_cast<std::uint8_t>(access.reg), access.value});
            }
            port.log.clear();
            return accesses;
        };
        EnableDrivers();
        EXPECT_EQ(written(), c.enabled) << c.type;
        DisableDrivers();
        EXPECT_EQ(written(), c.disabled) << c.type;
        EXPECT_EQ(port.nowUs, 0) << c.type;
    }
}

// A loop-back wire from a data pin to a status pin, possibly through an inverter.
struct Wire {
    std::uint8_t data;
    std::uint8_t status;
    bool inverted = false;
};
constexpr Wire ToError{0x08, 0x08}, ToAck{0x20, 0x40}, ToPaperEnd{0x01, 0x20};

TEST(PortLines, DetectCableRecognisesLoopBacksInOrder) {
    const struct {
        std::vector<Wire> wires;
        std::uint8_t idleStatus;
        int expected;
    } cases[] = {
        {{}, 0x00, CableSp12},
        {{}, 0xFF, CableSp12},
        {{ToError}, 0x00, CableKestan},
        {{ToAck}, 0x00, CableAltera},
        {{ToPaperEnd}, 0x00, CableStk200},
        {{{0x01, 0x20, true}}, 0x00, CableSp12},
        {{ToError, ToAck, ToPaperEnd}, 0x00, CableKestan},
        {{ToAck, ToPaperEnd}, 0x00, CableAltera},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        FakePort port;
        port.statusFromData = [&c](std::uint8_t data) {
            std::uint8_t status = c.idleStatus;
            for (const Wire& wire : c.wires) {
                const bool high = ((data & wire.data) != 0) != wire.inverted;
                status =
                    static_cast<std::uint8_t>(high ? status | wire.status : status & ~wire.status);
            }
            return status;
        };
        ScopedFakePort scope(port);
        SelectCable(CableUsb);
        EXPECT_EQ(DetectCable(), c.expected);
        EXPECT_EQ(Engine().cableType, CableStk200);
        EXPECT_EQ(Engine().pinMap.sck, 0x02) << "detection keeps the pin map";
    }
}

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
