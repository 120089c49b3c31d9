// Write Flash: the target is prepared on the caller's thread, then a worker thread writes the
// flash image byte by byte or page by page while the user interface stays live. The worker
// owns the Programmer for its run and hands it back with the completion, so nothing else can
// drive the port in between.
#pragma once

#include "engine/programmer.h"
#include "engine/target_ui.h"
#include "memory/target_images.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace zelk {

// The completion the worker posts to the main thread, and the wParam it carries.
inline constexpr unsigned WM_FLASH_WRITE_DONE = 0x600;
inline constexpr std::uintptr_t FlashWriteDoneParam = 0x100;

// What a user is told whose command finds the Programmer with the flash write worker.
inline constexpr const char* PortBusyMessage =
    "The flash is being written. Wait until the write has finished.";

// What the worker is handed: it reads the image in place.
struct WriteFlashJob {
    const std::uint8_t* image = nullptr;
    std::uint32_t length = 0;
    TargetUi* progress = nullptr;
};

class FlashWriteWorker {
public:
    FlashWriteWorker(std::unique_ptr<Programmer> programmer, const WriteFlashJob& job);
    // Waits for the thread: the Programmer and the image must outlive the write.
    ~FlashWriteWorker();
    FlashWriteWorker(const FlashWriteWorker&) = delete;
    FlashWriteWorker& operator=(const FlashWriteWorker&) = delete;

    // Starts the thread. False, with the reason, when it cannot be started.
    bool Start(std::string& error);
    // Blocks until the thread has ended (the CLI and tests; the GUI waits for the posting).
    void Wait();
    // Waits for the thread, then hands the Programmer back.
    std::unique_ptr<Programmer> TakeProgrammer();
    // After Wait: why the write failed ("Write failed at %08X !", cancelled, the target
    // stopped answering); empty when it succeeded.
    const std::string& Failure() const { return failure; }

private:
    void Run();

    std::unique_ptr<Programmer> programmer;
    WriteFlashJob job;
    // Set to 1 by the progress window's Cancel button; heeded before each byte or page.
    std::atomic<int> cancelFlag{0};
    std::string failure;
    std::thread thread;
};

// Prepares the target and starts the worker, which takes `programmer` (null afterwards). Null,
// with `programmer` left where it was, when the target was not ready or no thread could be
// started (the user has been told).
std::unique_ptr<FlashWriteWorker> WriteFlash(std::unique_ptr<Programmer>& programmer,
                                             const TargetImages& images, TargetUi& ui);

// The WM_FLASH_WRITE_DONE handler, on the main thread: acts only for wParam 0x100 and a
// worker. Takes the Programmer back into `programmer`, reports a failed write ("Write failed
// at %08X !") and releases the target. True when the flash write succeeded.
bool OnFlashWriteDone(std::unique_ptr<FlashWriteWorker>& worker,
                      std::unique_ptr<Programmer>& programmer, TargetUi& ui, std::uintptr_t wParam);

} // namespace zelk
