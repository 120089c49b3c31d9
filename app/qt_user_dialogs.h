// File dialogs and message boxes over the main window.
#pragma once

#include "app/user_dialogs.h"

#include <QPointer>
#include <QWidget>

namespace zelk {

class QtUserDialogs : public UserDialogs {
public:
    void SetParent(QWidget* parent) { owner = parent; }

    std::optional<std::filesystem::path> AskOpenProject() override;
    std::optional<std::filesystem::path> AskSaveProject(const std::string& initialName) override;
    void ShowMessage(const std::string& text) override;

private:
    QPointer<QWidget> owner;
};

} // namespace zelk
