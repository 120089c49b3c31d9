#include "shell/project_form.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace zelk {
namespace {

// The form is laid out in dialog units of an 8-point dialog font: 4 units are 6 pixels
// across, 8 units are 13 pixels down.
QRect Units(int x, int y, int width, int height) {
    return {x * 3 / 2, y * 13 / 8, width * 3 / 2, height * 13 / 8};
}

} // namespace

CProjectForm::CProjectForm(QWidget* parent)
    : QWidget(parent), titleEdit(new QLineEdit(this)), commentEdit(new QPlainTextEdit(this)) {
    auto* titleLabel = new QLabel(QStringLiteral("Project Title"), this);
    auto* commentLabel = new QLabel(QStringLiteral("Comments"), this);
    titleLabel->setGeometry(Units(7, 7, 60, 8));
    titleEdit->setGeometry(Units(7, 16, 166, 12));
    commentLabel->setGeometry(Units(7, 36, 60, 8));
    commentEdit->setGeometry(Units(7, 47, 166, 57));
    commentEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Enter starts a new line in the comment; Tab moves on to the next field.
    commentEdit->setTabChangesFocus(true);
    setFixedSize(Units(0, 0, 180, 116).size());
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

void CProjectForm::TransferToControls() {
    titleEdit->setText(title);
    commentEdit->setPlainText(comment);
}

} // namespace zelk
