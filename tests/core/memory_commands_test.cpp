// SPDX-License-Identifier: GPL-3.0-or-later
// The target memory commands end to end on the simulated cable and target.
#include "engine/lock_fuse.h"
#include "engine/memory_commands.h"
#include "engine/memory_steps.h"
#include "engine/serial_numbering.h"
#include "engine/target_connection.h"
#include "sim_target_fixture.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace zelk {
namespace {

using test::SimTargetTest;

std::vector<std::uint8_t> Prefix(const std::vector<std::uint8_t>& bytes, std::uint32_t n) {
    return {bytes.begin(), bytes.begin() + n};
}

std::string AtAddress(const char* what, std::uint32_t address) {
    char text[48];
    std::snprintf(text, sizeof text, "%s failed at %08X !", what, address);
    return text;
}

// Each device on a parallel-port cable and behind the GPIO header's code path.
class EveryAlgorithm : public SimTargetTest,
                       public ::testing::WithParamInterface<std::tuple<const char*, int>> {
protected:
    const char* Device() const { return std::get<0>(GetParam()); }
    void SetUp() override { cable = std::get<1>(GetParam()); }
};

TEST_P(EveryAlgorithm, EveryMemoryCommandRoundTrips) {
    Attach(Device());
    ASSERT_TRUE(EraseChip(*programmer, ui));
    const std::uint32_t size = programmer->device.programSize;
    ASSERT_GT(size, 0u);
    // Distinct bytes after an erased start, with a whole erased page at 256..511 and a 0x7F,
    // which polling cannot tell from busy.
    for (std::uint32_t i = 0; i < size; ++i) {
        app.images.flashImage[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    }
    std::fill_n(app.images.flashImage.begin(), 0x21, ErasedByte);
    std::fill_n(app.images.flashImage.begin() + 256, 256, ErasedByte);
    app.images.flashImage[0x25] = 0x7F;

    ASSERT_TRUE(WriteFlashImage());
    const std::vector<std::uint8_t> written = Prefix(app.images.flashImage, size);
    EXPECT_EQ(Chip().flash, written);
    EXPECT_TRUE(VerifyFlash(*programmer, app.images, ui));
    EXPECT_EQ(ui.LastMessage(), "Verify successfull");
    std::fill(app.images.flashImage.begin(), app.images.flashImage.end(), 0x00);
    ASSERT_TRUE(ReadFlash(*programmer, app.images, ui));
    EXPECT_EQ(Prefix(app.images.flashImage, size), written);

    const auto dataSize = static_cast<std::uint32_t>(programmer->device.dataSize);
    for (std::uint32_t i = 0; i < dataSize; ++i) {
        app.images.eepromImage[i] = i % 3 == 0 ? ErasedByte : static_cast<std::uint8_t>(i);
    }
    ASSERT_TRUE(WriteEeprom(*programmer, app.images, ui));
    const std::vector<std::uint8_t> eeprom = Prefix(app.images.eepromImage, dataSize);
    EXPECT_EQ(Chip().eeprom, eeprom);
    EXPECT_TRUE(VerifyEeprom(*programmer, app.images, ui));
    EXPECT_EQ(ui.LastMessage(), "Verify successfull");
    std::fill(app.images.eepromImage.begin(), app.images.eepromImage.end(), 0x00);
    ASSERT_TRUE(ReadEeprom(*programmer, app.images, ui));
    EXPECT_EQ(Prefix(app.images.eepromImage, dataSize), eeprom);

    EXPECT_FALSE(BlankCheck(*programmer, ui));
    EXPECT_EQ(ui.LastMessage(), AtAddress("Blankcheck", 0x21));
    // One flipped bit in the answer for 0x12A: a target answers 40 bytes to PrepareTarget,
    // then 4 per byte read, the byte read last.
    SimFaults bitError;
    bitError.bitErrorAtByte = 40 + 4 * 0x12A + 4;
    Attach(Device(), bitError);
    std::copy(written.begin(), written.end(), app.images.flashImage.begin());
    EXPECT_FALSE(VerifyFlash(*programmer, app.images, ui));
    EXPECT_EQ(ui.LastMessage(), AtAddress("Verify", 0x12A));

    Attach(Device());
    ASSERT_TRUE(EraseChip(*programmer, ui));
    EXPECT_TRUE(BlankCheck(*programmer, ui));
    EXPECT_EQ(ui.LastMessage(), "Device is Empty");
    EXPECT_EQ(ui.progressOpened, ui.progressClosed);
}

INSTANTIATE_TEST_SUITE_P(Devices, EveryAlgorithm,
                         ::testing::Combine(::testing::Values("AT90S1200", "AT90S2313", "Page2",
                                                              "ATmega328P", "ATmega128"),
                                            ::testing::Values(CableAutoDetect, CableGpio)));

// The waits of a page write: an erased page costs none, every other page the same.
TEST_F(SimTargetTest, PageWriteSkipsErasedPages) {
    Attach("Page2"); // 32 pages of 64 bytes
    const auto waitsFor = [&](int erasedPages) {
        std::fill(app.images.flashImage.begin(), app.images.flashImage.end(), 0x00);
        std::fill_n(app.images.flashImage.begin() + 64, 64 * erasedPages, ErasedByte);
        const std::uint64_t before = programmer->RequestedDelayUs();
        EXPECT_TRUE(WriteFlashImage());
        return programmer->RequestedDelayUs() - before;
    };
    const std::uint64_t all = waitsFor(0);
    const std::uint64_t onePage = all - waitsFor(1);
    EXPECT_GT(onePage, 0u);
    EXPECT_EQ(all - waitsFor(31), 31 * onePage);
}

// Presses Cancel once the bar reaches 10 %.
class CancellingUi : public test::RecordingTargetUi {
public:
    explicit CancellingUi(std::atomic<int>& flag) : cancel(flag) {}
    void ProgressSet(int percent) override {
        RecordingTargetUi::ProgressSet(percent);
        if (percent >= 10) {
            cancel.store(1);
        }
    }

private:
    std::atomic<int>& cancel;
};

TEST_F(SimTargetTest, CancelStopsByteAndPageWritesAndFails) {
    for (const char* device : {"AT90S1200", "ATmega328P"}) {
        SCOPED_TRACE(device);
        Attach(device);
        ASSERT_TRUE(EraseChip(*programmer, ui));
        std::atomic<int> cancel{0};
        programmer->SetCancelFlag(&cancel);
        CancellingUi cancelling(cancel);
        std::fill(app.images.flashImage.begin(), app.images.flashImage.end(), 0x00);
        EXPECT_FALSE(WriteFlashImage(cancelling)) << "a cancelled write did not do its job";
        EXPECT_EQ(cancelling.messages, std::vector<std::string>{CancelledMessage});
        const auto written = std::count(Chip().flash.begin(), Chip().flash.end(), 0x00);
        EXPECT_LT(written, static_cast<long>(programmer->device.programSize) / 5);
        ASSERT_FALSE(cancelling.progress.empty());
        EXPECT_LT(cancelling.progress.back(), 20);
        EXPECT_EQ(cancelling.progressClosed, cancelling.progressOpened);
        programmer->SetCancelFlag(nullptr);
    }
}

} // namespace
} // namespace zelk
