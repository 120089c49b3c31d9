// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/gui_target_ui.h"

#include "shell/main_frame.h"
#include "shell/progress_dialog.h"

#include <QApplication>
#include <QThread>

namespace zelk {

GuiTargetUi::GuiTargetUi(UserDialogs& userDialogs,
                         std::function<void(MemoryKind, std::uint32_t)> changed)
    : dialogs(userDialogs), imageChanged(std::move(changed)) {}

template <typename Work> void GuiTargetUi::OnGuiThread(Work work) {
    if (QThread::currentThread() == thread()) {
        work();
    } else {
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
    }
}

void GuiTargetUi::ShowMessage(MessageKind, const std::string& text) {
    OnGuiThread([this, text] { dialogs.ShowMessage(text); });
}

void GuiTargetUi::BeginWaitCursor() {
    OnGuiThread([] { QApplication::setOverrideCursor(Qt::WaitCursor); });
}

void GuiTargetUi::EndWaitCursor() {
    OnGuiThread([] { QApplication::restoreOverrideCursor(); });
}

void GuiTargetUi::SetDeviceText(const std::string& text) {
    OnGuiThread([this, text] {
        if (frame != nullptr) {
            frame->SetDeviceText(QString::fromStdString(text));
        }
    });
}

void GuiTargetUi::ProgressOpen() {
    OnGuiThread([this] {
        if (progress) {
            progress->deleteLater();
        }
        progress = new CProgressDialog(frame, QString::fromStdString(commandName));
        progress->setAttribute(Qt::WA_DeleteOnClose);
    });
}

void GuiTargetUi::ProgressSet(int percent) {
    OnGuiThread([this, percent] {
        if (progress) {
            progress->SetPosition(percent);
        }
    });
}

void GuiTargetUi::ProgressAttachCancel(std::atomic<int>* cancelFlag) {
    OnGuiThread([this, cancelFlag] {
        if (progress) {
            progress->AttachCancel(cancelFlag);
        }
    });
}

void GuiTargetUi::ProgressClose() {
    OnGuiThread([this] {
        if (progress) {
            progress->close();
        }
    });
}

void GuiTargetUi::ProgressStep(const std::string& what) {
    OnGuiThread([this, what] {
        if (progress) {
            progress->SetStep(QString::fromStdString(what));
        }
    });
}

void GuiTargetUi::ImageChanged(MemoryKind memory, std::uint32_t shownLength) {
    OnGuiThread([this, memory, shownLength] { imageChanged(memory, shownLength); });
}

} // namespace zelk
