// The target memory commands end to end on the simulated cable and target.
#include "app/settings_store.h"
#include "engine/flash_write.h"
#include "engine/lock_fuse.h"
#include "engine/memory_commands.h"
#include "engine/port_claim.h"
#include "engine/serial_numbering.h"
#include "engine/target_connection.h"
#include "sim_target_fixture.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace zelk {
namespace {

using test::SimTargetTest;

// Distinct bytes with 0xFF runs, a whole erased page at 256..511 and a 0x7F, which polling
// cannot tell from busy.
void FillTestImage(std::vector<std::uint8_t>& image, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    }
    std::fill_n(image.begin() + 256, 256, ErasedByte);
    image[3] = ErasedByte;
    image[5] = 0x7F;
}

std::vector<std::uint8_t> Prefix(const std::vector<std::uint8_t>& bytes, std::uint32_t n) {
    return {bytes.begin(), bytes.begin() + n};
}

class MemoryCommands : public SimTargetTest {
protected:
    // Writes the flash image and handles the completion as the main thread would.
    bool WriteFlashAndWait() {
        if (!WriteFlash(app, ui)) {
            return false;
        }
        WaitForFlashWrite();
        return OnFlashWriteDone(app, ui, FlashWriteDoneParam);
    }
};

class EveryAlgorithm : public MemoryCommands, public ::testing::WithParamInterface<const char*> {};

TEST_P(EveryAlgorithm, WriteVerifyReadAndBlankCheckRoundTrip) {
    Attach(GetParam());
    ASSERT_TRUE(EraseChip(app, ui));
    ASSERT_FALSE(app.device.name.empty());
    const std::uint32_t size = app.device.programSize;
    FillTestImage(app.flashImage, size);

    ASSERT_TRUE(WriteFlashAndWait());
    EXPECT_EQ(Chip().flash, Prefix(app.flashImage, size));
    EXPECT_EQ(ui.flashWriteDonePosts, 1);
    EXPECT_EQ(ui.progressOpened, ui.progressClosed);

    EXPECT_TRUE(VerifyFlash(app, ui));
    EXPECT_EQ(ui.messages.back(), "Verify successfull");

    const std::vector<std::uint8_t> written = Prefix(app.flashImage, size);
    std::fill(app.flashImage.begin(), app.flashImage.end(), 0x00);
    app.flashImage[size] = 0x5A; // beyond the device: left alone
    ASSERT_TRUE(ReadFlash(app, ui));
    EXPECT_EQ(Prefix(app.flashImage, size), written);
    EXPECT_EQ(app.flashImage[size], 0x5A);
    ASSERT_FALSE(ui.imageChanges.empty());
    EXPECT_EQ(ui.imageChanges.back().memory, MemoryKind::Flash);
    EXPECT_EQ(ui.imageChanges.back().length, size);

    EXPECT_FALSE(BlankCheck(app, ui));
    EXPECT_EQ(ui.messages.back(), "Blankcheck failed at 00000000 !");
    ASSERT_TRUE(EraseChip(app, ui));
    EXPECT_TRUE(BlankCheck(app, ui));
    EXPECT_EQ(ui.messages.back(), "Device is Empty");
    EXPECT_EQ(ui.progressOpened, ui.progressClosed);
}

TEST_P(EveryAlgorithm, EepromRoundTrip) {
    Attach(GetParam());
    ASSERT_TRUE(EraseChip(app, ui));
    const auto size = static_cast<std::uint32_t>(app.device.dataSize);
    for (std::uint32_t i = 0; i < size; ++i) {
        app.eepromImage[i] = i % 3 == 0 ? ErasedByte : static_cast<std::uint8_t>(i);
    }
    ASSERT_TRUE(WriteEeprom(app, ui));
    EXPECT_EQ(Chip().eeprom, Prefix(app.eepromImage, size));
    EXPECT_TRUE(VerifyEeprom(app, ui));
    EXPECT_EQ(ui.messages.back(), "Verify successfull");

    app.eepromImage[size - 1] ^= 0x01;
    EXPECT_FALSE(VerifyEeprom(app, ui));
    char expected[40];
    std::snprintf(expected, sizeof expected, "Verify failed at %08X !", size - 1);
    EXPECT_EQ(ui.messages.back(), expected);

    const std::vector<std::uint8_t> onChip = Chip().eeprom;
    std::fill(app.eepromImage.begin(), app.eepromImage.end(), 0x00);
    ASSERT_TRUE(ReadEeprom(app, ui));
    EXPECT_EQ(Prefix(app.eepromImage, size), onChip);
    EXPECT_EQ(ui.imageChanges.back().memory, MemoryKind::Eeprom);
    EXPECT_EQ(ui.imageChanges.back().length, size);
}

INSTANTIATE_TEST_SUITE_P(Devices, EveryAlgorithm,
                         ::testing::Values("AT90S1200", "AT90S2313", "Page2", "ATmega328P"));

TEST_F(MemoryCommands, LargeFlashAbove64KiBSurvives) {
    Attach("ATmega128");
    ASSERT_TRUE(EraseChip(app, ui));
    FillTestImage(app.flashImage, FlashImageSize);
    ASSERT_TRUE(WriteFlashAndWait());
    EXPECT_EQ(Chip().flash, app.flashImage);
    EXPECT_TRUE(VerifyFlash(app, ui));
}

TEST_F(MemoryCommands, FailuresAreReportedAtTheirAddress) {
    struct Case {
        const char* name;
        std::function<void(SimFaults&)> fault;
        std::function<bool(AppState&, test::RecordingTargetUi&)> command;
        std::string message;
    };
    // A target answers 24 bytes to PrepareTarget, then 4 per byte read; the result of
    // address a is byte 24 + 4a + 4.
    const Case cases[] = {
        {"bit error", [](SimFaults& f) { f.bitErrorAtByte = 24 + 4 * 0x12A + 4; }, VerifyFlash,
         "Verify failed at 0000012A !"},
        {"bit error on a blank chip", [](SimFaults& f) { f.bitErrorAtByte = 24 + 4 * 0x12A + 4; },
         BlankCheck, "Blankcheck failed at 0000012A !"},
        {"target removed", [](SimFaults& f) { f.removeAfterBytes = 24 + 4 * 0x40; }, VerifyEeprom,
         "Verify failed at 00000040 !"},
        {"nothing connected", [](SimFaults& f) { f.noneConnected = true; }, VerifyFlash,
         "Init failed. Is target connected and powered on ?"},
        {"no echo", [](SimFaults& f) { f.noEchoAttempts = 40; }, ReadFlash,
         "Init failed. Is target connected and powered on ?"},
    };
    // An EEPROM of zeros, so that a target that stops answering differs from it.
    Attach("ATmega328P");
    std::fill(app.eepromImage.begin(), app.eepromImage.end(), 0x00);
    ASSERT_TRUE(WriteEeprom(app, ui));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimFaults faults;
        c.fault(faults);
        Attach("ATmega328P", faults);
        ui.messages.clear();
        EXPECT_FALSE(c.command(app, ui));
        ASSERT_FALSE(ui.messages.empty());
        EXPECT_EQ(ui.messages.back(), c.message);
        EXPECT_FALSE(ui.progressIsOpen);
    }
}

TEST_F(MemoryCommands, CableChosenForOneRunIsCheckedAndNotStored) {
    SimFaults faults;
    faults.wrongCable = CableStk200;
    Attach("ATmega328P", faults);
    app.cableOverride = CableKestan;
    EXPECT_FALSE(BlankCheck(app, ui));
    EXPECT_EQ(ui.messages.back(), "Cannot find the selected interface on the selected port.");
    app.cableOverride = CableStk200;
    EXPECT_TRUE(BlankCheck(app, ui));
    EXPECT_FALSE(std::filesystem::exists(SettingsFilePath()));
}

TEST_F(MemoryCommands, TargetAnsweringLateStillEntersProgrammingMode) {
    SimFaults faults;
    faults.noEchoAttempts = 4;
    Attach("ATmega328P", faults);
    EXPECT_TRUE(BlankCheck(app, ui));
    EXPECT_EQ(ui.messages.back(), "Device is Empty");
}

TEST_F(MemoryCommands, UnknownChipGetsNoCommand) {
    Attach("ATmega328P");
    testing::WriteWholeFile(Ini(), "[Devices]\nD1=Other\n[Other]\nSignature=0x1E9999\n");
    app.device = {"", 2048, 128, 3, 64};
    EXPECT_FALSE(VerifyFlash(app, ui));
    EXPECT_EQ(ui.deviceText, "Error");
    EXPECT_EQ(ui.messages.back(), "The device with signature 950F is not in zelk.ini.");
    EXPECT_TRUE(EraseChip(app, ui)) << "erasing needs no sizes";
}

TEST_F(MemoryCommands, StuckBusyEndsThePolledWriteWithItsAddress) {
    SimFaults faults;
    faults.stuckBusy = true;
    Attach("AT90S2313", faults);
    app.flashImage[0] = ErasedByte;
    app.flashImage[1] = 0x42;
    EXPECT_FALSE(WriteFlashAndWait());
    EXPECT_EQ(ui.messages.back(), "Write failed at 00000001 !");
    EXPECT_EQ(ui.flashWriteDonePosts, 1);
    EXPECT_FALSE(PortClaimed());
}

// Presses Cancel once the bar reaches 10 %.
class CancellingUi : public test::RecordingTargetUi {
public:
    void ProgressSet(int percent) override {
        RecordingTargetUi::ProgressSet(percent);
        if (percent >= 10) {
            PressCancel();
        }
    }
};

TEST_F(MemoryCommands, CancelStopsByteModeButNotPageMode) {
    for (const char* device : {"AT90S1200", "ATmega328P"}) {
        SCOPED_TRACE(device);
        Attach(device);
        CancellingUi cancelling;
        ASSERT_TRUE(EraseChip(app, cancelling));
        std::fill(app.flashImage.begin(), app.flashImage.end(), 0x00);
        ASSERT_TRUE(WriteFlash(app, cancelling));
        WaitForFlashWrite();
        EXPECT_TRUE(OnFlashWriteDone(app, cancelling, FlashWriteDoneParam));
        const auto written = std::count(Chip().flash.begin(), Chip().flash.end(), 0x00);
        if (app.device.algorithm == 0) {
            EXPECT_LT(written, static_cast<long>(app.device.programSize) / 5);
            EXPECT_LT(cancelling.progress.back(), 20);
        } else {
            EXPECT_EQ(written, static_cast<long>(app.device.programSize));
        }
        EXPECT_EQ(cancelling.progressClosed, cancelling.progressOpened);
        EXPECT_EQ(cancelling.flashWriteDonePosts, 1);
    }
}

TEST_F(MemoryCommands, UnknownAlgorithmWritesNothingButStillFinishes) {
    Attach("Odd5");
    std::fill(app.flashImage.begin(), app.flashImage.end(), 0x00);
    ASSERT_TRUE(WriteFlashAndWait());
    EXPECT_TRUE(std::all_of(Chip().flash.begin(), Chip().flash.end(),
                            [](std::uint8_t b) { return b == ErasedByte; }));
    EXPECT_EQ(ui.flashWriteDonePosts, 1);
    EXPECT_EQ(ui.progressClosed, 1);
}

TEST_F(MemoryCommands, CompletionWithAnotherParameterChangesNothing) {
    Attach("ATmega328P");
    app.autoProgramActive = 1;
    EXPECT_FALSE(OnFlashWriteDone(app, ui, 0x101));
    EXPECT_EQ(app.autoProgramActive, 1);
    EXPECT_TRUE(ui.messages.empty());
}

// While the worker holds the port every other user is refused, cleanly.
TEST_F(MemoryCommands, EverythingElseIsRefusedWhileTheFlashIsWritten) {
    Attach("ATmega328P");
    ASSERT_TRUE(EraseChip(app, ui));
    std::fill(app.flashImage.begin(), app.flashImage.end(), 0x00);
    ASSERT_TRUE(WriteFlash(app, ui));
    WaitForFlashWrite(); // the claim lasts until the completion is handled

    const LockFuseLayout layout = LoadLockFuseLayout(Ini(), "ATmega328P");
    const std::function<bool()> commands[] = {
        [&] { return EraseChip(app, ui); },
        [&] { return BlankCheck(app, ui); },
        [&] { return ReadFlash(app, ui); },
        [&] { return VerifyFlash(app, ui); },
        [&] { return ReadEeprom(app, ui); },
        [&] { return WriteEeprom(app, ui); },
        [&] { return VerifyEeprom(app, ui); },
        [&] { return WriteFlash(app, ui); },
        [&] { return SerialNumbering(app, ui); },
        [&] { return ReadLockByte(app, ui, layout).has_value(); },
        [&] { return ReadFuseBytes(app, ui, layout).has_value(); },
        [&] { return WriteLockByte(app, ui, 0xFC); },
        [&] { return WriteFuseBytes(app, ui, layout, FuseBytes{}); },
        [&] {
            DetectDevice(app, ui);
            return false;
        },
        [&] {
            ResetDevice(app, ui);
            return false;
        },
    };
    const int opened = ui.progressOpened;
    for (const auto& command : commands) {
        ui.messages.clear();
        EXPECT_FALSE(command());
        EXPECT_EQ(ui.messages, std::vector<std::string>{PortBusyMessage});
    }
    EXPECT_FALSE(SelectCable(CableStk200));
    EXPECT_FALSE(SelectPort(1));
    EXPECT_EQ(ui.progressOpened, opened);
    EXPECT_EQ(Engine().cableType, CableKestan);

    EXPECT_TRUE(OnFlashWriteDone(app, ui, FlashWriteDoneParam));
    EXPECT_TRUE(VerifyFlash(app, ui));
}

} // namespace
} // namespace zelk
