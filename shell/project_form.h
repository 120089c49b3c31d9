// SPDX-License-Identifier: GPL-3.0-or-later
// The project window's form: the project title and a comment that may span several lines.
#pragma once

#include <QString>
#include <QWidget>

class QLineEdit;
class QPlainTextEdit;

namespace zelk {

class CProjectForm : public QWidget {
    Q_OBJECT
public:
    explicit CProjectForm(QWidget* parent = nullptr);

    // Each sets its field, then shows both fields in the edits.
    void SetTitle(const QString& text);
    void SetComment(const QString& text);
    // Reads both edits back into the fields.
    void TransferFromControls();
    QString GetTitle() const { return title; }
    QString GetComment() const { return comment; }
    // True when either edit differs from what was last shown or saved.
    bool IsEdited() const;
    // The edits as they stand are saved.
    void MarkSaved();

    QLineEdit* TitleEdit() const { return titleEdit; }
    QPlainTextEdit* CommentEdit() const { return commentEdit; }

private:
    void TransferToControls();

    QString comment;
    QString title;
    QString savedTitle;
    QString savedComment;
    QLineEdit* titleEdit;
    QPlainTextEdit* commentEdit;
};

} // namespace zelk
