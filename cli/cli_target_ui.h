// SPDX-License-Identifier: GPL-3.0-or-later
// The TargetUi of zelk-cli. Messages that report success go to stdout, failures to stderr.
// Progress goes to stderr: a bar naming the step, drawn only on a terminal, or one JSON
// object a line (failures too are objects then); --quiet shows neither and drops the success
// messages.
#pragma once

#include "cli/target_options.h"
#include "engine/target_ui.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

namespace zelk {

class CliTargetUi : public TargetUi {
public:
    // `operation` names the bar until a step names it ("Reading flash").
    CliTargetUi(ProgressStyle style, std::string operation);

    void ShowMessage(MessageKind kind, const std::string& text) override;
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void SetDeviceText(const std::string& text) override { deviceText = text; }

    void ProgressOpen() override;
    void ProgressSet(int percent) override;
    void ProgressAttachCancel(std::atomic<int>*) override {}
    void ProgressClose() override;
    void ProgressStep(const std::string& what) override;

    void ImageChanged(MemoryKind, std::uint32_t) override {}

    // The line that ends a command: its outcome, the bytes it moved and the time it took. As
    // JSON it also carries the exit status and the message that tells the outcome.
    void Summary(const std::string& command, int exitCode, std::uint64_t bytes);

    // The device bar's text after the last identification.
    const std::string& DeviceText() const { return deviceText; }

private:
    void EndProgressLine();
    void Draw(int percent);

    const ProgressStyle style;
    const bool terminal;
    const std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::mutex mutex; // the bar is drawn from the flash write worker too
    std::string operation;
    int lastPercent = -1;
    bool progressLineOpen = false;
    std::string deviceText = "Unknown Device";
    std::string lastSuccess;
};

} // namespace zelk
