// A started application with prepared answers to its dialogs, in a fresh current folder and
// with an empty settings store.
#pragma once

#include "app/programmer_app.h"
#include "platform/settings_store.h"
#include "shell/main_frame.h"

#include <deque>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <QApplication>
#include <string>
#include <vector>

namespace zelk::test {

class FakeDialogs : public UserDialogs {
public:
    std::optional<std::filesystem::path> AskOpenProject() override { return Next(openAnswers); }
    std::optional<std::filesystem::path>
    AskSaveProject(const std::filesystem::path& initialPath) override {
        saveOffered.push_back(initialPath);
        return Next(saveAnswers);
    }
    SaveChoice AskSaveChanges(const std::string& question) override {
        questions.push_back(question);
        if (choices.empty()) {
            return SaveChoice::Cancel;
        }
        const SaveChoice choice = choices.front();
        choices.pop_front();
        return choice;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool Confirm(const std::string& question) override {
        questions.push_back(question);
        if (confirmations.empty()) {
            return false;
        }
        const bool answer = confirmations.front();
        confirmations.pop_front();
        return answer;
    }

    // nullopt answers as a cancelled dialog.
    std::deque<std::optional<std::filesystem::path>> openAnswers;
    std::deque<std::optional<std::filesystem::path>> saveAnswers;
    std::vector<std::string> messages;
    // The initial paths the save dialog offered.
    std::vector<std::filesystem::path> saveOffered;
    // Answers to "save the changes?"; none left answers Cancel.
    std::deque<SaveChoice> choices;
    std::vector<std::string> questions;
    // Answers to Confirm; none left answers No.
    std::deque<bool> confirmations;

private:
    static std::optional<std::filesystem::path>
    Next(std::deque<std::optional<std::filesystem::path>>& answers) {
        if (answers.empty()) {
            return std::nullopt;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// Lets queued calls and deferred deletions run.
inline void ProcessEvents() {
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }
}

class AppTest : public testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("zelk-app-" + std::to_string(::getpid()) + "-" +
                  testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        previousFolder = std::filesystem::current_path();
        std::filesystem::current_path(folder);
        std::filesystem::remove(SettingsFilePath());
    }

    void TearDown() override {
        app.reset();
        ProcessEvents();
        std::filesystem::current_path(previousFolder);
        std::filesystem::remove_all(folder);
    }

    void Start() {
        auto fake = std::make_unique<FakeDialogs>();
        dialogs = fake.get();
        app = std::make_unique<CProgrammerApp>(std::move(fake));
        ASSERT_TRUE(app->Startup());
        frame = app->MainFrame();
    }

    // Closes the main window as the user does and ends the application.
    void Quit() {
        frame->close();
        app->Shutdown();
        app.reset();
        ProcessEvents();
    }

    std::filesystem::path folder;
    std::filesystem::path previousFolder;
    std::unique_ptr<CProgrammerApp> app;
    FakeDialogs* dialogs = nullptr;
    CMainFrame* frame = nullptr;
};

} // namespace zelk::test
