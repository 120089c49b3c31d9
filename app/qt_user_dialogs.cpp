#include "app/qt_user_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace zelk {
namespace {

const QString ProjectFilter = QStringLiteral("PRJ Files (*.prj)");

std::optional<std::filesystem::path> RunProjectDialog(QFileDialog& dialog) {
    dialog.setNameFilter(ProjectFilter);
    dialog.setDefaultSuffix(QStringLiteral("prj"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(dialog.selectedFiles().first().toStdString());
}

} // namespace

std::optional<std::filesystem::path> QtUserDialogs::AskOpenProject() {
    QFileDialog dialog(owner, QStringLiteral("Open"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return RunProjectDialog(dialog);
}

std::optional<std::filesystem::path> QtUserDialogs::AskSaveProject(const std::string& initialName) {
    QFileDialog dialog(owner, QStringLiteral("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(QString::fromStdString(initialName));
    return RunProjectDialog(dialog);
}

void QtUserDialogs::ShowMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("zelk"), QString::fromStdString(text),
                    QMessageBox::Ok, owner);
    box.exec();
}

} // namespace zelk
