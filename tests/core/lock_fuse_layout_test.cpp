// The lock and fuse dialog's layout and the bytes its boxes stand for.
#include "engine/lock_fuse.h"

#include <gtest/gtest.h>

namespace zelk {
namespace {

const BitLabels LockNames = {{'1', "Lock Bit 1"}, {'2', "Lock Bit 2"}};
const BitLabels FuseNames = {{'S', "SPIEN"}, {'C', "CKSEL"}, {'B', "BODEN"}, {'b', "BODLEVEL"}};

struct BoxSummary {
    int id;
    std::string label;
    DialogRect rect;
    bool groupStart;
    bool operator==(const BoxSummary&) const = default;
};

std::vector<BoxSummary> Summaries(const LockFuseLayout& layout) {
    std::vector<BoxSummary> out;
    for (const LockFuseBox& box : layout.Boxes()) {
        out.push_back({box.id, box.label, box.rect, box.groupStart});
    }
    return out;
}

TEST(LockFuseLayout, NoPatternsGiveAnEmptyDialog) {
    const LockFuseLayout layout({}, LockNames, FuseNames);
    EXPECT_TRUE(layout.Boxes().empty());
    EXPECT_FALSE(layout.lockGroupShown);
    EXPECT_FALSE(layout.fuseGroupShown);
    EXPECT_EQ(layout.width, 300);
    EXPECT_EQ(layout.height, 30);
}

TEST(LockFuseLayout, WriteOnlyLockBitsWithTwoBoxes) {
    const LockFuseLayout layout({"Wxxxxxx21", "", "", ""}, LockNames, FuseNames);
    const std::vector<BoxSummary> expected = {
        {1001, "Lock Bit 1", {20, 30, 140, 50}, true},
        {1002, "Lock Bit 2", {20, 45, 140, 65}, false},
    };
    EXPECT_EQ(Summaries(layout), expected);
    EXPECT_TRUE(layout.lockGroupShown);
    EXPECT_FALSE(layout.readLockBitsShown);
    EXPECT_EQ(layout.lockGroup, (DialogRect{10, 10, 160, 75}));
    EXPECT_EQ(layout.writeLockBitsAt, (DialogPoint{170, 15}));
    EXPECT_EQ(layout.height, 2 * 15 + 60 + 30);
    // Ticking both boxes programs bits 0 and 1 only; "x" bits are sent as 1.
    EXPECT_EQ(layout.ChipFromTicks(LockFuseByte::Lock, 0xFF), 0xFC);
    EXPECT_EQ(layout.ChipFromTicks(LockFuseByte::Lock, 0x01), 0xFE);
}

TEST(LockFuseLayout, FixedFuseBitsMakeNoBoxesAndAreSentAsFixed) {
    const LockFuseLayout layout({"", "x0x1x0x1", "", ""}, LockNames, FuseNames);
    EXPECT_TRUE(layout.Boxes().empty());
    EXPECT_TRUE(layout.fuseGroupShown);
    EXPECT_EQ(layout.fuseGroup, (DialogRect{10, 10, 160, 45}));
    EXPECT_EQ(layout.readFusesAt, (DialogPoint{170, 45}));
    // "0" at bits 6 and 2 are programmed whatever the ticks say.
    EXPECT_EQ(layout.ChipFromTicks(LockFuseByte::Fuse, 0x00), 0xBB);
    EXPECT_EQ(layout.ChipFromTicks(LockFuseByte::Fuse, 0xFF), 0xBB);
    EXPECT_EQ(layout.height, 50 + 30);
}

TEST(LockFuseLayout, FuseBytesShareOneColumnBelowTheLockBits) {
    const LockFuseLayout layout({"Lxxxxxx21", "xxxxxxCS", "Bxxxxxxx", "xxxxxxxb"}, LockNames,
                                FuseNames);
    const std::vector<BoxSummary> expected = {
        {1001, "Lock Bit 1", {20, 30, 140, 50}, true},
        {1002, "Lock Bit 2", {20, 45, 140, 65}, false},
        {2001, "SPIEN", {20, 120, 140, 140}, true},
        {2002, "CKSEL", {20, 135, 140, 155}, false},
        {3128, "BODEN", {20, 150, 140, 170}, false},
        {4001, "BODLEVEL", {20, 165, 140, 185}, false},
    };
    EXPECT_EQ(Summaries(layout), expected);
    EXPECT_TRUE(layout.readLockBitsShown);
    EXPECT_EQ(layout.fuseGroup, (DialogRect{10, 100, 160, 100 + 60 + 35}));
    EXPECT_EQ(layout.writeFusesAt, (DialogPoint{170, 105}));
    EXPECT_EQ(layout.height, 90 + 4 * 15 + 50 + 30);
    EXPECT_EQ(layout.TicksFromChip(LockFuseByte::FuseHigh, 0x00), 0x80);
    EXPECT_EQ(layout.TicksFromChip(LockFuseByte::Fuse, 0xFE), 0x01);
}

TEST(LockFuseLayout, MissingLabelAndShortPatterns) {
    // "Q" has no label; a fuse pattern of three characters covers bits 7 to 5 only and a
    // lock pattern of two characters only bit 7.
    const LockFuseLayout layout({"L1", "QSx", "", ""}, LockNames, FuseNames);
    const std::vector<BoxSummary> expected = {
        {1128, "Lock Bit 1", {20, 30, 140, 50}, true},
        {2064, "SPIEN", {20, 105, 140, 125}, true},
        {2128, "", {20, 120, 140, 140}, false},
    };
    EXPECT_EQ(Summaries(layout), expected);
    EXPECT_EQ(layout.BoxMask(LockFuseByte::Fuse), 0xC0);
}

TEST(LockFuseLayout, HighAndExtendedFusesNeedTheLowFusePattern) {
    const LockFuseLayout layout({"", "", "SSSSSSSS", "SSSSSSSS"}, LockNames, FuseNames);
    EXPECT_TRUE(layout.Boxes().empty());
    EXPECT_FALSE(layout.fuseGroupShown);
    EXPECT_FALSE(layout.HasByte(LockFuseByte::FuseHigh));
    EXPECT_FALSE(layout.HasByte(LockFuseByte::FuseExt));
}

} // namespace
} // namespace zelk
