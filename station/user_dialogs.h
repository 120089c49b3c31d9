// SPDX-License-Identifier: GPL-3.0-or-later
// The questions and messages the project commands put to the user. The GUI answers with
// file dialogs and message boxes; tests answer with prepared paths and a record.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zelk {

// The answer to "save the changes?".
enum class SaveChoice { Save, Discard, Cancel };

class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    // The project file to open; nullopt when the user cancels.
    virtual std::optional<std::filesystem::path> AskOpenProject() = 0;
    // The file to save the project to, offering `initialPath` (a folder and a file name);
    // nullopt when cancelled.
    virtual std::optional<std::filesystem::path>
    AskSaveProject(const std::filesystem::path& initialPath) = 0;
    // Whether to save the changes `question` describes, discard them, or stay.
    virtual SaveChoice AskSaveChanges(const std::string& question) = 0;
    // A message box captioned "zelk" with an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // A warning with Yes and No, No the default: true only for Yes.
    virtual bool Confirm(const std::string& question) = 0;
};

} // namespace zelk
