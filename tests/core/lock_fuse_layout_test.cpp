// SPDX-License-Identifier: GPL-3.0-or-later
// The lock and fuse dialog's layout, the bytes its boxes stand for, and the question asked
// before a fuse write that ends serial programming or changes the clock.
#include "engine/fuse_guard.h"
#include "engine/lock_fuse.h"

#include <gtest/gtest.h>

namespace zelk {
namespace {

LockFuseLayout Layout(const LockFusePatterns& patterns) {
    return LockFuseLayout(patterns, {{'1', "Lock Bit 1"}, {'2', "Lock Bit 2"}},
                          {{'S', "SPIEN"}, {'C', "CKSEL"}, {'B', "BODEN"}, {'b', "BODLEVEL"}});
}

std::string Text(DialogRect r) {
    return " (" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}
std::string Text(DialogPoint p) {
    return " (" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
}

// The whole dialog in one line: size, the shown groups with their buttons, then every box
// with its id, label and place; "*" starts a group.
std::string Describe(const LockFuseLayout& l) {
    std::string out = std::to_string(l.width) + "x" + std::to_string(l.height);
    if (l.lockGroupShown) {
        out += "; lock" + Text(l.lockGroup) + " write" + Text(l.writeLockBitsAt);
        out += l.readLockBitsShown ? " read" + Text(l.readLockBitsAt) : "";
    }
    if (l.fuseGroupShown) {
        out += "; fuses" + Text(l.fuseGroup) + " write" + Text(l.writeFusesAt) + " read" +
               Text(l.readFusesAt);
    }
    for (const LockFuseBox& box : l.Boxes()) {
        out += "; " + std::to_string(box.id) + " " + box.label + Text(box.rect) +
               (box.groupStart ? "*" : "");
    }
    return out;
}

TEST(LockFuseLayout, Dialog) {
    const std::pair<LockFusePatterns, const char*> cases[] = {
        {{}, "300x30"},
        // High and extended fuses need the low fuse pattern.
        {{"", "", "SSSSSSSS", "SSSSSSSS"}, "300x30"},
        // "W": the lock bits cannot be read back.
        {{"Wxxxxxx21", "", "", ""},
         "300x120; lock (10,10,160,75) write (170,15); "
         "1001 Lock Bit 1 (20,30,140,50)*; 1002 Lock Bit 2 (20,45,140,65)"},
        // Fixed bits make no boxes.
        {{"", "x0x1x0x1", "", ""}, "300x80; fuses (10,10,160,45) write (170,15) read (170,45)"},
        // Three fuse bytes share one column below the lock bits.
        {{"Lxxxxxx21", "xxxxxxCS", "Bxxxxxxx", "xxxxxxxb"},
         "300x230; lock (10,10,160,75) write (170,15) read (170,45); "
         "fuses (10,100,160,195) write (170,105) read (170,135); "
         "1001 Lock Bit 1 (20,30,140,50)*; 1002 Lock Bit 2 (20,45,140,65); "
         "2001 SPIEN (20,120,140,140)*; 2002 CKSEL (20,135,140,155); "
         "3128 BODEN (20,150,140,170); 4001 BODLEVEL (20,165,140,185)"},
        // "Q" has no label; short patterns cover the high bits only.
        {{"L1", "QSx", "", ""},
         "300x185; lock (10,10,160,60) write (170,15) read (170,45); "
         "fuses (10,85,160,150) write (170,90) read (170,120); "
         "1128 Lock Bit 1 (20,30,140,50)*; 2064 SPIEN (20,105,140,125)*; 2128  (20,120,140,140)"},
    };
    for (const auto& [patterns, expected] : cases) {
        EXPECT_EQ(Describe(Layout(patterns)), expected);
    }
}

TEST(LockFuseLayout, TicksAndChipBytes) {
    // "x" bits are sent as 1, "0" and "1" bits as they stand whatever the ticks say.
    const LockFuseLayout l = Layout({"Wxxxxxx21", "x0x1x0x1", "", ""});
    EXPECT_EQ(l.ChipFromTicks(LockFuseByte::Lock, 0x01), 0xFE);
    EXPECT_EQ(l.ChipFromTicks(LockFuseByte::Fuse, 0xFF), 0xBB);
    EXPECT_EQ(l.TicksFromChip(LockFuseByte::Lock, 0xFE), 0x01);
}

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

const BitLabels FuseNames{{'A', "CKSEL0 clock select"},      {'B', "CKSEL1 clock select"},
                          {'C', "CKSEL2 clock select"},      {'D', "CKSEL3 clock select"},
                          {'E', "SUT0 start-up time"},       {'I', "CKDIV8 divide clock by 8"},
                          {'S', "DWEN debugWIRE, ends ISP"}, {'T', "RSTDISBL no reset, ends ISP"}};

// Factory fuses of the part: internal 8 MHz RC, divided by 8.
constexpr FuseBytes Factory{0x62, 0xD9, 0xFF};

TEST(FuseGuard, WarnsBeforeEndingSerialProgrammingOrChangingTheClock) {
    const FuseGuard guard(Atmega328P(), FuseNames);
    const std::string ends = "ends serial programming: the chip can no longer be programmed "
                             "through this cable";
    const std::string clock = "gives the chip another clock";
    const struct {
        const char* what;
        FuseBytes current;
        FuseBytes next;
        std::vector<std::string> says;
    } cases[] = {
        {"unchanged", Factory, Factory, {}},
        {"start-up time only", Factory, {0x52, 0xD9, 0xFF}, {}},
        {"CKDIV8 only", Factory, {0xE2, 0xD9, 0xFF}, {"Changing CKDIV8 " + clock}},
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
        EXPECT_EQ(guard.Warning(c.current, c.next).empty(), c.says.empty()) << c.what;
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
