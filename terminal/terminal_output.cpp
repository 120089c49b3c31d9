#include "terminal/terminal_output.h"

#include <QContextMenuEvent>
#include <QFont>
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
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(12);
    setFont(font);
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
    QTextCursor cursor(document());
    int length = TextLength();
    if (length >= TextBound) {
        cursor.setPosition(0);
        cursor.setPosition(DroppedAtBound, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        length -= DroppedAtBound;
    }
    if (character == Backspace) {
        cursor.setPosition(length);
        if (length > 0) {
            cursor.setPosition(length - 1, QTextCursor::KeepAnchor);
        }
    } else {
        cursor.setPosition(length);
    }
    switch (character) {
    case LineFeed:
    case 0:
        break;
    case CarriageReturn:
        cursor.insertText(QStringLiteral("\n"));
        break;
    case Backspace:
        cursor.removeSelectedText();
        break;
    default:
        cursor.insertText(QString(QChar(static_cast<char16_t>(character))));
        break;
    }
    setTextCursor(cursor);
    ensureCursorVisible();
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
    // Delete and the moving keys produce no character: they keep the pane's own handling.
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
