// The instructions the target commands put on the wire, seen by a recording fake port.
#include "engine/autoprogram.h"
#include "engine/lock_fuse.h"
#include "engine/memory_commands.h"
#include "fake_port.h"
#include "sim_target_fixture.h"

#include <array>
#include <gtest/gtest.h>
#include <map>

namespace zelk {
namespace {

using Instruction = std::array<std::uint8_t, 4>;

// A chip on an SP12 cable that echoes Programming Enable, gives its signature and answers
// every flash read with `flashRead` and every EEPROM read with `eepromRead`.
struct WireChip {
    std::map<std::uint8_t, std::uint8_t> signature;
    std::uint8_t flashRead = 0xFF;
    std::uint8_t eepromRead = 0xFF;

    std::uint8_t operator()(const std::vector<std::uint8_t>& r) const {
        const std::size_t n = r.size();
        if (n % 4 == 2 && r[n - 2] == 0xAC && r[n - 1] == 0x53) {
            return 0x53;
        }
        if (n % 4 == 3) {
            switch (r[n - 3]) {
            case 0x30:
                return signature.count(r[n - 1]) != 0 ? signature.at(r[n - 1]) : 0xFF;
            case 0x20:
            case 0x28:
                return flashRead;
            case 0xA0:
                return eepromRead;
            default:
                break;
            }
        }
        return 0x00;
    }
};

class WireTest : public test::SimTargetTest {
protected:
    void Connect(std::uint8_t high, std::uint8_t low) {
        chip.signature = {{0, 0x1E}, {1, high}, {2, low}};
        port.target = FakePort::SpiTarget{
            .sck = 0x01,
            .mosi = 0x80,
            .reset = 0x02,
            .miso = 0x80,
            .misoInverted = true,
            .respond = [this](const std::vector<std::uint8_t>& r) { return chip(r); }};
        scope.emplace(port);
    }

    // The instructions after the last identification of PrepareTarget.
    std::vector<Instruction> AfterPrepare() const {
        std::vector<Instruction> all;
        for (std::size_t i = 0; i + 4 <= port.received.size(); i += 4) {
            all.push_back({port.received[i], port.received[i + 1], port.received[i + 2],
                           port.received[i + 3]});
        }
        const Instruction lastSignatureRead = {0x30, 0x00, 0x02, 0x00};
        std::size_t start = 0;
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (all[i] == lastSignatureRead) {
                start = i + 1;
            }
        }
        return {all.begin() + static_cast<long>(start), all.end()};
    }

    using FakePort = test::FakePort;
    WireChip chip;
    FakePort port;
    std::optional<test::ScopedFakePort> scope;
};

TEST_F(WireTest, PageWriteSkipsErasedPages) {
    Connect(0x93, 0x77); // Page2: 2048 bytes in pages of 64
    std::fill(app.flashImage.begin(), app.flashImage.end(), 0x00);
    std::fill_n(app.flashImage.begin() + 3 * 64, 64, ErasedByte);
    ASSERT_TRUE(WriteFlash(app, ui) && FinishFlashWrite());

    std::vector<Instruction> pageWrites;
    int loads = 0;
    for (const Instruction& in : AfterPrepare()) {
        if (in[0] == 0x4C) {
            pageWrites.push_back(in);
        } else {
            EXPECT_TRUE(in[0] == 0x40 || in[0] == 0x48) << int{in[0]};
            ++loads;
        }
    }
    ASSERT_EQ(pageWrites.size(), 31u) << "32 pages less the erased one";
    EXPECT_EQ(pageWrites[2], (Instruction{0x4C, 0x00, 0x40, 0x00}));
    EXPECT_EQ(pageWrites[3], (Instruction{0x4C, 0x00, 0x80, 0x00})) << "page 3 skipped";
    EXPECT_EQ(pageWrites.back(), (Instruction{0x4C, 0x03, 0xE0, 0x00}));
    EXPECT_EQ(loads, 31 * 64);
}

TEST_F(WireTest, UnknownAlgorithmWritesNothingButStillFinishes) {
    Connect(0x93, 0x78); // algorithm 5
    std::fill(app.flashImage.begin(), app.flashImage.end(), 0x00);
    ASSERT_TRUE(WriteFlash(app, ui) && FinishFlashWrite());
    EXPECT_TRUE(AfterPrepare().empty());
    EXPECT_EQ(ui.progressClosed, 1);
}

TEST_F(WireTest, FailedPolledWriteEndsAutoProgramWithoutTheEepromStep) {
    Connect(0x91, 0x01);    // AT90S2313, polled byte writes
    chip.flashRead = 0x7F;  // every flash byte stays busy
    chip.eepromRead = 0x12; // an EEPROM the EEPROM step would write back
    app.flashImage[1] = 0x42;
    ASSERT_TRUE(AutoProgram(app, ui));
    EXPECT_FALSE(FinishFlashWrite());
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back(), "Write failed at 00000001 !") << "the erased byte 0 is skipped";
    EXPECT_EQ(app.autoProgramActive, 0);
    EXPECT_EQ(ui.flashWriteDonePosts, 1);
    EXPECT_FALSE(PortClaimed());
    const std::vector<Instruction> after = AfterPrepare();
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.front(), (Instruction{0x48, 0x00, 0x00, 0x42})) << "nothing after the write";
    for (const Instruction& in : after) {
        EXPECT_NE(in[0], 0xC0) << "no EEPROM write";
    }
}

TEST_F(WireTest, LockAndFuseWritesTakeTheAlgorithmsForm) {
    struct Case {
        std::uint8_t high, low; // signature
        const char* device;
        std::vector<Instruction> lock;
        std::vector<Instruction> fuses;
    };
    const Case cases[] = {
        {0x95,
         0x0F,
         "ATmega328P",
         {{0xAC, 0xFF, 0xFF, 0xFC}},
         {{0xAC, 0xA0, 0x00, 0xFE}, {0xAC, 0xA8, 0x00, 0xDF}, {0xAC, 0xA4, 0x00, 0xFF}}},
        {0x93, 0x77, "Page2", {{0xAC, 0xFD, 0xFF, 0xFF}}, {{0xAC, 0xBE, 0xFF, 0xFF}}},
        {0x91, 0x01, "AT90S2313", {{0xAC, 0xFD, 0xFF, 0xFF}}, {{0xAC, 0xA0, 0x00, 0xFE}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        scope.reset();
        port = FakePort{};
        Connect(c.high, c.low);
        const LockFuseLayout layout = LoadLockFuseLayout(Ini(), c.device);
        ASSERT_TRUE(WriteLockByte(app, ui, 0xFC));
        EXPECT_EQ(AfterPrepare(), c.lock);
        const std::uint64_t waitedBefore = RequestedDelayMicroseconds();
        ASSERT_TRUE(WriteFuseBytes(app, ui, layout, FuseBytes{0xFE, 0xDF, 0xFF}));
        EXPECT_EQ(AfterPrepare(), c.fuses);
        EXPECT_GE(RequestedDelayMicroseconds() - waitedBefore, 15000u);
    }
}

} // namespace
} // namespace zelk
