// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/file_dialogs.h"

#include <QRegularExpression>

namespace zelk {
namespace {

const QString OpenFilters = QStringLiteral("HEX Files (*.hex *.ihx *.eep *.rom);;"
                                           "S-Record Files (*.srec *.s19 *.s28 *.s37 *.mot);;"
                                           "ELF Files (*.elf);;"
                                           "Binary Files (*.bin);;"
                                           "All Files (*)");
const QString SaveFilters = QStringLiteral("HEX Files (*.hex);;"
                                           "S-Record Files (*.srec *.s19 *.s28 *.s37);;"
                                           "Binary Files (*.bin)");

} // namespace

std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* parent, const QString& title,
                                            const QString& folder, const QString& filters,
                                            QFileDialog::AcceptMode mode) {
    auto dialog = std::make_unique<QFileDialog>(parent, title, folder, filters);
    dialog->setAcceptMode(mode);
    dialog->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                        : QFileDialog::AnyFile);
    return dialog;
}

std::unique_ptr<QFileDialog> MakeImageOpenDialog(QWidget* parent, const QString& folder) {
    return MakeFileDialog(parent, QStringLiteral("Load File"), folder, OpenFilters,
                          QFileDialog::AcceptOpen);
}

std::unique_ptr<QFileDialog> MakeImageSaveDialog(QWidget* parent, const QString& folder) {
    auto dialog = MakeFileDialog(parent, QStringLiteral("Save File"), folder, SaveFilters,
                                 QFileDialog::AcceptSave);
    QFileDialog* shown = dialog.get();
    shown->setDefaultSuffix(FilterExtension(shown->selectedNameFilter()));
    QObject::connect(shown, &QFileDialog::filterSelected, shown, [shown](const QString& filter) {
        shown->setDefaultSuffix(FilterExtension(filter));
    });
    return dialog;
}

QString FilterExtension(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral(R"(\*\.(\w+))"));
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? match.captured(1) : QStringLiteral("hex");
}

} // namespace zelk
