// The lock and fuse dialog's layout and the bytes its boxes stand for.
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

} // namespace
} // namespace zelk
