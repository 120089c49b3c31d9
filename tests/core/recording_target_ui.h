// SPDX-License-Identifier: GPL-3.0-or-later
// A TargetUi that records what a command showed, for tests to assert on.
#pragma once

#include "engine/target_ui.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace zelk::test {

class RecordingTargetUi : public TargetUi {
public:
    void ShowMessage(MessageKind kind, const std::string& text) override {
        std::lock_guard lock(mutex);
        messages.push_back(text);
        kinds.push_back(kind);
    }
    void BeginWaitCursor() override { ++waitCursorDepth; }
    void EndWaitCursor() override { --waitCursorDepth; }
    void SetDeviceText(const std::string& text) override { deviceText = text; }
    void ProgressOpen() override {
        ++progressOpened;
        progressIsOpen = true;
    }
    void ProgressSet(int percent) override {
        std::lock_guard lock(mutex);
        progress.push_back(percent);
    }
    void ProgressAttachCancel(std::atomic<int>* flag) override { cancelFlag = flag; }
    void ProgressClose() override {
        ++progressClosed;
        progressIsOpen = false;
    }
    void ImageChanged(MemoryKind, std::uint32_t) override {}

    // The last message shown; empty when none was.
    std::string LastMessage() {
        std::lock_guard lock(mutex);
        return messages.empty() ? std::string() : messages.back();
    }

    std::mutex mutex;
    std::vector<std::string> messages;
    std::vector<MessageKind> kinds;
    std::vector<int> progress;
    std::string deviceText = "Unknown Device";
    std::atomic<int> waitCursorDepth{0};
    std::atomic<int> progressOpened{0};
    std::atomic<int> progressClosed{0};
    std::atomic<bool> progressIsOpen{false};
    std::atomic<int>* cancelFlag = nullptr;
};

} // namespace zelk::test
