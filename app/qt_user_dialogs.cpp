// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_user_dialogs.h"

#include "memory/file_dialogs.h"

#include <QFile>
#include <QMessageBox>

namespace zelk {
namespace {

const QString ProjectFilter = QStringLiteral("PRJ Files (*.prj)");

std::optional<std::filesystem::path> RunProjectDialog(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(QFile::encodeName(dialog.selectedFiles().first()).toStdString());
}

} // namespace

std::unique_ptr<QFileDialog> MakeProjectOpenDialog(QWidget* parent) {
    auto dialog =
        MakeFileDialog(parent, QStringLiteral("Open"), {}, ProjectFilter, QFileDialog::AcceptOpen);
    dialog->setDefaultSuffix(QStringLiteral("prj"));
    return dialog;
}

std::unique_ptr<QFileDialog> MakeProjectSaveDialog(QWidget* parent,
                                                   const std::filesystem::path& initialPath) {
    const QString initial = QFile::decodeName(initialPath.c_str());
    auto dialog = MakeFileDialog(parent, QStringLiteral("Save As"), initial, ProjectFilter,
                                 QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("prj"));
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->selectFile(initial);
    return dialog;
}

std::optional<std::filesystem::path> QtUserDialogs::AskOpenProject() {
    return RunProjectDialog(*MakeProjectOpenDialog(owner));
}

std::optional<std::filesystem::path>
QtUserDialogs::AskSaveProject(const std::filesystem::path& initialPath) {
    return RunProjectDialog(*MakeProjectSaveDialog(owner, initialPath));
}

SaveChoice QtUserDialogs::AskSaveChanges(const std::string& question) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("zelk"), QString::fromStdString(question),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, owner);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        return SaveChoice::Save;
    case QMessageBox::Discard:
        return SaveChoice::Discard;
    default:
        return SaveChoice::Cancel;
    }
}

void QtUserDialogs::ShowMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("zelk"), QString::fromStdString(text),
                    QMessageBox::Ok, owner);
    box.exec();
}

bool QtUserDialogs::Confirm(const std::string& question) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("zelk"), QString::fromStdString(question),
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace zelk
