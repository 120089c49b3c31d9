#include "engine/flash_write.h"

#include "engine/command_support.h"
#include "engine/instructions.h"
#include "engine/memory_commands.h"
#include "engine/port_claim.h"
#include "engine/port_lines.h"
#include "engine/target_connection.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <system_error>
#include <thread>

namespace zelk {
namespace {

struct FlashWriteState {
    std::thread worker;
    WriteFlashJob job;
    // Set by the worker when a byte never stopped reading busy; read after the join.
    std::optional<std::uint32_t> failedAt;
    // The claim taken by WriteFlash, given back when the completion is handled.
    bool holdsClaim = false;
};

FlashWriteState& State() {
    static FlashWriteState state;
    return state;
}

// Set to 1 by the progress window's Cancel button; heeded only in byte mode.
std::atomic<int> cancelFlag{0};

void WriteBytes(const WriteFlashJob& job, ProgressBar& bar) {
    for (std::uint32_t i = 0; i < job.length; ++i) {
        if (job.algorithm == 0) {
            WriteProgramMemory(i, job.image[i]);
        } else if (!WriteProgramMemoryPolled(i, job.image[i])) {
            State().failedAt = i;
            return;
        }
        bar.Update(i, job.length);
        if (cancelFlag.load() != 0) {
            return;
        }
    }
}

// Bytes after the last whole page are not written; pages holding only 0xFF are skipped.
void WritePages(const WriteFlashJob& job, ProgressBar& bar) {
    if (job.pageSize == 0) {
        return;
    }
    const std::uint32_t pages = job.length / job.pageSize;
    for (std::uint32_t p = 0; p < pages; ++p) {
        const std::uint32_t start = p * job.pageSize;
        const std::uint8_t* page = job.image + start;
        const bool erased =
            std::all_of(page, page + job.pageSize, [](std::uint8_t b) { return b == ErasedByte; });
        if (!erased) {
            for (std::uint32_t k = 0; k < job.pageSize; ++k) {
                LoadProgramMemoryPage(k, page[k]);
            }
            WriteProgramMemoryPage(start >> 1);
        }
        bar.Update(start, job.length);
    }
}

void WriteFlashWorker(WriteFlashJob job) {
    TargetUi& ui = *job.progress;
    cancelFlag.store(0);
    ui.ProgressAttachCancel(&cancelFlag);
    ProgressBar bar(ui);
    switch (job.algorithm) {
    case 0:
    case 1:
        WriteBytes(job, bar);
        break;
    case 2:
    case 3:
        WritePages(job, bar);
        break;
    default:
        // An algorithm this program does not know writes nothing.
        break;
    }
    ReleaseTarget();
    ui.ProgressClose();
    ui.PostFlashWriteDone();
}

void JoinWorker() {
    if (State().worker.joinable()) {
        State().worker.join();
    }
}

} // namespace

bool WriteFlash(AppState& app, TargetUi& ui) {
    if (RefusedWhileFlashWrites(ui) || !PrepareKnownTarget(app, ui)) {
        return false;
    }
    if (!TryClaimPort()) {
        ui.ShowMessage(PortBusyMessage);
        return false;
    }
    FlashWriteState& state = State();
    state.holdsClaim = true;
    // A worker whose completion was handled has released the claim; it is only joined here.
    JoinWorker();
    state.failedAt.reset();
    state.job = WriteFlashJob{app.flashImage.data(), FlashLength(app), &ui, app.device.algorithm,
                              app.device.pageSize};
    ui.ProgressOpen();
    try {
        state.worker = std::thread(WriteFlashWorker, state.job);
    } catch (const std::system_error& error) {
        ui.ProgressClose();
        ReleaseTarget();
        state.holdsClaim = false;
        ReleasePortClaim();
        ui.ShowMessage(std::string("Cannot start the flash write.\n") + error.what());
        return false;
    }
    return true;
}

bool OnFlashWriteDone(AppState& app, TargetUi& ui, std::uintptr_t wParam) {
    if (wParam != FlashWriteDoneParam) {
        return false;
    }
    JoinWorker();
    if (State().holdsClaim) {
        State().holdsClaim = false;
        ReleasePortClaim();
    }
    bool succeeded = true;
    if (const std::optional<std::uint32_t> failedAt = State().failedAt) {
        State().failedAt.reset();
        ui.ShowMessage(AddressMessage("Write failed at %08X !", *failedAt));
        succeeded = false;
    } else if (app.autoProgramActive != 0) {
        succeeded = WriteEeprom(app, ui);
    }
    // A failed flash write ends an AutoProgram run without its EEPROM step.
    app.autoProgramActive = 0;
    ReleaseTarget();
    return succeeded;
}

void WaitForFlashWrite() {
    JoinWorker();
}

} // namespace zelk
