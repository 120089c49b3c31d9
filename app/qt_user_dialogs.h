// SPDX-License-Identifier: GPL-3.0-or-later
// File dialogs and message boxes over the main window.
#pragma once

#include "station/user_dialogs.h"

#include <memory>
#include <QFileDialog>
#include <QPointer>
#include <QWidget>

namespace zelk {

// The project dialogs, built as zelk shows them.
std::unique_ptr<QFileDialog> MakeProjectOpenDialog(QWidget* parent);
std::unique_ptr<QFileDialog> MakeProjectSaveDialog(QWidget* parent,
                                                   const std::filesystem::path& initialPath);

class QtUserDialogs : public UserDialogs {
public:
    void SetParent(QWidget* parent) { owner = parent; }

    std::optional<std::filesystem::path> AskOpenProject() override;
    std::optional<std::filesystem::path>
    AskSaveProject(const std::filesystem::path& initialPath) override;
    SaveChoice AskSaveChanges(const std::string& question) override;
    void ShowMessage(const std::string& text) override;
    bool Confirm(const std::string& question) override;

private:
    QPointer<QWidget> owner;
};

} // namespace zelk
