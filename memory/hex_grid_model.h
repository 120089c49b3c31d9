// SPDX-License-Identifier: GPL-3.0-or-later
// The hex editor's logic without a window: row layout, caret, editing mode, keys, typing,
// clicks and scrolling. CHexGrid paints it and feeds it input; tests drive it directly.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zelk {

// What typing changes: nothing, the whole byte from a character, or one hex digit of it.
enum class HexGridMode { ModeNone = 0, ModeChar = 1, ModeHigh = 2, ModeLow = 3 };

// Scroll bar requests, numbered like the classic scroll bar messages.
enum class HexGridScroll {
    LineUp = 0,
    LineDown = 1,
    PageUp = 2,
    PageDown = 3,
    ThumbPosition = 4,
    ThumbTrack = 5,
    Top = 6,
    Bottom = 7,
};

// The keys the grid reacts to; every other key is Other. Start and Finish are Ctrl+Home and
// Ctrl+End: the first and the last byte shown.
enum class HexGridKey {
    Tab,
    PageUp,
    PageDown,
    End,
    Home,
    Left,
    Up,
    Right,
    Down,
    Start,
    Finish,
    Other
};

// The vertical scroll bar in rows: the top row runs from 0 to `maximum`.
struct HexGridScrollBar {
    int maximum = 0;
    int page = 1;
    int value = 0;
    bool enabled = false;
};

// An address typed by the user: hexadecimal digits, with or without "0x" in front, blanks
// around them allowed. nullopt for anything else or a number above 32 bits.
std::optional<std::uint32_t> ParseHexAddress(std::string_view text);

class HexGridModel {
public:
    // Binds a buffer the grid does not own; a null pointer or length 0 unbinds. Editing
    // starts on the high digit of byte 0 at the top of the image.
    void SetData(std::uint8_t* data, std::uint32_t length);
    // 16 or 8. The top row keeps its first byte.
    void SetBytesPerRow(int bytesPerRow);
    // The widget's character cell and drawable area, in pixels.
    void SetCellSize(int charWidth, int lineHeight);
    void SetClientSize(int width, int height);

    // Input. Each answers true when the rows must be drawn again; the caret may move either
    // way. `thumbRow` is the scroll bar's position for ThumbTrack.
    bool Scroll(HexGridScroll request, int thumbRow = 0);
    bool Key(HexGridKey key);
    bool Type(char32_t character);
    bool Wheel(int delta);
    void Click(int x, int y);
    // The grid got the keyboard focus: the caret shows on the current byte.
    void Focus();
    // Makes `index` the current byte, at the top row when it was out of view; false, and nothing
    // changes, when it lies beyond the shown bytes. Editing switched off by a click on an address
    // comes back on the hex digits.
    bool GoTo(std::uint32_t index);

    bool IsBound() const { return data != nullptr; }
    std::uint32_t Length() const { return length; }
    std::int32_t Position() const { return position; }
    std::int32_t TopIndex() const { return topIndex; }
    HexGridMode Mode() const { return mode; }
    int BytesPerRow() const { return bytesPerRow; }
    int AddressDigits() const { return wideAddress ? 8 : 4; }
    int LinesPerPage() const;
    int CharWidth() const { return charWidth; }
    int LineHeight() const { return lineHeight; }
    int HexColumnX() const;
    int AsciiColumnX() const;

    int CaretX() const { return caretX; }
    int CaretY() const { return caretY; }
    // False while the current byte is scrolled out of view.
    bool CaretVisible() const;
    HexGridScrollBar ScrollBar() const;

    // Counts every byte typed into the image, so the owner can tell an edit happened.
    std::uint64_t EditCount() const { return editCount; }
    // Told the offset of every byte typed into the image.
    std::function<void(std::uint32_t offset)> onEdit;

    // Left edges of the current byte's two hex digits and of its character, and the top of
    // its row; false while it is scrolled out of view.
    bool CurrentByteCells(int& hexX, int& charX, int& y) const;
    // "0x0010: 0x41 = 65 = 'A'" (offset, then the value in hex and decimal) for the current byte;
    // the character only when it is printable. Empty when nothing is bound.
    std::string DescribeCurrentByte() const;
    // The same for any byte; empty beyond the image.
    std::string DescribeByte(std::uint32_t index) const;
    // The byte at `index`, which must lie in the image.
    std::uint8_t ByteAt(std::uint32_t index) const { return data[index]; }

    // The header above the rows: the column offsets, aligned with the hex digits and the
    // characters ("     00 01 ... 0F 0123456789ABCDEF").
    void FormatHeader(std::string& out) const;
    // Rows to draw from the top: those that fit wholly in the client area and hold bytes.
    int VisibleRows() const;
    // The text of the visible row `row`, one character per cell: address, hex bytes, and
    // the characters. Reuses `out`'s storage.
    void FormatRow(int row, std::string& out) const;

private:
    void EnsureLayout() const;
    bool Move(int dx, int dy);
    bool MoveByPage(int direction);
    // Scrolls the least that brings the current byte into view.
    bool ScrollToPosition();
    void PlaceCaret();
    bool ScrollBy(HexGridScroll request, int thumbRow);
    std::int64_t PageBytes() const;
    void SetPositionClamped(std::int64_t value);

    std::uint8_t* data = nullptr;
    std::uint32_t length = 0;
    std::int32_t topIndex = 0;
    std::int32_t position = 0;
    HexGridMode mode = HexGridMode::ModeNone;
    int bytesPerRow = 16;
    bool wideAddress = false;
    // Set while a key is handled: scrolling then leaves `position` where it is.
    bool holdPosition = false;
    std::uint64_t editCount = 0;

    int charWidth = 1;
    int lineHeight = 1;
    int clientWidth = 0;
    int clientHeight = 0;
    int caretX = 0;
    int caretY = 0;

    // Measured from the cell and client sizes only after something they depend on changed.
    mutable bool layoutDirty = true;
    mutable int linesPerPage = 1;
    mutable int hexColumnX = 0;
    mutable int asciiColumnX = 0;
};

} // namespace zelk
