// The hex editor's logic without a window: row layout, caret, editing mode, keys, typing,
// clicks and scrolling. CHexGrid paints it and feeds it input; tests drive it directly.
#pragma once

#include <cstdint>
#include <string>

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

// The keys the grid reacts to; every other key is Other.
enum class HexGridKey { Tab, PageUp, PageDown, End, Home, Left, Up, Right, Down, Other };

// The vertical scroll bar in rows: the top row runs from 0 to `maximum`.
struct HexGridScrollBar {
    int maximum = 0;
    int page = 1;
    int value = 0;
    bool enabled = false;
};

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

    // Rows to draw from the top: those that fit wholly in the client area and hold bytes.
    int VisibleRows() const;
    // The text of the visible row `row`, one character per cell: address, hex bytes, and
    // the characters. Reuses `out`'s storage.
    void FormatRow(int row, std::string& out) const;

private:
    void EnsureLayout() const;
    bool Move(int dx, int dy);
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
