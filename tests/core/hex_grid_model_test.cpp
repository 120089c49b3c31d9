// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/hex_grid_model.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace zelk {
namespace {

constexpr int CW = 7;  // character cell width
constexpr int LH = 15; // line height

using M = HexGridMode;
using S = HexGridScroll;
using K = HexGridKey;

// A model bound to `length` bytes in a window of `rows` full rows (plus a 7-pixel strip).
struct Grid {
    std::vector<std::uint8_t> bytes;
    HexGridModel model;

    explicit Grid(std::uint32_t length, int rows = 10, int bytesPerRow = 16) : bytes(length, 0xFF) {
        model.SetCellSize(CW, LH);
        model.SetClientSize(80 * CW, rows * LH + 7);
        model.SetBytesPerRow(bytesPerRow);
        model.SetData(bytes.data(), length);
    }

    // Puts the caret on a visible byte the way the user does: by clicking it.
    void Select(int index, M mode) {
        const int offset = index - model.TopIndex();
        const int row = offset / model.BytesPerRow();
        const int col = offset % model.BytesPerRow();
        int x = 0;
        if (mode == M::ModeChar) {
            x = model.AsciiColumnX() + col * CW;
        } else if (mode != M::ModeNone) {
            x = model.HexColumnX() + (3 * col + (mode == M::ModeLow ? 1 : 0)) * CW;
        }
        model.Click(x + 1, row * LH + 1);
        ASSERT_EQ(model.Mode(), mode);
        ASSERT_EQ(model.Position(), mode == M::ModeNone ? index - col : index);
    }
};

TEST(HexGridModel, TypingChangesTheCurrentByte) {
    struct Case {
        M mode;
        std::u32string typed;
        std::uint8_t before, after;
        int position; // afterwards
        M modeAfter;
    };
    const Case cases[] = {
        {M::ModeHigh, U"A", 0x00, 0xA0, 4, M::ModeLow}, // upper case is a digit too
        {M::ModeHigh, U"Fe", 0x00, 0xFE, 5, M::ModeHigh},
        {M::ModeHigh, U"g", 0x00, 0x00, 4, M::ModeHigh},
        {M::ModeHigh, U"a5", 0x00, 0xA5, 5, M::ModeHigh},
        {M::ModeHigh, U"f", 0x12, 0xF2, 4, M::ModeLow},
        {M::ModeLow, U"9", 0x12, 0x19, 5, M::ModeHigh},
        // Keys that arrive as control characters (Backspace, Delete, Escape) are no text.
        {M::ModeChar, U"\b", 0x00, 0x00, 4, M::ModeChar},
        {M::ModeChar, U"\x7f", 0x00, 0x00, 4, M::ModeChar},
        {M::ModeChar, U"\x1b\r", 0x00, 0x00, 4, M::ModeChar},
        {M::ModeChar, U"~", 0x00, 0x7E, 5, M::ModeChar},
        {M::ModeChar, U"\u00e9", 0x00, 0xE9, 5, M::ModeChar},
        {M::ModeChar, U"\u20ac", 0x00, 0x00, 4, M::ModeChar}, // does not fit in a byte
        {M::ModeNone, U"5", 0x00, 0x00, 0, M::ModeNone},
    };
    for (const Case& c : cases) {
        Grid g(64);
        g.bytes[4] = c.before;
        g.Select(4, c.mode);
        const std::uint64_t editsBefore = g.model.EditCount();
        for (char32_t ch : c.typed) {
            g.model.Type(ch);
        }
        // An edit is counted exactly when a byte was stored.
        EXPECT_EQ(g.model.EditCount() != editsBefore, c.after != c.before);
        EXPECT_EQ(g.bytes[4], c.after) << static_cast<int>(c.mode) << " " << c.typed.size();
        EXPECT_EQ(g.model.Position(), c.position);
        EXPECT_EQ(g.model.Mode(), c.modeAfter);
        EXPECT_EQ(g.bytes[5], 0xFF);
    }
}

TEST(HexGridModel, KeysMoveTheCaretInsideTheImage) {
    struct Case {
        std::uint32_t length;
        int start;
        M mode;
        K key;
        int position;
        M modeAfter;
    };
    const Case cases[] = {
        {64, 0, M::ModeHigh, K::Left, 0, M::ModeLow},    // off the start: stays on byte 0
        {64, 63, M::ModeLow, K::Right, 63, M::ModeHigh}, // off the end: stays on the last
        {64, 5, M::ModeLow, K::Right, 6, M::ModeHigh},
        {64, 20, M::ModeHigh, K::Up, 4, M::ModeHigh},
        {64, 5, M::ModeChar, K::Down, 21, M::ModeChar},
        {20, 17, M::ModeHigh, K::End, 19, M::ModeHigh},
        {64, 19, M::ModeLow, K::Home, 16, M::ModeLow},
        {64, 5, M::ModeNone, K::Down, 0, M::ModeNone}, // editing is off
        {64, 5, M::ModeNone, K::Tab, 0, M::ModeHigh},
        {64, 5, M::ModeLow, K::Tab, 5, M::ModeChar},
        {0x100, 40, M::ModeLow, K::Finish, 255, M::ModeLow}, // Ctrl+End
        {0x100, 200, M::ModeChar, K::Start, 0, M::ModeChar}, // Ctrl+Home
        {0x100, 200, M::ModeNone, K::Start, 0, M::ModeHigh},
        // Page keys move the caret by a page in its column, at the ends to the first or
        // last row.
        {0x100, 37, M::ModeHigh, K::PageDown, 197, M::ModeHigh},
        {0x100, 197, M::ModeHigh, K::PageDown, 245, M::ModeHigh},
        {0x100, 5, M::ModeHigh, K::PageUp, 5, M::ModeHigh},
        {0x104, 37, M::ModeChar, K::PageDown, 197, M::ModeChar},
    };
    for (const Case& c : cases) {
        Grid g(c.length);
        g.model.GoTo(static_cast<std::uint32_t>(c.start)); // into view
        g.Select(c.start, c.mode);
        g.model.Key(c.key);
        EXPECT_EQ(g.model.Position(), c.position) << c.start << " key " << static_cast<int>(c.key);
        EXPECT_EQ(g.model.Mode(), c.modeAfter) << c.start << " key " << static_cast<int>(c.key);
        // Whatever the key, the caret stays in sight while editing is on.
        if (c.modeAfter != M::ModeNone) {
            EXPECT_TRUE(g.model.CaretVisible()) << c.start << " key " << static_cast<int>(c.key);
        }
    }
}

TEST(HexGridModel, ClickPicksCellAndMode) {
    struct Case {
        int col, row, position; // position -1: nothing changes
        M mode;
        int caretX;
    };
    const Case cases[] = {
        {2, 1, 16, M::ModeNone, 0}, // address: editing off, caret at the left edge
        {6, 0, 0, M::ModeLow, 6 * CW},
        {7, 0, 1, M::ModeHigh, 8 * CW}, // separator: the byte after it
        {51, 0, 15, M::ModeLow, 51 * CW},
        {52, 0, 0, M::ModeChar, 53 * CW}, // separator after the last byte
        {69, 0, -1, M::ModeHigh, 0},
        {17, 1, -1, M::ModeHigh, 0}, // byte 20 lies beyond the image
        {5, 10, -1, M::ModeHigh, 0}  // the strip below the last full row is the next row
    };
    for (const Case& c : cases) {
        Grid g(20);
        g.model.Click(c.col * CW + 3, c.row * LH + 14);
        if (c.position < 0) {
            EXPECT_EQ(g.model.Position(), 0) << c.col;
            EXPECT_EQ(g.model.Mode(), M::ModeHigh) << c.col;
            continue;
        }
        EXPECT_EQ(g.model.Position(), c.position) << c.col;
        EXPECT_EQ(g.model.Mode(), c.mode) << c.col;
        EXPECT_EQ(g.model.CaretX(), c.caretX) << c.col;
        EXPECT_EQ(g.model.CaretY(), c.row * LH) << c.col;
    }
    Grid tall(0x100);
    tall.model.Click(5 * CW, 10 * LH + 3);
    EXPECT_EQ(tall.model.Position(), 160);
}

TEST(HexGridModel, ScrollRequests) {
    // 256 bytes, 10 rows: a page is 160 bytes and the top row stops at byte 96.
    struct Case {
        std::vector<S> before;
        S request;
        int thumb, top;
        bool redraw;
    };
    const Case cases[] = {
        {{}, S::LineUp, 0, 0, false},           {{}, S::LineDown, 0, 16, true},
        {{}, S::PageDown, 0, 96, true},         {{S::PageDown}, S::PageDown, 0, 96, false},
        {{S::PageDown}, S::PageUp, 0, 0, true}, {{S::PageDown}, S::LineUp, 0, 80, true},
        {{}, S::ThumbTrack, 99, 240, true},     {{S::LineDown}, S::ThumbPosition, 5, 16, false},
        {{}, S::Bottom, 0, 96, true},
    };
    for (const Case& c : cases) {
        Grid g(0x100);
        g.Select(40, M::ModeLow);
        for (S s : c.before) {
            g.model.Scroll(s);
        }
        const int topBefore = g.model.TopIndex();
        const int positionBefore = g.model.Position();
        EXPECT_EQ(g.model.Scroll(c.request, c.thumb), c.redraw) << static_cast<int>(c.request);
        EXPECT_EQ(g.model.TopIndex(), c.top) << static_cast<int>(c.request);
        // The current byte moves with the view, within the image.
        const int expected = std::min(255, positionBefore + c.top - topBefore);
        EXPECT_EQ(g.model.Position(), expected) << static_cast<int>(c.request);
        EXPECT_EQ(g.model.ScrollBar().value, c.top / 16);
    }
}

TEST(HexGridModel, HeaderAndCurrentByteDescription) {
    Grid narrow(0x100, 10, 8);
    std::string header;
    narrow.model.FormatHeader(header);
    EXPECT_EQ(header, "     00 01 02 03 04 05 06 07 01234567");
    std::string row;
    narrow.model.FormatRow(0, row);
    EXPECT_EQ(header.size(), row.size()) << "the header lines up with the rows";

    Grid wide(0x20000);
    wide.model.FormatHeader(header);
    EXPECT_EQ(header.substr(0, 12), "         00 ");
    EXPECT_EQ(header.substr(header.size() - 16), "0123456789ABCDEF");

    struct Case {
        std::uint8_t byte;
        const char* text;
    };
    for (const Case c : {Case{0x41, "0x0012: 0x41 = 65 = 'A'"}, Case{0x0A, "0x0012: 0x0A = 10"},
                         Case{0xFF, "0x0012: 0xFF = 255"}}) {
        Grid g(0x100);
        g.bytes[0x12] = c.byte;
        g.model.GoTo(0x12);
        EXPECT_EQ(g.model.DescribeCurrentByte(), c.text);
    }
}

TEST(HexGridModel, ParsesTypedAddresses) {
    const std::pair<const char*, std::optional<std::uint32_t>> cases[] = {
        {"1a0", 0x1A0},           {"0x7FFF", 0x7FFF},          {" 0X10 ", 0x10},
        {"FFFFFFFF", 0xFFFFFFFF}, {"", std::nullopt},          {"0x", std::nullopt},
        {"12g", std::nullopt},    {"100000000", std::nullopt}, {"-1", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(ParseHexAddress(text), expected) << text;
    }
}

} // namespace
} // namespace zelk
