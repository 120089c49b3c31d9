// SPDX-License-Identifier: GPL-3.0-or-later
// A started application with prepared answers to its dialogs, in a fresh current folder, with
// an empty settings store and a state folder of its own.
#pragma once

#include "app/programmer_app.h"
#include "engine/connection.h"
#include "platform/settings_store.h"
#include "shell/main_frame.h"

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <QApplication>
#include <QTest>
#include <string>
#include <vector>

namespace zelk::test {

class FakeDialogs : public UserDialogs {
public:
    std::optional<std::filesystem::path> AskOpenProject() override { return Next(openAnswers, {}); }
    std::optional<std::filesystem::path>
    AskSaveProject(const std::filesystem::path& initialPath) override {
        saveOffered.push_back(initialPath);
        return Next(saveAnswers, {});
    }
    SaveChoice AskSaveChanges(const std::string& question) override {
        questions.push_back(question);
        return Next(choices, SaveChoice::Cancel);
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool Confirm(const std::string& question) override {
        questions.push_back(question);
        return Next(confirmations, false);
    }

    // Prepared answers, taken in order; once they run out a dialog is cancelled (nullopt,
    // Cancel, No).
    std::deque<std::optional<std::filesystem::path>> openAnswers;
    std::deque<std::optional<std::filesystem::path>> saveAnswers;
    std::deque<SaveChoice> choices;
    std::deque<bool> confirmations;
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    // The initial paths the save dialog offered.
    std::vector<std::filesystem::path> saveOffered;

private:
    template <typename Answer> static Answer Next(std::deque<Answer>& answers, Answer none) {
        if (answers.empty()) {
            return none;
        }
        Answer answer = answers.front();
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

// The named child, and a test failure when there is none.
template <typename Widget> Widget* Child(const QObject& parent, const QString& name) {
    auto* widget = parent.findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
}

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("zelk-app-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        previousFolder = std::filesystem::current_path();
        std::filesystem::current_path(folder);
        store = std::make_unique<SettingsStore>(folder / "zelk.conf");
        if (const char* state = std::getenv("XDG_STATE_HOME")) {
            previousState = state;
        }
        ::setenv("XDG_STATE_HOME", folder.c_str(), 1);
    }

    void TearDown() override {
        if (folder.empty()) {
            return; // skipped before SetUp
        }
        app.reset();
        ProcessEvents();
        ::setenv("XDG_STATE_HOME", previousState.c_str(), 1);
        std::filesystem::current_path(previousFolder);
        std::filesystem::remove_all(folder);
    }

    void Start(const StartupOptions& options = {}) {
        auto fake = std::make_unique<FakeDialogs>();
        dialogs = fake.get();
        app = std::make_unique<CProgrammerApp>(std::move(fake), store->Path());
        app->Startup(options);
        frame = app->MainFrame();
    }

    // Closes the main window as the user does and ends the application.
    void Quit() {
        frame->close();
        app->Shutdown();
        app.reset();
        ProcessEvents();
    }

    // Chooses a command as the user does, and lets a target command's worker end.
    void Trigger(int id) {
        frame->Action(id)->trigger();
        ProcessEvents();
        for (int round = 0; round < 2000 && app->TargetCommandRunning(); ++round) {
            QTest::qWait(2);
        }
        ProcessEvents();
    }

    // Connects the application to a simulated chip that keeps its state in the test's folder.
    void Attach(const std::string& device, const SimFaults& faults = {}, bool virtualTime = true) {
        ConnectionSettings settings;
        settings.port = PortKind::Simulator;
        settings.simulator.device = device;
        settings.simulator.faults = faults;
        settings.simulator.virtualTime = virtualTime;
        settings.simulator.stateFile = folder / (device + ".chip");
        std::string error;
        auto programmer = MakeProgrammer(settings, error);
        ASSERT_NE(programmer, nullptr) << error;
        ASSERT_TRUE(app->SetProgrammer(std::move(programmer)));
    }

    // Lets the event loop run until a target command's worker has handed everything back.
    void WaitForTheWorker() {
        for (int round = 0; round < 2000 && app->TargetCommandRunning(); ++round) {
            ProcessEvents();
            QTest::qWait(2);
        }
        ProcessEvents();
        ASSERT_FALSE(app->TargetCommandRunning());
        ASSERT_NE(app->CurrentProgrammer(), nullptr);
    }

    std::filesystem::path folder;
    std::filesystem::path previousFolder;
    std::string previousState;
    // The application's settings, in the test's folder.
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<CProgrammerApp> app;
    FakeDialogs* dialogs = nullptr;
    CMainFrame* frame = nullptr;
};

} // namespace zelk::test
