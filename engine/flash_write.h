// Write Flash: the target is prepared on the caller's thread, then a worker thread writes the
// flash image byte by byte or page by page while the user interface stays live. The worker
// holds the port claim until the completion has been handled, so nothing else drives the
// port in between.
#pragma once

#include "app/app_state.h"
#include "engine/target_ui.h"

#include <cstdint>

namespace zelk {

// The completion the worker posts to the main thread, and the wParam it carries.
inline constexpr unsigned WM_FLASH_WRITE_DONE = 0x600;
inline constexpr std::uintptr_t FlashWriteDoneParam = 0x100;

// What the worker is handed: it reads the image in place.
struct WriteFlashJob {
    const std::uint8_t* image = nullptr;
    std::uint32_t length = 0;
    TargetUi* progress = nullptr;
    std::uint8_t algorithm = 0;
    std::uint16_t pageSize = 0;
};

// Prepares the target and starts the worker. False when the target was not ready or a write
// is already running (the user has been told); no worker runs then.
bool WriteFlash(AppState& app, TargetUi& ui);

// The WM_FLASH_WRITE_DONE handler, on the main thread: acts only for wParam 0x100. Joins the
// worker, reports a failed write ("Write failed at %08X !"), runs AutoProgram's EEPROM step
// when the flash write succeeded, and releases the target. True when the flash write (and
// the EEPROM step, if any) succeeded; false for any other wParam.
bool OnFlashWriteDone(AppState& app, TargetUi& ui, std::uintptr_t wParam);

// Blocks until the worker has finished (the CLI and tests; the GUI waits for the posting).
// The completion still has to be handled with OnFlashWriteDone.
void WaitForFlashWrite();

} // namespace zelk
