// SPDX-License-Identifier: GPL-3.0-or-later
// Serial numbering end to end on the simulator: the number in the settings reaches the
// chip's EEPROM and advances only when its digits read back.
#include "engine/serial_numbering.h"
#include "platform/settings_store.h"
#include "sim_target_fixture.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace zelk {
namespace {

using test::SimTargetTest;

class SerialNumberingTest : public SimTargetTest {
protected:
    void Store(const char* number, int length, int location = 0) {
        ASSERT_TRUE(store.WriteString("Preferences", "SerialNumber", number));
        ASSERT_TRUE(store.WriteInt("Preferences", "Length", length));
        ASSERT_TRUE(store.WriteInt("Preferences", "location", location));
    }

    SettingsStore store{SettingsStore::UserFile()};
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
        ASSERT_EQ(SerialNumbering(*programmer, app.images, ui, store), std::stoul(c.next) - 1);
        const std::string digits(c.written);
        const auto at = Chip().eeprom.begin() + c.location;
        EXPECT_EQ(std::string(at, at + static_cast<long>(digits.size())), digits);
        EXPECT_EQ(store.ReadString("Preferences", "SerialNumber", "?"), c.next);
        EXPECT_TRUE(
            std::equal(Chip().eeprom.begin(), Chip().eeprom.end(), app.images.eepromImage.begin()))
            << "the EEPROM was read back into its image";
    }
    EXPECT_EQ(ui.progressOpened, ui.progressClosed);
}

// A number that is none, cannot be written whole, or did not reach the chip must not be used
// up: the next board would get a number that is not on this one.
TEST_F(SerialNumberingTest, AFailedRunWritesNothingAndKeepsTheNumber) {
    const auto notANumber = [](const std::string& stored) {
        return "Serial number \"" + stored + "\" is not a number from 0 to 4294967294.";
    };
    SimFaults nothing;
    nothing.noneConnected = true;
    SimFaults busy;
    busy.stuckBusy = true;
    SimFaults removed;
    removed.removeAfterBytes = 40 + 3 * 8; // the digits went out, not their read-back
    const struct {
        const char* stored;
        int length;
        int location;
        SimFaults faults;
        bool opensPort;
        std::string message;
    } cases[] = {
        {"12abc", 4, 0, {}, false, notANumber("12abc")},
        {"-1", 4, 0, {}, false, notANumber("-1")},
        {"+5", 4, 0, {}, false, notANumber("+5")},
        {"0x10", 4, 0, {}, false, notANumber("0x10")},
        {"4294967295", 4, 0, {}, false, notANumber("4294967295")},
        {"5000000000", 4, 0, {}, false, notANumber("5000000000")},
        {"42", 0, 0, {}, false, "The serial number's length is 0: nothing would be written."},
        {"1000", 3, 0, {}, false, "Serial number 1000 does not fit in 3 digits."},
        {"7", 3, -1, {}, false, "The serial number's location -1 is negative."},
        {"7",
         3,
         1022,
         {},
         true,
         "The serial number's 3 digits at 000003FE pass the end of the ATmega328P's 1024 bytes "
         "of EEPROM."},
        {"5", 4, 0, nothing, true, "Detect failed"},
        {"123", 3, 8, busy, true, "Serial number write failed at 00000008 !"},
        {"123", 3, 8, removed, true, "Serial number write failed at 00000008 !"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Attach("ATmega328P", c.faults);
        Store(c.stored, c.length, c.location);
        EXPECT_EQ(SerialNumbering(*programmer, app.images, ui, store), std::nullopt);
        EXPECT_EQ(ui.LastMessage(), c.message);
        EXPECT_EQ(store.ReadString("Preferences", "SerialNumber", ""), c.stored);
        EXPECT_FALSE(ui.progressIsOpen);
        ASSERT_EQ(programmer->Port() != nullptr, c.opensPort) << "a bad number stays home";
        if (c.faults.removeAfterBytes) {
            EXPECT_EQ(Chip().eeprom[8], '1') << "written, but not read back";
        } else if (c.opensPort) {
            EXPECT_EQ(std::count(Chip().eeprom.begin(), Chip().eeprom.end(), ErasedByte), 1024)
                << "nothing written";
        }
    }
}

} // namespace
} // namespace zelk
