// SPDX-License-Identifier: GPL-3.0-or-later
// What the target commands show in the GUI: message boxes, the wait cursor, the device bar,
// the progress window named for the command and its steps, and the memory views. Calls from a
// worker thread are queued to the GUI thread.
#pragma once

#include "engine/target_ui.h"
#include "shell/progress_dialog.h"
#include "station/user_dialogs.h"

#include <functional>
#include <QObject>
#include <QPointer>
#include <string>

namespace zelk {

class CMainFrame;

class GuiTargetUi : public QObject, public TargetUi {
    Q_OBJECT
public:
    // `imageChanged` rebinds the view of a memory whose image a command replaced.
    GuiTargetUi(UserDialogs& dialogs, std::function<void(MemoryKind, std::uint32_t)> imageChanged);

    void SetFrame(CMainFrame* mainFrame) { frame = mainFrame; }
    // The command the next progress window is named for ("Read Flash").
    void SetCommandName(std::string name) { commandName = std::move(name); }

    void ShowMessage(MessageKind kind, const std::string& text) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void SetDeviceText(const std::string& text) override;

    void ProgressOpen() override;
    void ProgressSet(int percent) override;
    void ProgressAttachCancel(std::atomic<int>* cancelFlag) override;
    void ProgressClose() override;
    void ProgressStep(const std::string& what) override;

    void ImageChanged(MemoryKind memory, std::uint32_t shownLength) override;

    // The open progress window, or null.
    CProgressDialog* Progress() const { return progress; }

private:
    // Runs `work` now on the GUI thread, or queues it there from a worker.
    template <typename Work> void OnGuiThread(Work work);

    UserDialogs& dialogs;
    std::function<void(MemoryKind, std::uint32_t)> imageChanged;
    CMainFrame* frame = nullptr;
    std::string commandName;
    QPointer<CProgressDialog> progress;
};

} // namespace zelk
