#include "app/gui_target_ui.h"

#include "app/programmer_app.h"
#include "memory/memory_view.h"
#include "shell/main_frame.h"
#include "shell/progress_dialog.h"

#include <QApplication>
#include <QThread>

namespace zelk {

GuiTargetUi::GuiTargetUi(CProgrammerApp& owner) : app(owner) {}

template <typename Work> void GuiTargetUi::OnGuiThread(Work work) {
    if (QThread::currentThread() == thread()) {
        work();
    } else {
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
    }
}

void GuiTargetUi::ShowMessage(MessageKind, const std::string& text) {
    OnGuiThread([this, text] { app.Dialogs().ShowMessage(text); });
}

void GuiTargetUi::BeginWaitCursor() {
    OnGuiThread([] { QApplication::setOverrideCursor(Qt::WaitCursor); });
}

void GuiTargetUi::EndWaitCursor() {
    OnGuiThread([] { QApplication::restoreOverrideCursor(); });
}

void GuiTargetUi::SetDeviceText(const std::string& text) {
    OnGuiThread([this, text] {
        if (CMainFrame* frame = app.MainFrame(); frame != nullptr) {
            frame->SetDeviceText(QString::fromStdString(text));
        }
    });
}

void GuiTargetUi::ProgressOpen() {
    OnGuiThread([this] {
        if (progress) {
            progress->deleteLater();
        }
        progress = new CProgressDialog(app.MainFrame());
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

void GuiTargetUi::ImageChanged(MemoryKind memory, std::uint32_t shownLength) {
    OnGuiThread([this, memory, shownLength] {
        TargetImages& images = app.State().images;
        const bool flash = memory == MemoryKind::Flash;
        std::uint8_t* image = flash ? images.flashImage.data() : images.eepromImage.data();
        (flash ? images.flashShownLength : images.eepromShownLength) = shownLength;
        if (CMemoryView* view = app.MemoryView(memory); view != nullptr) {
            view->SetImage(image, shownLength);
            view->Redraw();
        }
    });
}

} // namespace zelk
