#include "engine/instructions.h"
#include "fake_port.h"

#include <gtest/gtest.h>

namespace zelk {
namespace {

using test::FakePort;
using test::ProgrammerOn;

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
