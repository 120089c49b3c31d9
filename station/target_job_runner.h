// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one target command off the GUI thread. The job gets the Programmer (moved in for the
// run and handed back with the outcome, so nothing else can drive the port meanwhile), a
// private copy of the images (a cancelled or failed read leaves the user's images as they
// were), the user interface and a cancel flag that the progress window's Cancel sets.
#pragma once

#include "engine/programmer.h"
#include "engine/target_ui.h"
#include "memory/target_images.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zelk {

// True when the command did its job. The job receives the owner of the Programmer so that it
// can lend it on (the flash write hands it to its own worker), and must leave it in place.
using TargetJob = std::function<bool(std::unique_ptr<Programmer>& programmer, TargetImages& images,
                                     TargetUi& ui, const std::atomic<int>& cancel)>;

struct ImageChange {
    MemoryKind memory = MemoryKind::Flash;
    std::uint32_t shownLength = 0;
};

struct TargetJobOutcome {
    std::unique_ptr<Programmer> programmer;
    // The job's copy of the images, to be taken over for the memories in `changed`.
    std::unique_ptr<TargetImages> images;
    std::vector<ImageChange> changed;
    bool succeeded = false;
    bool cancelled = false;
    // The last progress the job reported, 0 to 100; -1 when none.
    int lastPercent = -1;
};

class TargetJobRunner {
public:
    TargetJobRunner();
    // Waits for the thread: it uses the Programmer and the user interface.
    ~TargetJobRunner();
    TargetJobRunner(const TargetJobRunner&) = delete;
    TargetJobRunner& operator=(const TargetJobRunner&) = delete;

    // Takes `programmer` (null afterwards) and runs `job` on a thread with a copy of
    // `images`. `ui` must pass calls from that thread on to its own thread. `finished` is
    // called on the thread as its last act and must only queue the completion elsewhere.
    // False, with `programmer` left in place and the reason, when no thread could be started
    // or a job still runs.
    bool Start(std::unique_ptr<Programmer>& programmer, const TargetImages& images, TargetUi& ui,
               TargetJob job, std::function<void()> finished, std::string& error);
    bool Running() const { return thread.joinable(); }
    // The progress window's Cancel.
    void Cancel() { cancelFlag.store(1); }
    // Waits for the thread and hands everything back; an empty outcome when nothing ran.
    TargetJobOutcome Finish();

private:
    class WorkerUi;

    std::unique_ptr<WorkerUi> workerUi;
    TargetJob job;
    std::function<void()> finished;
    TargetJobOutcome outcome;
    std::atomic<int> cancelFlag{0};
    std::thread thread;
};

} // namespace zelk
