// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/hardware_port.h"
#include "platform/ppdev_port.h"
#include "platform/settings_store.h"
#include "scratch_folder.h"
#include "station/preference_values.h"
#include "station/stored_connection.h"

#include <gtest/gtest.h>

namespace zelk {
namespace {

using testing::ScratchFolder;
using testing::WriteWholeFile;

void AddParport(const ScratchFolder& proc, const std::string& name, const std::string& base) {
    std::filesystem::create_directories(proc / name);
    WriteWholeFile(proc / name / "base-addr", base);
}

std::vector<std::string> Texts(const std::vector<PortChoice>& choices) {
    std::vector<std::string> texts;
    for (const PortChoice& choice : choices) {
        texts.push_back(choice.text);
    }
    return texts;
}

// The three LPT entries stay first and keep their positions; the kernel's other ports follow
// in number order (a port at an LPT address is that LPT entry), then the GPIO chips, then the
// simulated targets. The kernel's port is found by the first number of its base address.
TEST(PortChoices, LptFirstThenTheKernelsOtherPortsThenGpioThenTheSimulator) {
    ScratchFolder proc;
    AddParport(proc, "default", "888\n");
    AddParport(proc, "parport0", "888\t0\n");
    AddParport(proc, "parport10", "49168\t49176\n");
    AddParport(proc, "parport2", "57360\t57368\n");
    AddParport(proc, "parport3", "not a number\n");
    const std::vector<PortChoice> choices =
        PortChoices(proc.Path(), {"/dev/gpiochip0"}, {"ATmega328P"});
    EXPECT_EQ(Texts(choices), (std::vector<std::string>{
                                  "0x378 (LPT1:)", "0x278 (LPT2:)", "0x3BC (Alternate LPT1:)",
                                  "0xE010 (/dev/parport2)", "0xC010 (/dev/parport10)",
                                  "GPIO header: /dev/gpiochip0", "Simulated target: ATmega328P"}));
    EXPECT_EQ(choices[2].portPosition, 2);
    EXPECT_EQ(choices[4].portName, "/dev/parport10");
    EXPECT_EQ(choices[5].portName, "gpio:/dev/gpiochip0");
    EXPECT_EQ(choices[6].portName, "sim:ATmega328P");

    EXPECT_EQ(Texts(PortChoices(proc / "missing", {}, {})).size(), 3u) << "no parport driver";

    PreferenceValues values;
    const struct {
        int position;
        std::string name;
        int expected;
    } cases[] = {{1, "", 1},
                 {3, "", -1},
                 {65535, "", -1},
                 {-1, "/dev/parport10", 4},
                 {-1, "gpio:/dev/gpiochip0", 5},
                 {-1, "sim:ATmega328P", 6},
                 {-1, "/dev/parport7", -1}};
    for (const auto& c : cases) {
        values.portPosition = c.position;
        values.portName = c.name;
        EXPECT_EQ(FindPortChoice(choices, values), c.expected) << c.position << " " << c.name;
    }

    std::string listing;
    EXPECT_EQ(FindParportNumber(proc / "missing", 0x378, listing), std::nullopt);
    EXPECT_EQ(FindParportNumber(proc.Path(), 0x378, listing), 0);
    EXPECT_EQ(FindParportNumber(proc.Path(), 0xC010, listing), 10);
    EXPECT_EQ(FindParportNumber(proc.Path(), 0x278, listing), std::nullopt);
    EXPECT_NE(listing.find("parport10 at 0xc010"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("parport3"), std::string::npos) << listing;
}

TEST(CheckNumberField, RefusesWhatIsNoNumberOrOutOfRange) {
    const std::string positive = "Please enter a positive integer.";
    const struct {
        const char* text;
        NumberField field;
        std::optional<std::string> message;
        std::uint32_t value;
    } cases[] = {
        {"8", NumberLengthField, std::nullopt, 8},
        {" 120 ", EepromLocationField, std::nullopt, 120},
        {"0", NumberLengthField, "Please enter an integer between 1 and 8.", 0},
        {"9", NumberLengthField, "Please enter an integer between 1 and 8.", 0},
        {"1000000", SerialNumberField, "Please enter an integer between 0 and 999999.", 0},
        {"99999999999999999999999", SerialNumberField,
         "Please enter an integer between 0 and 999999.", 0},
        {"", SerialNumberField, positive, 0},
        {"-1", SerialNumberField, positive, 0},
        {"12a", SerialNumberField, positive, 0},
        {"0x10", EepromLocationField, positive, 0},
    };
    for (const auto& c : cases) {
        std::uint32_t value = 0;
        EXPECT_EQ(CheckNumberField(c.text, c.field, value), c.message) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

// An empty store gives the first port, autodetect and every AutoProgram step; stored values
// read back under their old names and choose the connection.
TEST(StoredPreferences, ReadBackUnderTheirOldNamesAndChooseTheConnection) {
    ScratchFolder folder;
    SettingsStore store(folder / "zelk.conf");
    const PreferenceValues empty = LoadPreferences(store);
    EXPECT_EQ(empty.portPosition, 0);
    EXPECT_EQ(empty.cablePosition, 0);
    EXPECT_EQ(empty.numberLength, 0u);
    EXPECT_EQ(empty.eepromLocation, 0u);
    EXPECT_EQ(empty.serialNumber, 0u);
    EXPECT_EQ(empty.autoProgram, AutoProgramSteps{});

    PreferenceValues values;
    values.portPosition = -1;
    values.portName = "sim:ATtiny2313";
    values.cablePosition = 3;
    values.sckHalfPeriodUs = 20;
    values.serialNumber = 4711;
    values.numberLength = 6;
    values.eepromLocation = 16;
    values.autoProgram.flashErase = false;
    values.autoProgram.eepromKeep = false;
    values.verifyWrites = false;
    values.singleRead = true;
    ASSERT_TRUE(StorePreferences(store, values));

    EXPECT_EQ(store.ReadInt("Preferences", "PortBase", 0), 65535);
    EXPECT_EQ(store.ReadString("Preferences", "SerialNumber", ""), "4711");
    EXPECT_EQ(store.ReadInt("Preferences", "Location", 0), 16);
    const PreferenceValues read = LoadPreferences(store);
    EXPECT_EQ(read.portName, values.portName);
    EXPECT_EQ(read.sckHalfPeriodUs, 20);
    EXPECT_EQ(read.serialNumber, 4711u);
    EXPECT_EQ(read.autoProgram, values.autoProgram);
    EXPECT_FALSE(read.verifyWrites);
    EXPECT_TRUE(read.singleRead);

    const ConnectionSettings connection = StoredConnection(store);
    EXPECT_EQ(connection.port, PortKind::Simulator);
    EXPECT_EQ(connection.simulator.device, "ATtiny2313");
    EXPECT_EQ(connection.cable, 3);
    EXPECT_EQ(connection.sckHalfPeriodUs, 20);
    EXPECT_FALSE(connection.confirmReads);

    values.portPosition = 2;
    values.portName.clear();
    ASSERT_TRUE(StorePreferences(store, values));
    EXPECT_EQ(StoredConnection(store).port, PortKind::Lpt);
    EXPECT_EQ(StoredConnection(store).lptIndex, 2);
}

TEST(HardwarePort, SaysWhyNoPortOpens) {
    std::string reason;
    if (OpenHardwarePort(0x378, reason) != nullptr) {
        GTEST_SKIP() << "this machine has a parallel port at 0x378";
    }
    // Both ways it tried, on one line.
    EXPECT_NE(reason.find("parport"), std::string::npos) << reason;
    EXPECT_NE(reason.find("direct I/O: "), std::string::npos) << reason;
    EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
}

} // namespace
} // namespace zelk
