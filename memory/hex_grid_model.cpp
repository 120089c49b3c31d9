// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/hex_grid_model.h"

#include <algorithm>
#include <cstdio>

namespace zelk {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

// Floor division, so that a byte above the top row lands on a negative row (caret hidden)
// rather than on row 0 at a negative column.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

int HexDigitValue(char32_t c) {
    if (c >= U'0' && c <= U'9') {
        return static_cast<int>(c - U'0');
    }
    if (c >= U'a' && c <= U'f') {
        return static_cast<int>(c - U'a') + 10;
    }
    if (c >= U'A' && c <= U'F') {
        return static_cast<int>(c - U'A') + 10;
    }
    return -1;
}

// Keys such as Delete, Backspace, Enter and Escape arrive as control characters; they are
// not characters to store.
bool IsControlCharacter(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

} // namespace

std::optional<std::uint32_t> ParseHexAddress(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 8) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : text) {
        const int digit = HexDigitValue(static_cast<unsigned char>(c));
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

void HexGridModel::SetData(std::uint8_t* newData, std::uint32_t newLength) {
    data = (newData != nullptr && newLength > 0) ? newData : nullptr;
    length = data != nullptr ? newLength : 0;
    wideAddress = length > 0xFFFF;
    position = 0;
    topIndex = 0;
    mode = HexGridMode::ModeHigh;
    layoutDirty = true;
    PlaceCaret();
}

void HexGridModel::SetBytesPerRow(int newBytesPerRow) {
    if (newBytesPerRow != 8 && newBytesPerRow != 16) {
        return;
    }
    bytesPerRow = newBytesPerRow;
    layoutDirty = true;
    PlaceCaret();
}

void HexGridModel::SetCellSize(int newCharWidth, int newLineHeight) {
    charWidth = std::max(1, newCharWidth);
    lineHeight = std::max(1, newLineHeight);
    layoutDirty = true;
    PlaceCaret();
}

void HexGridModel::SetClientSize(int width, int height) {
    clientWidth = std::max(0, width);
    clientHeight = std::max(0, height);
    layoutDirty = true;
}

void HexGridModel::EnsureLayout() const {
    if (!layoutDirty) {
        return;
    }
    hexColumnX = charWidth * (wideAddress ? 9 : 5);
    asciiColumnX = hexColumnX + bytesPerRow * 3 * charWidth;
    int lines = clientHeight / lineHeight;
    if (static_cast<std::int64_t>(bytesPerRow) * lines > length) {
        // A short image gets a page just large enough for it, so it never scrolls.
        lines = static_cast<int>((length + bytesPerRow / 2) / bytesPerRow) +
                (length % bytesPerRow != 0 ? 1 : 0);
    }
    linesPerPage = std::max(1, lines);
    layoutDirty = false;
}

int HexGridModel::LinesPerPage() const {
    EnsureLayout();
    return linesPerPage;
}

int HexGridModel::HexColumnX() const {
    EnsureLayout();
    return hexColumnX;
}

int HexGridModel::AsciiColumnX() const {
    EnsureLayout();
    return asciiColumnX;
}

std::int64_t HexGridModel::PageBytes() const {
    EnsureLayout();
    return static_cast<std::int64_t>(linesPerPage) * bytesPerRow;
}

void HexGridModel::SetPositionClamped(std::int64_t value) {
    const std::int64_t last = length > 0 ? length - 1 : 0;
    position = static_cast<std::int32_t>(std::clamp<std::int64_t>(value, 0, last));
}

void HexGridModel::PlaceCaret() {
    EnsureLayout();
    const std::int64_t offset = static_cast<std::int64_t>(position) - topIndex;
    const std::int64_t row = FloorDiv(offset, bytesPerRow);
    const std::int64_t col = offset - row * bytesPerRow;
    std::int64_t x = 0;
    switch (mode) {
    case HexGridMode::ModeChar:
        x = asciiColumnX + col * charWidth;
        break;
    case HexGridMode::ModeLow:
        x = hexColumnX + (3 * col + 1) * charWidth;
        break;
    case HexGridMode::ModeHigh:
    case HexGridMode::ModeNone:
        x = hexColumnX + 3 * col * charWidth;
        break;
    }
    caretX = static_cast<int>(x);
    caretY = static_cast<int>(row * lineHeight);
}

bool HexGridModel::CaretVisible() const {
    return data != nullptr && caretX >= 0 && caretX < clientWidth && caretY >= 0 &&
           caretY < clientHeight;
}

HexGridScrollBar HexGridModel::ScrollBar() const {
    EnsureLayout();
    HexGridScrollBar bar;
    const int rows = static_cast<int>(length / static_cast<std::uint32_t>(bytesPerRow));
    bar.page = linesPerPage;
    bar.maximum = std::max(0, rows - linesPerPage);
    bar.value = topIndex / bytesPerRow;
    bar.enabled = rows > linesPerPage;
    return bar;
}

bool HexGridModel::ScrollBy(HexGridScroll request, int thumbRow) {
    const std::int64_t before = topIndex;
    const std::int64_t page = PageBytes();
    const std::int64_t limit = static_cast<std::int64_t>(length) - page;
    std::int64_t after = before;
    switch (request) {
    case HexGridScroll::LineUp:
        if (before > 0) {
            after = std::max<std::int64_t>(0, before - bytesPerRow);
        }
        break;
    case HexGridScroll::LineDown:
        if (before < limit) {
            after = before + bytesPerRow;
        }
        break;
    case HexGridScroll::PageUp:
        if (before > 0) {
            after = std::max<std::int64_t>(0, before - page);
        }
        break;
    case HexGridScroll::PageDown:
        if (before < limit) {
            after = std::min(before + page, limit);
        }
        break;
    case HexGridScroll::ThumbTrack: {
        const std::int64_t lastRow = std::max<std::int64_t>(0, length / bytesPerRow - 1);
        after = std::clamp<std::int64_t>(thumbRow, 0, lastRow) * bytesPerRow;
        topIndex = static_cast<std::int32_t>(after);
        return true;
    }
    case HexGridScroll::Top:
        if (before > 0) {
            after = 0;
        }
        break;
    case HexGridScroll::Bottom:
        if (before < limit) {
            after = limit;
        }
        break;
    case HexGridScroll::ThumbPosition:
        break;
    }
    topIndex = static_cast<std::int32_t>(after);
    return after != before;
}

bool HexGridModel::Scroll(HexGridScroll request, int thumbRow) {
    if (data == nullptr) {
        return false;
    }
    const std::int64_t before = topIndex;
    const bool redraw = ScrollBy(request, thumbRow);
    if (!holdPosition) {
        // The caret keeps its place on the screen; a current byte left outside the view by
        // Page Up or Page Down stops at the first or last byte instead of leaving the image.
        SetPositionClamped(static_cast<std::int64_t>(position) + (topIndex - before));
    }
    PlaceCaret();
    return redraw;
}

bool HexGridModel::Move(int dx, int dy) {
    if (mode == HexGridMode::ModeNone) {
        return false;
    }
    const std::int32_t before = position;
    std::int64_t next = position;
    const std::int64_t rowStep = static_cast<std::int64_t>(dy) * bytesPerRow;
    switch (mode) {
    case HexGridMode::ModeChar:
        next += dx + rowStep;
        break;
    case HexGridMode::ModeHigh:
        if (dx != 0) {
            mode = HexGridMode::ModeLow;
            next -= dx == -1 ? 1 : 0;
        }
        next += rowStep;
        break;
    case HexGridMode::ModeLow:
        if (dx != 0) {
            mode = HexGridMode::ModeHigh;
            next += dx == 1 ? 1 : 0;
        }
        next += rowStep;
        break;
    case HexGridMode::ModeNone:
        break;
    }
    // A move off either end of the image keeps the byte; the digit switch stays.
    position = (next < 0 || next >= length) ? before : static_cast<std::int32_t>(next);

    bool redraw = false;
    if (holdPosition) {
        if (position < topIndex) {
            redraw = Scroll(HexGridScroll::LineUp);
        } else if (position >= topIndex + PageBytes()) {
            redraw = Scroll(HexGridScroll::LineDown);
        }
    }
    holdPosition = false;
    PlaceCaret();
    return redraw;
}

bool HexGridModel::ScrollToPosition() {
    const std::int64_t before = topIndex;
    const std::int64_t rowStart = position - position % bytesPerRow;
    if (position < topIndex) {
        topIndex = static_cast<std::int32_t>(rowStart);
    } else if (position >= topIndex + PageBytes()) {
        const std::int64_t limit = std::max<std::int64_t>(0, length - PageBytes());
        const std::int64_t lastRowOnTop = rowStart - (PageBytes() - bytesPerRow);
        topIndex = static_cast<std::int32_t>(std::min(lastRowOnTop, limit));
    }
    PlaceCaret();
    return topIndex != before;
}

bool HexGridModel::MoveByPage(int direction) {
    // The view moves by a page and the caret with it, in its column, so it stays on screen;
    // at either end of the image the caret goes to the first or last row instead.
    const std::int64_t column = position % bytesPerRow;
    std::int64_t target = position + direction * PageBytes();
    if (target < 0) {
        target = column;
    } else if (target >= length) {
        const std::int64_t lastRowStart = (length - 1) / bytesPerRow * bytesPerRow;
        target = std::min<std::int64_t>(lastRowStart + column, length - 1);
    }
    bool redraw = ScrollBy(direction < 0 ? HexGridScroll::PageUp : HexGridScroll::PageDown, 0);
    position = static_cast<std::int32_t>(target);
    redraw = ScrollToPosition() || redraw;
    return redraw;
}

bool HexGridModel::GoTo(std::uint32_t index) {
    if (data == nullptr || index >= length) {
        return false;
    }
    position = static_cast<std::int32_t>(index);
    if (mode == HexGridMode::ModeNone) {
        mode = HexGridMode::ModeHigh;
    }
    // A byte out of view comes to the top row, with what follows it below.
    if (position < topIndex || position >= topIndex + PageBytes()) {
        const std::int64_t limit = std::max<std::int64_t>(0, length - PageBytes());
        topIndex = static_cast<std::int32_t>(
            std::min<std::int64_t>(position - position % bytesPerRow, limit));
    }
    PlaceCaret();
    // The caret may stay where it was on screen while the bytes under it change.
    return true;
}

bool HexGridModel::Key(HexGridKey key) {
    if (data == nullptr) {
        return false;
    }
    const bool savedHold = holdPosition;
    holdPosition = true;
    bool redraw = false;
    switch (key) {
    case HexGridKey::Tab:
        mode = (mode == HexGridMode::ModeNone || mode == HexGridMode::ModeChar)
                   ? HexGridMode::ModeHigh
                   : HexGridMode::ModeChar;
        redraw = Move(0, 0);
        break;
    case HexGridKey::PageUp:
        redraw = MoveByPage(-1);
        break;
    case HexGridKey::PageDown:
        redraw = MoveByPage(1);
        break;
    case HexGridKey::Start:
        redraw = GoTo(0);
        break;
    case HexGridKey::Finish:
        redraw = GoTo(length - 1);
        break;
    case HexGridKey::End: {
        const std::int64_t rowEnd =
            static_cast<std::int64_t>(bytesPerRow) * (position / bytesPerRow + 1) - 1;
        position = static_cast<std::int32_t>(std::min<std::int64_t>(rowEnd, length - 1));
        redraw = Move(0, 0);
        break;
    }
    case HexGridKey::Home:
        position = position / bytesPerRow * bytesPerRow;
        redraw = Move(0, 0);
        break;
    case HexGridKey::Left:
        redraw = Move(-1, 0);
        break;
    case HexGridKey::Up:
        redraw = Move(0, -1);
        break;
    case HexGridKey::Right:
        redraw = Move(1, 0);
        break;
    case HexGridKey::Down:
        redraw = Move(0, 1);
        break;
    case HexGridKey::Other:
        break;
    }
    holdPosition = savedHold;
    return redraw;
}

bool HexGridModel::Type(char32_t character) {
    if (data == nullptr || character == U'\t' || mode == HexGridMode::ModeNone) {
        return false;
    }
    // A character that does not fit in a byte changes nothing rather than storing a
    // truncated code; nor does a key that is no character.
    if (character > 0xFF || IsControlCharacter(character)) {
        return false;
    }
    std::uint8_t& byte = data[position];
    if (mode == HexGridMode::ModeChar) {
        byte = static_cast<std::uint8_t>(character);
    } else {
        const int value = HexDigitValue(character);
        if (value < 0) {
            return false;
        }
        byte = mode == HexGridMode::ModeHigh ? static_cast<std::uint8_t>(value * 16 + (byte & 0x0F))
                                             : static_cast<std::uint8_t>((byte & 0xF0) + value);
    }
    ++editCount;
    if (onEdit) {
        onEdit(position);
    }
    // Typing past the bottom row scrolls the view along, so the user sees each byte typed.
    const bool savedHold = holdPosition;
    holdPosition = true;
    Move(1, 0);
    holdPosition = savedHold;
    return true;
}

bool HexGridModel::Wheel(int delta) {
    return Scroll(delta > 0 ? HexGridScroll::PageUp : HexGridScroll::PageDown);
}

void HexGridModel::Click(int x, int y) {
    if (data == nullptr || x < 0 || y < 0) {
        return;
    }
    EnsureLayout();
    const int col = x / charWidth;
    const int row = y / lineHeight;
    const std::int64_t rowStart = topIndex + static_cast<std::int64_t>(row) * bytesPerRow;
    const int addressDigits = AddressDigits();

    if (col < addressDigits) {
        if (rowStart >= length) {
            return;
        }
        mode = HexGridMode::ModeNone;
        position = static_cast<std::int32_t>(rowStart);
        caretX = 0;
        caretY = row * lineHeight;
        return;
    }

    // Cell within the hex column; -1 is the blank after the address.
    const int cell = col - addressDigits - 1;
    int byteInRow = 0;
    HexGridMode clickedMode = HexGridMode::ModeHigh;
    if (cell < 3 * bytesPerRow - 1) {
        if (cell >= 0) {
            const int digit = cell % 3;
            byteInRow = cell / 3 + (digit == 2 ? 1 : 0);
            clickedMode = digit == 1 ? HexGridMode::ModeLow : HexGridMode::ModeHigh;
        }
    } else if (cell < 4 * bytesPerRow) {
        // The separator after the row's last byte belongs to the character column.
        byteInRow = std::max(0, cell - 3 * bytesPerRow);
        clickedMode = HexGridMode::ModeChar;
    } else {
        return;
    }
    const std::int64_t index = rowStart + byteInRow;
    if (index >= length) {
        return;
    }
    position = static_cast<std::int32_t>(index);
    mode = clickedMode;
    PlaceCaret();
}

void HexGridModel::Focus() {
    PlaceCaret();
}

bool HexGridModel::CurrentByteCells(int& hexX, int& charX, int& y) const {
    EnsureLayout();
    const std::int64_t offset = static_cast<std::int64_t>(position) - topIndex;
    if (data == nullptr || offset < 0 || offset >= PageBytes()) {
        return false;
    }
    const std::int64_t col = offset % bytesPerRow;
    hexX = static_cast<int>(hexColumnX + 3 * col * charWidth);
    charX = static_cast<int>(asciiColumnX + col * charWidth);
    y = static_cast<int>(offset / bytesPerRow * lineHeight);
    return y + lineHeight <= clientHeight;
}

std::string HexGridModel::DescribeCurrentByte() const {
    return data == nullptr ? std::string() : DescribeByte(static_cast<std::uint32_t>(position));
}

std::string HexGridModel::DescribeByte(std::uint32_t index) const {
    if (data == nullptr || index >= length) {
        return {};
    }
    const std::uint8_t byte = data[index];
    char text[80];
    std::snprintf(text, sizeof text, "0x%0*X: 0x%02X = %u", AddressDigits(),
                  static_cast<unsigned>(index), byte, static_cast<unsigned>(byte));
    std::string described = text;
    if (byte >= 0x20 && byte <= 0x7E) {
        described += " = '";
        described += static_cast<char>(byte);
        described += '\'';
    }
    return described;
}

void HexGridModel::FormatHeader(std::string& out) const {
    out.assign(static_cast<std::size_t>(AddressDigits()) + 1, ' ');
    for (int i = 0; i < bytesPerRow; ++i) {
        out.push_back(HexDigits[i >> 4]);
        out.push_back(HexDigits[i & 0xF]);
        out.push_back(' ');
    }
    for (int i = 0; i < bytesPerRow; ++i) {
        out.push_back(HexDigits[i & 0xF]);
    }
}

int HexGridModel::VisibleRows() const {
    if (data == nullptr) {
        return 0;
    }
    const std::int64_t fit = clientHeight / lineHeight;
    const std::int64_t remaining = static_cast<std::int64_t>(length) - topIndex;
    const std::int64_t withBytes = (remaining + bytesPerRow - 1) / bytesPerRow;
    return static_cast<int>(std::clamp<std::int64_t>(std::min(fit, withBytes), 0, fit));
}

void HexGridModel::FormatRow(int row, std::string& out) const {
    out.clear();
    if (data == nullptr) {
        return;
    }
    const std::int64_t start = topIndex + static_cast<std::int64_t>(row) * bytesPerRow;
    for (int shift = (AddressDigits() - 1) * 4; shift >= 0; shift -= 4) {
        out.push_back(HexDigits[(start >> shift) & 0xF]);
    }
    out.push_back(' ');
    for (int i = 0; i < bytesPerRow; ++i) {
        const std::int64_t index = start + i;
        if (index >= 0 && index < length) {
            out.push_back(HexDigits[data[index] >> 4]);
            out.push_back(HexDigits[data[index] & 0xF]);
            out.push_back(i == bytesPerRow / 2 - 1 ? '-' : ' ');
        } else {
            out.append(3, ' ');
        }
    }
    for (int i = 0; i < bytesPerRow; ++i) {
        const std::int64_t index = start + i;
        if (index < 0 || index >= length) {
            break;
        }
        const std::uint8_t byte = data[index];
        out.push_back(byte >= 0x20 && byte <= 0x7E ? static_cast<char>(byte) : '.');
    }
}

} // namespace zelk
