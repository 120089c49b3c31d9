// SPDX-License-Identifier: GPL-3.0-or-later
// The text pane of both terminals: shows received bytes, and hands every typed character to
// its terminal instead of inserting it.
#pragma once

#include <cstdint>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <span>

namespace zelk {

class CTerminalOutput : public QPlainTextEdit {
    Q_OBJECT
public:
    // Once the text has reached TextBound characters, the oldest DroppedAtBound go before
    // the next character is shown, so long use never slows the pane down.
    static constexpr int TextBound = 16384;
    static constexpr int DroppedAtBound = 4097;

    explicit CTerminalOutput(QWidget* parent = nullptr);

    // One received byte: CR starts a line, LF and the zero byte show nothing, Backspace
    // erases the last character shown, any other byte shows as its Latin-1 character.
    void AppendChar(std::uint8_t character);
    // Many bytes by the same rules, laid out and scrolled once.
    void AppendBytes(std::span<const std::uint8_t> bytes);
    // A line of the terminal's own (not from the far end), on a line by itself.
    void AppendNote(const QString& text);
    int TextLength() const;

signals:
    // A typed character: its code, Enter as 13, Backspace as 8, Ctrl+letter as 1..26.
    void TerminalKey(int character);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void Apply(QTextCursor& cursor, std::uint8_t character);
};

} // namespace zelk
