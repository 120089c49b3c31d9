#include "engine/flash_write.h"

#include "engine/command_support.h"
#include "engine/instructions.h"
#include "engine/memory_commands.h"
#include "engine/memory_steps.h"

#include <span>
#include <system_error>
#include <utility>

namespace zelk {

FlashWriteWorker::FlashWriteWorker(std::unique_ptr<Programmer> owned, const WriteFlashJob& work)
    : programmer(std::move(owned)), job(work) {}

FlashWriteWorker::~FlashWriteWorker() {
    Wait();
}

bool FlashWriteWorker::Start(std::string& error) {
    try {
        thread = std::thread(&FlashWriteWorker::Run, this);
    } catch (const std::system_error& problem) {
        error = problem.what();
        return false;
    }
    return true;
}

void FlashWriteWorker::Wait() {
    if (thread.joinable()) {
        thread.join();
    }
}

std::unique_ptr<Programmer> FlashWriteWorker::TakeProgrammer() {
    Wait();
    return std::move(programmer);
}

void FlashWriteWorker::Run() {
    TargetUi& ui = *job.progress;
    cancelFlag.store(0);
    ui.ProgressAttachCancel(&cancelFlag);
    const std::atomic<int>* previousFlag = programmer->CancelFlag();
    programmer->SetCancelFlag(&cancelFlag);
    ui.ProgressStep("Writing flash");
    ProgressBar bar(ui);
    const StepOutcome outcome = WriteFlashStep(*programmer, std::span(job.image, job.length), bar);
    programmer->SetCancelFlag(previousFlag);
    std::string lost;
    if (!outcome.Done()) {
        failure = OutcomeMessage(outcome, "Write failed at %08X !");
    } else if (!TargetStillAnswers(*programmer, lost)) {
        failure = lost;
    }
    ReleaseTarget(*programmer);
    ui.ProgressClose();
    ui.PostFlashWriteDone();
}

std::unique_ptr<FlashWriteWorker> WriteFlash(std::unique_ptr<Programmer>& programmer,
                                             const TargetImages& images, TargetUi& ui) {
    if (!PrepareKnownTarget(*programmer, ui)) {
        return nullptr;
    }
    const WriteFlashJob job{images.flashImage.data(), FlashLength(programmer->device), &ui};
    ui.ProgressOpen();
    auto worker = std::make_unique<FlashWriteWorker>(std::move(programmer), job);
    std::string error;
    if (!worker->Start(error)) {
        programmer = worker->TakeProgrammer();
        ui.ProgressClose();
        ReleaseTarget(*programmer);
        ui.ShowMessage(MessageKind::Failure, "Cannot start the flash write.\n" + error);
        return nullptr;
    }
    return worker;
}

bool OnFlashWriteDone(std::unique_ptr<FlashWriteWorker>& worker,
                      std::unique_ptr<Programmer>& programmer, TargetUi& ui,
                      std::uintptr_t wParam) {
    if (wParam != FlashWriteDoneParam || !worker) {
        return false;
    }
    programmer = worker->TakeProgrammer();
    const std::string failure = worker->Failure();
    worker.reset();
    if (!failure.empty()) {
        ui.ShowMessage(MessageKind::Failure, failure);
    }
    ReleaseTarget(*programmer);
    return failure.empty();
}

} // namespace zelk
