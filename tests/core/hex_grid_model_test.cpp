#include "memory/hex_grid_model.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
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

TEST(HexGridModel, RowTextAndAddressWidth) {
    struct Case {
        std::uint32_t length;
        int bytesPerRow, row;
        std::string text;
    };
    const Case cases[] = {
        {0x8000, 16, 0, "0000 FF FF FF FF FF FF FF FF-FF FF FF FF FF FF FF FF ................"},
        {0xFFFF, 16, 1, "0010 FF FF FF FF FF FF FF FF-FF FF FF FF FF FF FF FF ................"},
        {0x10000, 16, 1,
         "00000010 FF FF FF FF FF FF FF FF-FF FF FF FF FF FF FF FF ................"},
        {0x20000, 8, 2, "00000010 FF FF FF FF-FF FF FF FF ........"},
        // The last row of a short image shows only its bytes; the characters stay in column.
        {20, 16, 1, "0010 41 7E 20 1F                                     A~ ."},
    };
    for (const Case& c : cases) {
        Grid g(c.length, 10, c.bytesPerRow);
        if (c.length == 20) {
            std::copy_n("A~ \x1F", 4, &g.bytes[16]);
        }
        std::string text;
        g.model.FormatRow(c.row, text);
        EXPECT_EQ(text, c.text) << c.length;
        const int digits = c.length > 0xFFFF ? 8 : 4;
        EXPECT_EQ(g.model.HexColumnX(), (digits + 1) * CW);
        EXPECT_EQ(g.model.AsciiColumnX(), (digits + 1 + 3 * c.bytesPerRow) * CW);
    }
}

TEST(HexGridModel, TypingChangesTheCurrentByte) {
    struct Case {
        M mode;
        std::u32string typed;
        std::uint8_t before, after;
        int position; // afterwards
        M modeAfter;
    };
    const Case cases[] = {
        {M::ModeHigh, U"A", 0x00, 0x00, 4, M::ModeHigh}, // uppercase is not a digit
        {M::ModeHigh, U"a5", 0x00, 0xA5, 5, M::ModeHigh},
        {M::ModeHigh, U"f", 0x12, 0xF2, 4, M::ModeLow},
        {M::ModeLow, U"9", 0x12, 0x19, 5, M::ModeHigh},
        {M::ModeLow, U"g", 0x12, 0x12, 4, M::ModeLow},
        {M::ModeChar, U"\b", 0x00, 0x08, 5, M::ModeChar}, // control characters count
        {M::ModeChar, U"\u00e9", 0x00, 0xE9, 5, M::ModeChar},
        {M::ModeChar, U"\u20ac", 0x00, 0x00, 4, M::ModeChar}, // does not fit in a byte
        {M::ModeChar, U"\t", 0x00, 0x00, 4, M::ModeChar},
        {M::ModeNone, U"5", 0x00, 0x00, 0, M::ModeNone},
    };
    for (const Case& c : cases) {
        Grid g(64);
        g.bytes[4] = c.before;
        g.Select(4, c.mode);
        for (char32_t ch : c.typed) {
            g.model.Type(ch);
        }
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
        {64, 5, M::ModeHigh, K::Right, 5, M::ModeLow},
        {64, 5, M::ModeLow, K::Right, 6, M::ModeHigh},
        {64, 5, M::ModeHigh, K::Left, 4, M::ModeLow},
        {64, 5, M::ModeLow, K::Left, 5, M::ModeHigh},
        {64, 3, M::ModeHigh, K::Up, 3, M::ModeHigh},
        {64, 60, M::ModeLow, K::Down, 60, M::ModeLow},
        {64, 20, M::ModeHigh, K::Up, 4, M::ModeHigh},
        {64, 0, M::ModeChar, K::Left, 0, M::ModeChar},
        {64, 5, M::ModeChar, K::Down, 21, M::ModeChar},
        {20, 17, M::ModeHigh, K::End, 19, M::ModeHigh},
        {64, 3, M::ModeChar, K::End, 15, M::ModeChar},
        {64, 19, M::ModeLow, K::Home, 16, M::ModeLow},
        {64, 5, M::ModeNone, K::Down, 0, M::ModeNone}, // editing is off
        {64, 5, M::ModeNone, K::Tab, 0, M::ModeHigh},
        {64, 5, M::ModeChar, K::Tab, 5, M::ModeHigh},
        {64, 5, M::ModeLow, K::Tab, 5, M::ModeChar},
        {64, 5, M::ModeLow, K::Other, 5, M::ModeLow},
    };
    for (const Case& c : cases) {
        Grid g(c.length);
        g.Select(c.start, c.mode);
        g.model.Key(c.key);
        EXPECT_EQ(g.model.Position(), c.position) << c.start << " key " << static_cast<int>(c.key);
        EXPECT_EQ(g.model.Mode(), c.modeAfter) << c.start << " key " << static_cast<int>(c.key);
    }
}

TEST(HexGridModel, ClickPicksCellAndMode) {
    struct Case {
        int col, row, position; // position -1: nothing changes
        M mode;
        int caretX;
    };
    const Case cases[] = {
        {2, 1, 16, M::ModeNone, 0},     // address: editing off, caret at the left edge
        {4, 0, 0, M::ModeHigh, 5 * CW}, // the blank after the address
        {5, 0, 0, M::ModeHigh, 5 * CW},
        {6, 0, 0, M::ModeLow, 6 * CW},
        {7, 0, 1, M::ModeHigh, 8 * CW}, // separator: the byte after it
        {51, 0, 15, M::ModeLow, 51 * CW},
        {52, 0, 0, M::ModeChar, 53 * CW}, // separator after the last byte
        {68, 0, 15, M::ModeChar, 68 * CW},
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
        {{}, S::LineUp, 0, 0, false},
        {{}, S::LineDown, 0, 16, true},
        {{}, S::PageDown, 0, 96, true},
        {{S::PageDown}, S::PageDown, 0, 96, false},
        {{S::PageDown}, S::LineDown, 0, 96, false},
        {{S::PageDown}, S::PageUp, 0, 0, true},
        {{S::PageDown}, S::LineUp, 0, 80, true},
        {{}, S::ThumbTrack, 3, 48, true},
        {{}, S::ThumbTrack, 99, 240, true},
        {{S::LineDown}, S::ThumbPosition, 5, 16, false},
        {{}, S::Bottom, 0, 96, true},
        {{S::LineDown}, S::Top, 0, 0, true},
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

// Paging moves view and byte together but never carries the byte out of the image.
TEST(HexGridModel, PagingKeepsTheCurrentByteInsideTheImage) {
    Grid g(0x100);
    g.Select(0, M::ModeChar);
    EXPECT_TRUE(g.model.Key(K::PageDown));
    EXPECT_EQ(g.model.TopIndex(), 80); // to the limit of 96, then one line back
    EXPECT_EQ(g.model.Position(), 0);
    EXPECT_FALSE(g.model.CaretVisible()); // above the view, not on its top row
    g.model.Wheel(120);                   // view back by 80 bytes, the byte stops at 0
    EXPECT_EQ(g.model.TopIndex(), 0);
    EXPECT_EQ(g.model.Position(), 0);
    g.Select(5, M::ModeHigh);
    g.model.Wheel(-1);
    EXPECT_EQ(g.model.TopIndex(), 96);
    EXPECT_EQ(g.model.Position(), 101);

    Grid bottom(0x100);
    bottom.model.Scroll(S::Bottom);
    bottom.Select(255, M::ModeHigh);
    bottom.model.Key(K::PageUp);           // view at 16, byte 255 left below
    bottom.model.Scroll(S::ThumbTrack, 6); // view forward by 80 bytes
    EXPECT_EQ(bottom.model.TopIndex(), 96);
    EXPECT_EQ(bottom.model.Position(), 255);

    Grid off(0x100);
    off.Select(3, M::ModeNone);
    off.model.Key(K::PageDown);
    EXPECT_EQ(off.model.TopIndex(), 96);

    Grid typing(0x100);
    typing.Select(159, M::ModeLow);
    typing.model.Type(U'1');
    EXPECT_EQ(typing.model.Position(), 160);
    EXPECT_EQ(typing.model.TopIndex(), 16) << "the view follows the caret out of the bottom row";
    EXPECT_TRUE(typing.model.CaretVisible());
}

TEST(HexGridModel, ShortImageFitsWithoutScrolling) {
    Grid g(64, 20);
    EXPECT_EQ(g.model.LinesPerPage(), 4);
    EXPECT_EQ(g.model.VisibleRows(), 4);
    EXPECT_FALSE(g.model.ScrollBar().enabled);
    EXPECT_FALSE(g.model.Scroll(S::LineDown));

    Grid flash(0x20000, 40);
    const HexGridScrollBar bar = flash.model.ScrollBar();
    EXPECT_TRUE(bar.enabled);
    EXPECT_EQ(bar.maximum, 0x2000 - 40);
    EXPECT_EQ(bar.page, 40);
    EXPECT_EQ(flash.model.VisibleRows(), 40); // the partial strip below is not drawn
}

TEST(HexGridModel, RowWidthChangeKeepsTheTopRowAndRemeasures) {
    Grid g(0x100);
    g.model.Scroll(S::ThumbTrack, 3);
    g.Select(50, M::ModeHigh);
    g.model.SetBytesPerRow(8);
    EXPECT_EQ(g.model.TopIndex(), 48);
    EXPECT_EQ(g.model.AsciiColumnX(), (5 + 24) * CW);
    EXPECT_EQ(g.model.CaretX(), g.model.HexColumnX() + 3 * 2 * CW);
    std::string text;
    g.model.FormatRow(0, text);
    EXPECT_EQ(text.substr(0, 4), "0030");
}

TEST(HexGridModel, UnboundGridIgnoresInput) {
    HexGridModel model;
    model.SetCellSize(CW, LH);
    model.SetClientSize(500, 300);
    model.SetData(nullptr, 0);
    EXPECT_FALSE(model.Key(K::Down));
    EXPECT_FALSE(model.Type(U'a'));
    EXPECT_FALSE(model.Scroll(S::LineDown));
    model.Click(50, 20);
    EXPECT_EQ(model.Position(), 0);
    EXPECT_EQ(model.VisibleRows(), 0);
    EXPECT_FALSE(model.CaretVisible());
}

} // namespace
} // namespace zelk
