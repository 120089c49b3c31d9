// The TargetUi of zelk-cli. Messages that report success go to stdout, failures to stderr.
// The progress bar is drawn on stderr, and only when stderr is a terminal.
#pragma once

#include "engine/target_ui.h"

#include <atomic>
#include <mutex>
#include <string>

namespace zelk {

class CliTargetUi : public TargetUi {
public:
    CliTargetUi();

    void ShowMessage(MessageKind kind, const std::string& text) override;
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void SetDeviceText(const std::string& text) override { deviceText = text; }

    void ProgressOpen() override;
    void ProgressSet(int percent) override;
    void ProgressAttachCancel(std::atomic<int>*) override {}
    void ProgressClose() override;

    void ImageChanged(MemoryKind, std::uint32_t) override {}
    // The CLI waits for the worker itself; nothing has to be handed over.
    void PostFlashWriteDone() override {}

    // The device bar's text after the last identification.
    const std::string& DeviceText() const { return deviceText; }

private:
    void EndProgressLine();

    const bool drawProgress;
    std::mutex mutex; // the bar is drawn from the flash write worker too
    bool progressLineOpen = false;
    std::string deviceText = "Unknown Device";
};

} // namespace zelk
