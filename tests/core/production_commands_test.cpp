// AutoProgram, serial numbering and the lock and fuse bytes end to end on the simulator.
#include "app/settings_store.h"
#include "engine/autoprogram.h"
#include "engine/flash_write.h"
#include "engine/lock_fuse.h"
#include "engine/memory_commands.h"
#include "engine/serial_numbering.h"
#include "sim_target_fixture.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace zelk {
namespace {

using test::SimTargetTest;

class AutoProgramTest : public SimTargetTest {
protected:
    void SetUp() override {
        Attach("ATmega328P");
        // The target's own EEPROM, which a project without an EEPROM file keeps.
        app.eepromImage[5] = 0x12;
        ASSERT_TRUE(WriteEeprom(app, ui));
        app.eepromImage[5] = ErasedByte;
        // Old flash contents, so that the erase shows.
        app.flashImage[0x100] = 0x00;
        ASSERT_TRUE(WriteFlash(app, ui));
        WaitForFlashWrite();
        ASSERT_TRUE(OnFlashWriteDone(app, ui, FlashWriteDoneParam));
        std::fill(app.flashImage.begin(), app.flashImage.end(), ErasedByte);
        ui.messages.clear();
    }

    // The command, then the completion as the main thread handles it.
    bool Run() {
        if (!AutoProgram(app, ui)) {
            return false;
        }
        WaitForFlashWrite();
        return OnFlashWriteDone(app, ui, FlashWriteDoneParam);
    }
};

TEST_F(AutoProgramTest, KeepsTheEepromWithoutAnEepromFile) {
    testing::WriteWholeFile(folder / "firmware.hex", ":0400000001020304F2\r\n:00000001FF\r\n");
    app.flashFile = (folder / "firmware.hex").string();
    ASSERT_TRUE(Run());
    EXPECT_EQ(Chip().eeprom[5], 0x12);
    EXPECT_EQ(Chip().flash[0], 0x01);
    EXPECT_EQ(Chip().flash[3], 0x04);
    EXPECT_EQ(Chip().flash[0x100], ErasedByte) << "the chip was erased";
    EXPECT_EQ(app.autoProgramActive, 0);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(AutoProgramTest, EepromFileReplacesTheKeptBytes) {
    testing::WriteWholeFile(folder / "data.hex",
                            ":10000000000102030405060708090A0B0C0D0E0F78\r\n:00000001FF\r\n");
    app.eepromFile = (folder / "data.hex").string();
    ASSERT_TRUE(Run());
    for (std::uint8_t i = 0; i < 16; ++i) {
        EXPECT_EQ(Chip().eeprom[i], i);
    }
    EXPECT_TRUE(std::all_of(Chip().eeprom.begin() + 16, Chip().eeprom.end(),
                            [](std::uint8_t b) { return b == ErasedByte; }));
}

TEST_F(AutoProgramTest, FileThatDoesNotLoadStopsBeforeTheErase) {
    testing::WriteWholeFile(folder / "broken.hex", ":0400000001020304F2\r\n:04000400FFFF\r\n");
    app.flashFile = (folder / "broken.hex").string();
    app.flashImage[7] = 0x77;
    EXPECT_FALSE(AutoProgram(app, ui));
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_TRUE(ui.messages.back().starts_with("Urrrk, can't load that file\n" + app.flashFile +
                                               ", line 2: "))
        << ui.messages.back();
    EXPECT_EQ(app.flashImage[7], 0x77) << "the image keeps what it held";
    EXPECT_EQ(app.flashImage[0], ErasedByte);
    EXPECT_EQ(Chip().flash[0x100], 0x00) << "not erased";
    EXPECT_EQ(app.autoProgramActive, 0);
    EXPECT_EQ(ui.flashWriteDonePosts, 1) << "only the set-up's write";
}

TEST_F(AutoProgramTest, TargetGoneBeforeTheFlashWriteClearsTheFlag) {
    // Prepare (24 bytes), Read EEPROM (24 + 4 per byte) and the erase (4) go through, then
    // the target is gone when Write Flash prepares it.
    SimFaults faults;
    faults.removeAfterBytes = 24 + 24 + 4 * 1024 + 4;
    Attach("ATmega328P", faults);
    EXPECT_FALSE(AutoProgram(app, ui));
    EXPECT_EQ(ui.messages.back(), "Init failed. Is target connected and powered on ?");
    EXPECT_EQ(app.autoProgramActive, 0);
}

TEST_F(AutoProgramTest, NothingHappensWithoutATarget) {
    SimFaults faults;
    faults.noneConnected = true;
    Attach("ATmega328P", faults);
    EXPECT_FALSE(AutoProgram(app, ui));
    EXPECT_EQ(ui.messages.back(), "Detect failed");
    EXPECT_EQ(app.autoProgramActive, 0);
}

TEST(SerialNumberText, ParsingAndPadding) {
    EXPECT_EQ(ParseSerialNumber(""), 0u);
    EXPECT_EQ(ParseSerialNumber("007"), 7u);
    EXPECT_EQ(ParseSerialNumber("4294967294"), 4294967294u);
    for (const char* bad : {"4294967295", "99999999999", "-1", "+5", " 5", "12abc", "0x10"}) {
        EXPECT_EQ(ParseSerialNumber(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(SerialDigits("7", 3), "007");
    EXPECT_EQ(SerialDigits("1000", 3), "100");
    EXPECT_EQ(SerialDigits("", 4), "0000");
    EXPECT_EQ(SerialDigits("42", 0), "");
}

class SerialNumberingTest : public SimTargetTest {
protected:
    void SetUp() override { Attach("ATmega328P"); }
};

TEST_F(SerialNumberingTest, WritesPaddedDigitsAndAdvances) {
    struct Case {
        const char* stored;
        int length;
        int location;
        const char* written;
        const char* next;
    };
    const Case cases[] = {
        {"7", 3, 0, "007", "8"},  {"999", 3, 16, "999", "1000"}, {"1000", 3, 16, "100", "1001"},
        {"", 4, 32, "0000", "1"}, {"42", 0, 48, "", "43"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        ASSERT_TRUE(WriteSettingString("Preferences", "SerialNumber", c.stored));
        ASSERT_TRUE(WriteSettingInt("Preferences", "Length", c.length));
        ASSERT_TRUE(WriteSettingInt("Preferences", "location", c.location));
        ASSERT_TRUE(SerialNumbering(app, ui));
        const std::string digits(c.written);
        const auto at = Chip().eeprom.begin() + c.location;
        EXPECT_EQ(std::string(at, at + static_cast<long>(digits.size())), digits);
        EXPECT_EQ(ReadSettingString("Preferences", "SerialNumber", "?"), c.next);
        EXPECT_TRUE(std::equal(Chip().eeprom.begin(), Chip().eeprom.end(), app.eepromImage.begin()))
            << "the EEPROM was read back into its image";
    }
    EXPECT_EQ(Chip().eeprom[48], ErasedByte);
    EXPECT_EQ(ui.progressOpened, ui.progressClosed);
}

TEST_F(SerialNumberingTest, UnusableNumberWritesNothingAndStays) {
    for (const char* stored : {"12abc", "4294967295", "5000000000"}) {
        SCOPED_TRACE(stored);
        ASSERT_TRUE(WriteSettingString("Preferences", "SerialNumber", stored));
        ASSERT_TRUE(WriteSettingInt("Preferences", "Length", 4));
        EXPECT_FALSE(SerialNumbering(app, ui));
        EXPECT_EQ(ui.messages.back(), std::string("Serial number \"") + stored +
                                          "\" is not a number from 0 to 4294967294.");
        EXPECT_EQ(ReadSettingString("Preferences", "SerialNumber", ""), stored);
    }
    EXPECT_EQ(ui.progressOpened, 0);
    EXPECT_EQ(CurrentPort(), nullptr) << "the target was never touched";
}

TEST_F(SerialNumberingTest, NoTargetSaysDetectFailedAndStays) {
    SimFaults faults;
    faults.noneConnected = true;
    Attach("ATmega328P", faults);
    ASSERT_TRUE(WriteSettingString("Preferences", "SerialNumber", "5"));
    EXPECT_FALSE(SerialNumbering(app, ui));
    EXPECT_EQ(ui.messages.back(), "Detect failed");
    EXPECT_EQ(ReadSettingString("Preferences", "SerialNumber", ""), "5");
    EXPECT_FALSE(ui.progressIsOpen);
}

TEST_F(SimTargetTest, LockAndFuseBoxesRoundTripThroughTheChip) {
    Attach("ATmega328P");
    const LockFuseLayout layout = LoadLockFuseLayout(Ini(), "ATmega328P");
    ASSERT_EQ(layout.Boxes().size(), 4u);
    // Tick CKSEL0 only; SPIEN (fixed "0" in the high byte) is programmed whatever the boxes.
    FuseBytes wanted;
    wanted.low = layout.ChipFromTicks(LockFuseByte::Fuse, 0x01);
    wanted.high = layout.ChipFromTicks(LockFuseByte::FuseHigh, 0x00);
    wanted.ext = layout.ChipFromTicks(LockFuseByte::FuseExt, 0x00);
    EXPECT_EQ(wanted, (FuseBytes{0xFE, 0xDF, 0xFF}));
    ASSERT_TRUE(WriteFuseBytes(app, ui, layout, wanted));
    ASSERT_TRUE(WriteLockByte(app, ui, layout.ChipFromTicks(LockFuseByte::Lock, 0x02)));

    const std::optional<FuseBytes> fuses = ReadFuseBytes(app, ui, layout);
    ASSERT_TRUE(fuses.has_value());
    EXPECT_EQ(layout.TicksFromChip(LockFuseByte::Fuse, fuses->low), 0x01);
    EXPECT_EQ(fuses->high & 0x20, 0);
    const std::optional<std::uint8_t> lock = ReadLockByte(app, ui, layout);
    ASSERT_TRUE(lock.has_value());
    EXPECT_EQ(layout.TicksFromChip(LockFuseByte::Lock, *lock), 0x02);
    EXPECT_TRUE(ui.messages.empty());
}

} // namespace
} // namespace zelk
