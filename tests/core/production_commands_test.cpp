// AutoProgram, serial numbering and the lock and fuse bytes end to end on the simulator.
#include "app/serial_number_run.h"
#include "engine/autoprogram.h"
#include "engine/memory_commands.h"
#include "engine/program_sequence.h"
#include "platform/settings_store.h"
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
        app.images.eepromImage[5] = 0x12;
        ASSERT_TRUE(WriteEeprom(*programmer, app.images, ui));
        app.images.eepromImage[5] = ErasedByte;
        // Old flash contents, so that the erase shows.
        app.images.flashImage[0x100] = 0x00;
        ASSERT_TRUE(StartFlashWrite(ui) && FinishFlashWrite());
        std::fill(app.images.flashImage.begin(), app.images.flashImage.end(), ErasedByte);
        ui.messages.clear();
    }

    std::string HexFile(const char* name, const char* contents) {
        testing::WriteWholeFile(folder / name, contents);
        return (folder / name).string();
    }
};

// A file that does not load stops the run before the chip is erased, naming its line.
TEST_F(AutoProgramTest, FileThatDoesNotLoadStopsBeforeTheErase) {
    app.flashFile = HexFile("broken.hex", ":0400000001020304F2\r\n:04000400FFFF\r\n");
    app.images.flashImage[7] = 0x77;
    const ProgramResult result =
        RunAutoProgram(*programmer, app.images, {app.flashFile, app.eepromFile}, {}, ui);
    EXPECT_FALSE(result.succeeded);
    EXPECT_EQ(result.failedStep, "Loading files");
    const bool named = std::ranges::any_of(ui.messages, [&](const std::string& message) {
        return message.starts_with("Urrrk, can't load that file\n" + app.flashFile + ", line 2: ");
    });
    EXPECT_TRUE(named);
    EXPECT_EQ(app.images.flashImage[7], 0x77) << "the image keeps what it held";
    EXPECT_EQ(Chip().flash[0x100], 0x00) << "not erased";
}

// A flash write that fails ends with its message and the target released.
TEST_F(SimTargetTest, FailedPolledWriteIsReported) {
    SimFaults busy;
    busy.stuckBusy = true; // a programmed flash byte reads 0x7F for ever
    Attach("AT90S2313", busy);
    std::fill(app.images.flashImage.begin(), app.images.flashImage.end(), ErasedByte);
    app.images.flashImage[1] = 0x42;
    ASSERT_TRUE(StartFlashWrite(ui));
    EXPECT_FALSE(FinishFlashWrite());
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Write failed at 00000001 !"})
        << "the erased byte 0 is skipped";
    EXPECT_NE(programmer, nullptr);
}

class SerialNumberingTest : public SimTargetTest {
protected:
    void Store(const char* number, int length, int location = 0) {
        ASSERT_TRUE(WriteSettingString("Preferences", "SerialNumber", number));
        ASSERT_TRUE(WriteSettingInt("Preferences", "Length", length));
        ASSERT_TRUE(WriteSettingInt("Preferences", "location", location));
    }
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
        {"7", 3, 0, "007", "8"},
        {"999", 3, 16, "999", "1000"},
        {"", 4, 32, "0000", "1"},
        {"0042", 2, 1022, "42", "43"}, // ends at the last byte
        {"4294967294", 10, 64, "4294967294", "4294967295"},
    };
    Attach("ATmega328P");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        Store(c.stored, c.length, c.location);
        ASSERT_TRUE(RunSerialNumbering(*programmer, app.images, ui));
        const std::string digits(c.written);
        const auto at = Chip().eeprom.begin() + c.location;
        EXPECT_EQ(std::string(at, at + static_cast<long>(digits.size())), digits);
        EXPECT_EQ(ReadSettingString("Preferences", "SerialNumber", "?"), c.next);
        EXPECT_TRUE(
            std::equal(Chip().eeprom.begin(), Chip().eeprom.end(), app.images.eepromImage.begin()))
            << "the EEPROM was read back into its image";
    }
    EXPECT_EQ(ui.progressOpened, ui.progressClosed);
}

TEST_F(SerialNumberingTest, FailureWritesNothingAndKeepsTheNumber) {
    SimFaults none;
    none.noneConnected = true;
    // Not decimal digits, or more than the count can go to.
    const std::pair<const char*, SimFaults> cases[] = {
        {"12abc", {}},      {"-1", {}},         {"+5", {}}, {"0x10", {}},
        {"4294967295", {}}, {"5000000000", {}}, {"5", none}};
    for (const auto& [stored, faults] : cases) {
        SCOPED_TRACE(stored);
        Attach("ATmega328P", faults);
        Store(stored, 4);
        EXPECT_FALSE(RunSerialNumbering(*programmer, app.images, ui));
        EXPECT_EQ(ui.messages.back(), faults.noneConnected
                                          ? std::string("Detect failed")
                                          : std::string("Serial number \"") + stored +
                                                "\" is not a number from 0 to 4294967294.");
        EXPECT_EQ(ReadSettingString("Preferences", "SerialNumber", ""), stored);
        EXPECT_EQ(programmer->Port() == nullptr, !faults.noneConnected)
            << "a bad number stays home";
        EXPECT_FALSE(ui.progressIsOpen);
    }
}

// A number that cannot be written whole, or did not reach the chip, must not be used up: the
// next board would get a number that is not on this one.
TEST_F(SerialNumberingTest, ANumberIsUsedOnlyWhenItsDigitsReadBack) {
    SimFaults busy;
    busy.stuckBusy = true;
    SimFaults removed;
    removed.removeAfterBytes = 40 + 3 * 8 + 4 * 4; // the digits went out, then the read-back
    const struct {
        const char* stored;
        int length;
        int location;
        SimFaults faults;
        std::string message;
    } cases[] = {
        {"42", 0, 0, {}, "The serial number's length is 0: nothing would be written."},
        {"1000", 3, 0, {}, "Serial number 1000 does not fit in 3 digits."},
        {"7",
         3,
         1022,
         {},
         "The serial number's 3 digits at 000003FE pass the end of the ATmega328P's 1024 bytes "
         "of EEPROM."},
        {"7", 3, -1, {}, "The serial number's location -1 is negative."},
        {"123", 3, 8, busy, "Serial number write failed at 00000008 !"},
        {"123", 3, 8, removed, "Serial number write failed at 00000008 !"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Attach("ATmega328P", c.faults);
        Store(c.stored, c.length, c.location);
        EXPECT_FALSE(RunSerialNumbering(*programmer, app.images, ui));
        EXPECT_EQ(ui.messages.back(), c.message);
        EXPECT_EQ(ReadSettingString("Preferences", "SerialNumber", ""), c.stored);
        if (programmer->Port() == nullptr) {
            continue; // refused before the port was opened
        }
        if (c.faults.removeAfterBytes) {
            EXPECT_EQ(Chip().eeprom[8], '1') << "written, but not read back";
        } else {
            EXPECT_EQ(std::count(Chip().eeprom.begin(), Chip().eeprom.end(), ErasedByte), 1024)
                << "nothing written";
        }
    }
}

} // namespace
} // namespace zelk
