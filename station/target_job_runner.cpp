// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/target_job_runner.h"

#include <system_error>
#include <utility>

namespace zelk {

// Between the job and the user interface: attaches the runner's cancel flag to every
// progress window, keeps the image changes for the completion and notes how far the job got.
class TargetJobRunner::WorkerUi : public TargetUi {
public:
    WorkerUi(TargetUi& target, std::atomic<int>& cancelFlag) : ui(target), cancel(cancelFlag) {}

    void ShowMessage(MessageKind kind, const std::string& text) override {
        // A cancelled command's outcome is told once, by the runner's completion.
        if (cancel.load() == 0) {
            ui.ShowMessage(kind, text);
        }
    }
    void BeginWaitCursor() override { ui.BeginWaitCursor(); }
    void EndWaitCursor() override { ui.EndWaitCursor(); }
    void SetDeviceText(const std::string& text) override { ui.SetDeviceText(text); }
    void ProgressOpen() override {
        ui.ProgressOpen();
        ui.ProgressAttachCancel(&cancel);
    }
    void ProgressSet(int percent) override {
        lastPercent = percent;
        ui.ProgressSet(percent);
    }
    // The job's steps heed the Programmer's flag, which is the runner's.
    void ProgressAttachCancel(std::atomic<int>*) override {}
    void ProgressStep(const std::string& what) override { ui.ProgressStep(what); }
    void ProgressClose() override { ui.ProgressClose(); }
    void ImageChanged(MemoryKind memory, std::uint32_t shownLength) override {
        changed.push_back({memory, shownLength});
    }

    std::vector<ImageChange> changed;
    int lastPercent = -1;

private:
    TargetUi& ui;
    std::atomic<int>& cancel;
};

TargetJobRunner::TargetJobRunner() = default;

TargetJobRunner::~TargetJobRunner() {
    if (thread.joinable()) {
        thread.join();
    }
}

bool TargetJobRunner::Start(std::unique_ptr<Programmer>& programmer, const TargetImages& images,
                            TargetUi& ui, TargetJob work, std::function<void()> done,
                            std::string& error) {
    if (Running()) {
        error = "Another command is still running.";
        return false;
    }
    cancelFlag.store(0);
    outcome = {};
    outcome.images = std::make_unique<TargetImages>(images);
    outcome.programmer = std::move(programmer);
    workerUi = std::make_unique<WorkerUi>(ui, cancelFlag);
    job = std::move(work);
    finished = std::move(done);
    try {
        thread = std::thread([this] {
            // Every byte and page loop of the engine looks at the Programmer's flag.
            outcome.programmer->SetCancelFlag(&cancelFlag);
            outcome.succeeded = job(outcome.programmer, *outcome.images, *workerUi, cancelFlag);
            if (outcome.programmer) {
                outcome.programmer->SetCancelFlag(nullptr);
            }
            finished();
        });
    } catch (const std::system_error& failure) {
        programmer = std::move(outcome.programmer);
        outcome = {};
        error = failure.what();
        return false;
    }
    return true;
}

TargetJobOutcome TargetJobRunner::Finish() {
    if (!thread.joinable()) {
        return {};
    }
    thread.join();
    outcome.cancelled = cancelFlag.load() != 0;
    outcome.changed = std::move(workerUi->changed);
    outcome.lastPercent = workerUi->lastPercent;
    workerUi.reset();
    job = nullptr;
    finished = nullptr;
    return std::exchange(outcome, {});
}

} // namespace zelk
