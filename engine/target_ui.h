// SPDX-License-Identifier: GPL-3.0-or-later
// What target commands show the user. The GUI answers with message boxes and a progress
// dialog, the CLI with stderr and a progress bar, tests with a recorder.
#pragma once

#include "memory/target_images.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace zelk {

// Whether a message reports that the command did its job, that something went wrong, or
// something the user should know of a job done (a result that could not be confirmed).
enum class MessageKind { Success, Failure, Note };

class TargetUi {
public:
    virtual ~TargetUi() = default;

    // A message box captioned "zelk". A reason may follow the message on a second line.
    virtual void ShowMessage(MessageKind kind, const std::string& text) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    // The device bar's name field ("ATmega328P", "Error").
    virtual void SetDeviceText(const std::string& text) = 0;

    // The "Progress" window: opened before the target is touched, bar 0 to 100.
    // A command run on a worker calls them from its thread.
    virtual void ProgressOpen() = 0;
    virtual void ProgressSet(int percent) = 0;
    // While attached, the window's Cancel button stores 1 into the flag.
    virtual void ProgressAttachCancel(std::atomic<int>* cancelFlag) = 0;
    virtual void ProgressClose() = 0;
    // What the bar now measures ("Writing flash", "Verifying EEPROM") when a command runs
    // several steps; the bar restarts at 0.
    virtual void ProgressStep(const std::string& /*what*/) {}

    // The first `shownLength` bytes of an image were replaced: bind the view to that length
    // and redraw it.
    virtual void ImageChanged(MemoryKind memory, std::uint32_t shownLength) = 0;
};

} // namespace zelk
