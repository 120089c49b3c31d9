// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/project_form.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace zelk {

CProjectForm::CProjectForm(QWidget* parent)
    : QWidget(parent), titleEdit(new QLineEdit(this)), commentEdit(new QPlainTextEdit(this)) {
    auto* titleLabel = new QLabel(QStringLiteral("Project Title"), this);
    auto* commentLabel = new QLabel(QStringLiteral("Comments"), this);
    // The labels name their fields for a screen reader.
    titleLabel->setBuddy(titleEdit);
    commentLabel->setBuddy(commentEdit);
    commentEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Enter starts a new line in the comment; Tab moves on to the next field.
    commentEdit->setTabChangesFocus(true);

    // Sized in characters of the user's font, so that every text fits at any font size and
    // screen scale: about 40 characters across, 5 lines of comment.
    const QFontMetrics metrics(commentEdit->font());
    const int width = metrics.averageCharWidth() * 40;
    titleEdit->setMinimumWidth(width);
    commentEdit->setMinimumSize(
        width, metrics.lineSpacing() * 5 +
                   2 * static_cast<int>(commentEdit->document()->documentMargin()) +
                   2 * commentEdit->frameWidth());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(titleLabel);
    layout->addWidget(titleEdit);
    layout->addSpacing(metrics.height() / 2);
    layout->addWidget(commentLabel);
    layout->addWidget(commentEdit, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setFocusProxy(titleEdit);
}

void CProjectForm::SetTitle(const QString& text) {
    title = text;
    TransferToControls();
}

void CProjectForm::SetComment(const QString& text) {
    comment = text;
    TransferToControls();
}

void CProjectForm::TransferFromControls() {
    comment = commentEdit->toPlainText();
    title = titleEdit->text();
}

bool CProjectForm::IsEdited() const {
    return titleEdit->text() != savedTitle || commentEdit->toPlainText() != savedComment;
}

void CProjectForm::MarkSaved() {
    savedTitle = titleEdit->text();
    savedComment = commentEdit->toPlainText();
}

void CProjectForm::TransferToControls() {
    titleEdit->setText(title);
    commentEdit->setPlainText(comment);
    MarkSaved();
}

} // namespace zelk
