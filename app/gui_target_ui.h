// What the target commands show in the GUI: message boxes, the wait cursor, the device bar,
// the progress window and the memory views. Calls from a worker thread are queued to the GUI
// thread.
#pragma once

#include "engine/target_ui.h"
#include "shell/progress_dialog.h"

#include <QObject>
#include <QPointer>

namespace zelk {

class CProgrammerApp;

class GuiTargetUi : public QObject, public TargetUi {
    Q_OBJECT
public:
    explicit GuiTargetUi(CProgrammerApp& app);

    void ShowMessage(MessageKind kind, const std::string& text) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void SetDeviceText(const std::string& text) override;

    void ProgressOpen() override;
    void ProgressSet(int percent) override;
    void ProgressAttachCancel(std::atomic<int>* cancelFlag) override;
    void ProgressClose() override;

    void ImageChanged(MemoryKind memory, std::uint32_t shownLength) override;

    // The open progress window, or null.
    CProgressDialog* Progress() const { return progress; }

private:
    // Runs `work` now on the GUI thread, or queues it there from a worker.
    template <typename Work> void OnGuiThread(Work work);

    CProgrammerApp& app;
    QPointer<CProgressDialog> progress;
};

} // namespace zelk
