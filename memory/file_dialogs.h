// SPDX-License-Identifier: GPL-3.0-or-later
// The file dialogs of zelk. All of them are the desktop's own dialogs where it has them, so
// that Load File, Save File and the project dialogs look and behave alike.
#pragma once

#include <memory>
#include <QFileDialog>
#include <QString>

namespace zelk {

std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* parent, const QString& title,
                                            const QString& folder, const QString& filters,
                                            QFileDialog::AcceptMode mode);

// Load File: HEX and S-record files, in `folder`.
std::unique_ptr<QFileDialog> MakeImageOpenDialog(QWidget* parent, const QString& folder);
// Save File: the chosen type's extension is added to a name without one.
std::unique_ptr<QFileDialog> MakeImageSaveDialog(QWidget* parent, const QString& folder);

// "S-Record Files (*.srec *.s19)" gives "srec"; a filter without a pattern gives "hex".
QString FilterExtension(const QString& filter);

} // namespace zelk
