#include "app/fuse_guard.h"

#include <gtest/gtest.h>

namespace zelk {
namespace {

// The ATmega328P as zelk.ini describes it.
DeviceEntry Atmega328P() {
    DeviceEntry device;
    device.name = "ATmega328P";
    device.fuses = "IHFEDCBA";
    device.fusesHi = "TS0RQbaW";
    device.fusesExt = "xxxxxPON";
    device.resetDisableFuse = "FusesHi.7";
    device.debugWireFuse = "FusesHi.6";
    return device;
}

const BitLabels FuseNames{{'A', "CKSEL0 clock select"},        {'B', "CKSEL1 clock select"},
                          {'C', "CKSEL2 clock select"},        {'D', "CKSEL3 clock select"},
                          {'E', "SUT0 start-up time"},         {'S', "DWEN debugWIRE, ends ISP"},
                          {'T', "RSTDISBL no reset, ends ISP"}};

// Factory fuses of the part: internal 8 MHz RC, divided by 8.
constexpr FuseBytes Factory{0x62, 0xD9, 0xFF};

TEST(FuseGuard, AsksBeforeEndingSerialProgrammingOrChangingTheClock) {
    const FuseGuard guard(Atmega328P(), FuseNames);
    const std::string ends = "ends serial programming: the chip can no longer be programmed "
                             "through this cable";
    const std::string clock = "selects another clock source";
    const struct {
        const char* what;
        FuseBytes current;
        FuseBytes next;
        std::vector<std::string> says;
    } cases[] = {
        {"unchanged", Factory, Factory, {}},
        {"start-up time only", Factory, {0x52, 0xD9, 0xFF}, {}},
        {"CKDIV8 only", Factory, {0xE2, 0xD9, 0xFF}, {}},
        {"EESAVE and brown-out", Factory, {0x62, 0xD1, 0xFD}, {}},
        {"RSTDISBL", Factory, {0x62, 0x59, 0xFF}, {"Programming RSTDISBL " + ends}},
        {"DWEN", Factory, {0x62, 0x99, 0xFF}, {"Programming DWEN " + ends}},
        {"both", Factory, {0x62, 0x19, 0xFF}, {"Programming RSTDISBL, DWEN " + ends}},
        {"DWEN already set", {0x62, 0x99, 0xFF}, {0x62, 0x99, 0xFF}, {}},
        {"external crystal", Factory, {0x6F, 0xD9, 0xFF}, {"CKSEL0, CKSEL2, CKSEL3 " + clock}},
        {"clock and reset",
         Factory,
         {0x60, 0x59, 0xFF},
         {"RSTDISBL " + ends, "Changing CKSEL1 " + clock}},
    };
    for (const auto& c : cases) {
        const std::string question = guard.Question(c.current, c.next);
        EXPECT_EQ(question.empty(), c.says.empty()) << c.what << ": " << question;
        for (const std::string& part : c.says) {
            EXPECT_NE(question.find(part), std::string::npos) << c.what << ": " << question;
        }
    }
}

// A device without the keys, or with keys that name no bit, never asks about them.
TEST(FuseGuard, KeysThatNameNoBitAreLeftAlone) {
    DeviceEntry device = Atmega328P();
    device.resetDisableFuse = "FusesHi.8";
    device.debugWireFuse = "Lock.6";
    device.fuses = "IHF"; // short: the clock bits 0 to 4 have no character
    const FuseGuard guard(device, FuseNames);
    EXPECT_EQ(guard.Question(Factory, {0x60, 0x19, 0xFF}), "");
}

} // namespace
} // namespace zelk
