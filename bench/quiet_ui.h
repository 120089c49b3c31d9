// SPDX-License-Identifier: GPL-3.0-or-later
// A TargetUi for benchmarks: it shows nothing and keeps the last message for the report.
#pragma once

#include "engine/target_ui.h"

#include <string>

namespace zelk::bench {

class QuietUi : public TargetUi {
public:
    void ShowMessage(MessageKind, const std::string& text) override { last = text; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void SetDeviceText(const std::string&) override {}
    void ProgressOpen() override {}
    void ProgressSet(int) override {}
    void ProgressAttachCancel(std::atomic<int>*) override {}
    void ProgressClose() override {}
    void ImageChanged(MemoryKind, std::uint32_t) override {}
    std::string last;
};

} // namespace zelk::bench
