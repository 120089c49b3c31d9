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

struct CableCase {
    int type;
    PinMap pins;
    int misoWhenStatusLow; // what ReadStatusLine gives for a status bit that reads 0
};

// The five cables as wired, and the cleared map of "no usable cable".
TEST(PortLines, EachCableLoadsItsPinMapAndMisoPolarity) {
    const CableCase cases[] = {
        {CableKestan, {0x80, 0x40, 0x01, 0x02, 0x04}, 1},
        {CableAltera, {0x80, 0x40, 0x01, 0x02, 0x04}, 1},
        {CableStk200, {0x40, 0x20, 0x10, 0x80, 0x40}, 0},
        {CableSp12, {0x80, 0x80, 0x01, 0x02, 0x40}, 1},
        {CableUsb, {0x10, 0x01, 0x02, 0x04, 0x08}, 1},
        {CableNone, {0, 0, 0, 0, 0}, 1},
    };
    for (const CableCase& c : cases) {
        FakePort port;
        ScopedFakePort scope(port);
        SelectCable(CableStk200); // a map in place, so that the cleared one shows
        ASSERT_TRUE(SelectCable(c.type));
        const PinMap& map = Engine().pinMap;
        EXPECT_EQ(map.miso, c.pins.miso) << c.type;
        EXPECT_EQ(map.mosi, c.pins.mosi) << c.type;
        EXPECT_EQ(map.sck, c.pins.sck) << c.type;
        EXPECT_EQ(map.reset, c.pins.reset) << c.type;
        EXPECT_EQ(map.reset2, c.pins.reset2) << c.type;
        EXPECT_EQ(ReadStatusLine(0x80), c.misoWhenStatusLow) << c.type;
        port.statusFromData = [](std::uint8_t) { return std::uint8_t{0x80}; };
        EXPECT_EQ(ReadStatusLine(0x80), 1 - c.misoWhenStatusLow) << c.type;
        EXPECT_TRUE(port.DataWrites().empty()) << "selecting a cable writes nothing";
    }
}

TEST(PortLines, AutoDetectKeepsThePinMapButReadsInverted) {
    FakePort port;
    ScopedFakePort scope(port);
    SelectCable(CableStk200);
    SelectCable(CableAutoDetect);
    EXPECT_EQ(Engine().pinMap.sck, 0x10);
    EXPECT_EQ(Engine().pinMap.reset, 0x80);
    EXPECT_EQ(ReadStatusLine(0x40), 1);
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

struct DriverCase {
    int type;
    std::vector<std::uint8_t> enabled; // register, value; empty when nothing is written
    std::vector<std::uint8_t> disabled;
};

TEST(PortLines, DriversSwitchWithoutAWaitByCableType) {
    constexpr auto Data = static_cast<std::uint8_t>(PortRegister::Data);
    constexpr auto Control = static_cast<std::uint8_t>(PortRegister::Control);
    const DriverCase cases[] = {
        {CableKestan, {}, {}},
        {CableAltera, {Control, 0x02}, {Control, 0xFD}},
        {CableStk200, {Data, 0x51}, {Data, 0x5D}},
        {CableSp12, {}, {}},
        {CableUsb, {}, {}},
    };
    for (const DriverCase& c : cases) {
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

struct DetectCase {
    const char* wiring;
    std::function<std::uint8_t(std::uint8_t)> status;
    int expected;
};

std::uint8_t If(bool condition, std::uint8_t bit) {
    return condition ? bit : std::uint8_t{0};
}

TEST(PortLines, DetectCableRecognisesLoopBacksInOrder) {
    const DetectCase cases[] = {
        {"nothing, status low", [](std::uint8_t) { return std::uint8_t{0x00}; }, CableSp12},
        {"nothing, status high", [](std::uint8_t) { return std::uint8_t{0xFF}; }, CableSp12},
        {"D3 to ERROR", [](std::uint8_t d) { return If(d & 0x08, 0x08); }, CableKestan},
        {"D5 to ACK", [](std::uint8_t d) { return If(d & 0x20, 0x40); }, CableAltera},
        {"D0 to PAPER END", [](std::uint8_t d) { return If(d & 0x01, 0x20); }, CableStk200},
        {"D0 to PAPER END inverted", [](std::uint8_t d) { return If(!(d & 0x01), 0x20); },
         CableSp12},
        {"all three loops",
         [](std::uint8_t d) {
             return static_cast<std::uint8_t>(If(d & 0x08, 0x08) | If(d & 0x20, 0x40) |
                                              If(d & 0x01, 0x20));
         },
         CableKestan},
        {"D5 to ACK and D0 to PAPER END",
         [](std::uint8_t d) {
             return static_cast<std::uint8_t>(If(d & 0x20, 0x40) | If(d & 1, 0x20));
         },
         CableAltera},
    };
    for (const DetectCase& c : cases) {
        FakePort port;
        port.statusFromData = c.status;
        ScopedFakePort scope(port);
        SelectCable(CableUsb);
        EXPECT_EQ(DetectCable(), c.expected) << c.wiring;
        EXPECT_EQ(Engine().cableType, CableStk200) << c.wiring;
        EXPECT_EQ(Engine().pinMap.sck, 0x02) << "detection keeps the pin map: " << c.wiring;
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

TEST(DelayUs, CountsTheRequestAndWaitsOnTheOpenPortsClock) {
    FakePort port;
    ScopedFakePort scope(port);
    const std::uint64_t before = RequestedDelayMicroseconds();
    DelayUs(14000);
    DelayUs(0);
    DelayUs(-5);
    EXPECT_EQ(port.nowUs, 14000);
    EXPECT_EQ(RequestedDelayMicroseconds() - before, 14000u);
}

TEST(DelayUs, WithoutAPortNeverReturnsEarly) {
    using Clock = std::chrono::steady_clock;
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
