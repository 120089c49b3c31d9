// SPDX-License-Identifier: GPL-3.0-or-later
// The target commands in the GUI: the Programmer, and the worker that runs a row of the
// command table on it with a copy of the project's images, so that the window never waits on
// the port. The completion, queued to the GUI thread, hands the Programmer back, takes over
// the images the command read and tells the outcome in the status bar.
#pragma once

#include "app/gui_target_ui.h"
#include "app/project_document.h"
#include "engine/connection.h"
#include "platform/settings_store.h"
#include "station/target_commands.h"
#include "station/target_job_runner.h"
#include "station/user_dialogs.h"

#include <functional>
#include <memory>
#include <optional>
#include <QObject>
#include <string>

namespace zelk {

class CMainFrame;

class CTargetController : public QObject {
    Q_OBJECT
public:
    // Called on the GUI thread once the command's images are taken over.
    using Done = std::function<void(CommandResult result, const CommandOutput& output)>;

    CTargetController(SettingsStore& settings, UserDialogs& dialogs, GuiTargetUi& ui,
                      CProjectDocument& document);
    // Waits for a worker that still runs: it uses the Programmer and the user interface.
    ~CTargetController() override;

    void SetFrame(CMainFrame* mainFrame) { frame = mainFrame; }

    // Builds the Programmer for `connection`. One that cannot be built leaves no Programmer:
    // false, with the reason kept for ConnectionProblem.
    bool Connect(const ConnectionSettings& connection);
    // Why there is no connection; empty while there is one.
    const std::string& ConnectionProblem() const { return connectionProblem; }
    // Puts another Programmer in place; refused, false, while a worker holds the port.
    bool SetProgrammer(std::unique_ptr<Programmer> replacement);
    // The Programmer, or null while a worker holds it or there is no connection.
    Programmer* CurrentProgrammer() const { return programmer.get(); }
    // The slot the SPI terminal borrows the Programmer from.
    std::unique_ptr<Programmer>& ProgrammerSlot() { return programmer; }
    bool Running() const { return runner.Running(); }
    bool TargetReady() const { return programmer && programmer->targetReady != 0; }

    // Runs the row on the worker. False, after telling the user, when the port is busy or
    // there is no connection.
    bool Start(CommandId id, const CommandInput& input, Done done = {});
    // Shutdown: a running command is cancelled and waited for; the target runs again.
    void Stop();

signals:
    // A command ended and its completion was handled.
    void Finished();

private:
    void OnFinished();

    SettingsStore& settings;
    UserDialogs& dialogs;
    GuiTargetUi& ui;
    CProjectDocument& document;
    CMainFrame* frame = nullptr;
    std::unique_ptr<Programmer> programmer;
    std::string connectionProblem;
    // The command the runner works on.
    struct Job {
        CommandId id;
        std::shared_ptr<CommandOutput> output;
        std::shared_ptr<CommandResult> result;
        Done done;
    };
    std::optional<Job> running;
    // Declared last: destroyed first, it waits for the thread that uses the members above.
    TargetJobRunner runner;
};

} // namespace zelk
