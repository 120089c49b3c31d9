#include "engine/flash_write.h"

#include "engine/command_support.h"
#include "engine/instructions.h"
#include "engine/memory_commands.h"

#include <algorithm>
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
    } catch (const std::system_error& failure) {
        error = failure.what();
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

void FlashWriteWorker::WriteBytes() {
    ProgressBar bar(*job.progress);
    for (std::uint32_t i = 0; i < job.length; ++i) {
        if (job.algorithm == Algorithm::TimedBytes) {
            WriteProgramMemory(*programmer, i, job.image[i]);
        } else if (!WriteProgramMemoryPolled(*programmer, i, job.image[i])) {
            failedAt = i;
            return;
        }
        bar.Update(i, job.length);
        if (cancelFlag.load() != 0) {
            return;
        }
    }
}

// Bytes after the last whole page are not written; pages holding only 0xFF are skipped.
void FlashWriteWorker::WritePages() {
    if (job.pageSize == 0) {
        return;
    }
    ProgressBar bar(*job.progress);
    const std::uint32_t pages = job.length / job.pageSize;
    for (std::uint32_t p = 0; p < pages; ++p) {
        const std::uint32_t start = p * job.pageSize;
        const std::uint8_t* page = job.image + start;
        const bool erased =
            std::all_of(page, page + job.pageSize, [](std::uint8_t b) { return b == ErasedByte; });
        if (!erased) {
            for (std::uint32_t k = 0; k < job.pageSize; ++k) {
                LoadProgramMemoryPage(*programmer, k, page[k]);
            }
            WriteProgramMemoryPage(*programmer, start >> 1);
        }
        bar.Update(start, job.length);
    }
}

void FlashWriteWorker::Run() {
    TargetUi& ui = *job.progress;
    cancelFlag.store(0);
    ui.ProgressAttachCancel(&cancelFlag);
    switch (job.algorithm) {
    case Algorithm::TimedBytes:
    case Algorithm::PolledBytes:
        WriteBytes();
        break;
    case Algorithm::PagesFuseByte2:
    case Algorithm::PagesLockByte4:
        WritePages();
        break;
    default:
        // An algorithm this program does not know writes nothing.
        break;
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
    const DeviceDescription& device = programmer->device;
    const WriteFlashJob job{images.flashImage.data(), FlashLength(device), &ui, device.algorithm,
                            device.pageSize};
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
                      std::unique_ptr<Programmer>& programmer, TargetImages& images, TargetUi& ui,
                      std::uintptr_t wParam) {
    if (wParam != FlashWriteDoneParam || !worker) {
        return false;
    }
    programmer = worker->TakeProgrammer();
    const std::optional<std::uint32_t> failedAt = worker->FailedAt();
    worker.reset();
    bool succeeded = true;
    if (failedAt) {
        ui.ShowMessage(MessageKind::Failure, AddressMessage("Write failed at %08X !", *failedAt));
        succeeded = false;
    } else if (programmer->autoProgramActive != 0) {
        succeeded = WriteEeprom(*programmer, images, ui);
    }
    // A failed flash write ends an AutoProgram run without its EEPROM step.
    programmer->autoProgramActive = 0;
    ReleaseTarget(*programmer);
    return succeeded;
}

} // namespace zelk
