// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal/terminal_output.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QTextBlock>
#include <QTextCursor>

namespace zelk {
namespace {

constexpr std::uint8_t Backspace = 8;
constexpr std::uint8_t LineFeed = 10;
constexpr std::uint8_t CarriageReturn = 13;

} // namespace

CTerminalOutput::CTerminalOutput(QWidget* parent) : QPlainTextEdit(parent) {
    // The desktop's own fixed-pitch font, at the size the user chose for it.
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // What is typed goes to the far end, what it answers shows here.
    setAccessibleName(QStringLiteral("Terminal"));
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setUndoRedoEnabled(false);
    setAcceptDrops(false);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
}

int CTerminalOutput::TextLength() const {
    return document()->characterCount() - 1;
}

void CTerminalOutput::AppendChar(std::uint8_t character) {
    AppendBytes({&character, 1});
}

void CTerminalOutput::AppendBytes(std::span<const std::uint8_t> bytes) {
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    for (const std::uint8_t byte : bytes) {
        Apply(cursor, byte);
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

void CTerminalOutput::Apply(QTextCursor& cursor, std::uint8_t character) {
    int length = TextLength();
    if (length >= TextBound) {
        cursor.setPosition(0);
        cursor.setPosition(DroppedAtBound, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        length -= DroppedAtBound;
    }
    cursor.setPosition(length);
    switch (character) {
    case LineFeed:
    case 0:
        break;
    case CarriageReturn:
        cursor.insertText(QStringLiteral("\n"));
        break;
    case Backspace:
        if (length > 0) {
            cursor.setPosition(length - 1, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        break;
    default:
        cursor.insertText(QString(QChar(static_cast<char16_t>(character))));
        break;
    }
}

void CTerminalOutput::AppendNote(const QString& text) {
    if (TextLength() > 0 && !document()->lastBlock().text().isEmpty()) {
        AppendChar(CarriageReturn);
    }
    for (const QChar letter : text) {
        AppendChar(static_cast<std::uint8_t>(letter.toLatin1()));
    }
    AppendChar(CarriageReturn);
}

void CTerminalOutput::keyPressEvent(QKeyEvent* event) {
    // Escape closes the terminal (the dialog takes it); it is not sent.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    // Delete and the moving keys produce no character: they keep the pane's own handling.
    // Ctrl with a letter is that letter's control character, whatever the keyboard reports.
    const bool control =
        (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) ==
        Qt::ControlModifier;
    if (control && event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z) {
        emit TerminalKey(event->key() - Qt::Key_A + 1);
        event->accept();
        return;
    }
    const QString text = event->text();
    if (text.isEmpty() || event->key() == Qt::Key_Delete) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    for (const QChar letter : text) {
        emit TerminalKey(letter.unicode());
    }
    event->accept();
}

void CTerminalOutput::inputMethodEvent(QInputMethodEvent* event) {
    for (const QChar letter : event->commitString()) {
        emit TerminalKey(letter.unicode());
    }
    event->accept();
}

void CTerminalOutput::contextMenuEvent(QContextMenuEvent* event) {
    // Copying is harmless; pasting or cutting would change the text behind the far end's back.
    QMenu menu(this);
    QAction* copy = menu.addAction(tr("&Copy"), this, &QPlainTextEdit::copy);
    copy->setEnabled(textCursor().hasSelection());
    menu.addAction(tr("Select &All"), this, &QPlainTextEdit::selectAll);
    menu.exec(event->globalPos());
}

} // namespace zelk
