// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/target_controller.h"

#include "shell/main_frame.h"

#include <QMetaObject>
#include <QStatusBar>

namespace zelk {

CTargetController::CTargetController(SettingsStore& store, UserDialogs& userDialogs,
                                     GuiTargetUi& targetUi, CProjectDocument& projectDocument)
    : settings(store), dialogs(userDialogs), ui(targetUi), document(projectDocument) {}

CTargetController::~CTargetController() {
    Stop();
}

bool CTargetController::Connect(const ConnectionSettings& connection) {
    if (runner.Running()) {
        return false;
    }
    connectionProblem.clear();
    programmer = MakeProgrammer(connection, connectionProblem);
    document.SetDevice(nullptr);
    return programmer != nullptr;
}

bool CTargetController::SetProgrammer(std::unique_ptr<Programmer> replacement) {
    if (runner.Running()) {
        return false;
    }
    programmer = std::move(replacement);
    connectionProblem.clear();
    document.SetDevice(nullptr);
    return true;
}

bool CTargetController::Start(CommandId id, const CommandInput& input, Done done) {
    if (!programmer) {
        dialogs.ShowMessage(connectionProblem.empty()
                                ? std::string(TargetBusyMessage)
                                : "There is no connection to a target: " + connectionProblem +
                                      "\nChoose a port in Options > Preferences.");
        return false;
    }
    const TargetCommand& command = FindTargetCommand(id);
    auto output = std::make_shared<CommandOutput>();
    auto result = std::make_shared<CommandResult>(CommandResult::Failed);
    ui.SetCommandName(std::string(command.name));
    TargetJob job = [this, id, input, output, result](std::unique_ptr<Programmer>& held,
                                                      TargetImages& images, TargetUi& workerUi,
                                                      const std::atomic<int>&) {
        CommandPlace place{images, settings};
        *result = RunTargetCommand(id, *held, place, input, *output, workerUi);
        return *result == CommandResult::Done || *result == CommandResult::Unconfirmed;
    };
    std::string error;
    document.SetEditable(false);
    if (!runner.Start(
            programmer, document.State().images, ui, std::move(job),
            [this] {
                QMetaObject::invokeMethod(this, &CTargetController::OnFinished,
                                          Qt::QueuedConnection);
            },
            error)) {
        document.SetEditable(true);
        dialogs.ShowMessage("The command cannot be started.\n" + error);
        return false;
    }
    running = Job{id, output, result, std::move(done)};
    return true;
}

void CTargetController::OnFinished() {
    TargetJobOutcome outcome = runner.Finish();
    if (!outcome.programmer || !running) {
        return;
    }
    programmer = std::move(outcome.programmer);
    const Job finished = std::move(*running);
    running.reset();
    const CommandResult result = outcome.cancelled ? CommandResult::Cancelled : *finished.result;
    // Only a command that ran to its end changes the user's images; views keep pointing at
    // the same buffers.
    if (result != CommandResult::Cancelled) {
        for (const ImageChange& change : outcome.changed) {
            document.TakeImage(change.memory, *outcome.images, change.shownLength);
        }
    }
    document.SetEditable(true);
    document.SetDevice(programmer->targetReady != 0 && !programmer->device.name.empty()
                           ? &programmer->device
                           : nullptr);
    const TargetCommand& command = FindTargetCommand(finished.id);
    const std::string text = OutcomeText(command, result, outcome.lastPercent);
    if (result == CommandResult::Cancelled) {
        dialogs.ShowMessage(text);
    }
    if (frame != nullptr) {
        frame->statusBar()->showMessage(QString::fromStdString(text));
    }
    if (finished.done) {
        finished.done(result, *finished.output);
    }
    emit Finished();
}

void CTargetController::Stop() {
    if (runner.Running()) {
        runner.Cancel();
        programmer = runner.Finish().programmer;
        running.reset();
    }
    if (programmer) {
        programmer->ReleaseReset();
    }
}

} // namespace zelk
