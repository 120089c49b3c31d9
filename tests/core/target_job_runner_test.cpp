// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_target_fixture.h"
#include "station/target_commands.h"
#include "station/target_job_runner.h"

#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace zelk::test {
namespace {

class TargetJobRunnerTest : public SimTargetTest {
protected:
    void SetUp() override { Attach("ATmega328P"); }

    // Starts `job` and waits for its completion call, as the GUI's event loop would.
    TargetJobOutcome RunToEnd(TargetJob job, const std::function<void()>& whileRunning = {}) {
        std::promise<std::thread::id> finishedOn;
        std::string error;
        EXPECT_TRUE(runner.Start(
            programmer, app.images, ui, std::move(job),
            [&finishedOn] { finishedOn.set_value(std::this_thread::get_id()); }, error))
            << error;
        EXPECT_EQ(programmer, nullptr) << "the worker holds it";
        if (whileRunning) {
            whileRunning();
        }
        EXPECT_NE(finishedOn.get_future().get(), std::this_thread::get_id());
        return runner.Finish();
    }

    TargetJobRunner runner;
};

// A job that fills its images and reports it, then waits for the progress window's Cancel.
TargetJob FillThenAwaitCancel(std::atomic<bool>& started) {
    return [&started](std::unique_ptr<Programmer>&, TargetImages& images, TargetUi& jobUi,
                      const std::atomic<int>& cancel) {
        jobUi.ProgressOpen();
        images.flashImage[0] = 0x12;
        jobUi.ImageChanged(MemoryKind::Flash, 100);
        started = true;
        while (cancel.load() == 0) {
            std::this_thread::yield();
        }
        jobUi.ProgressSet(37);
        return true;
    };
}

TEST_F(TargetJobRunnerTest, ACancelKeepsTheUsersImagesAndSaysHowFarTheJobGot) {
    std::atomic<bool> started{false};
    TargetJobOutcome outcome = RunToEnd(FillThenAwaitCancel(started), [&] {
        while (!started) {
            std::this_thread::yield();
        }
        ASSERT_NE(ui.cancelFlag, nullptr) << "the progress window got the runner's flag";
        ui.cancelFlag->store(1); // the Cancel button
    });
    ASSERT_NE(outcome.programmer, nullptr);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.lastPercent, 37);
    EXPECT_EQ(app.images.flashImage[0], ErasedByte) << "the job worked on a copy";
    ASSERT_EQ(outcome.changed.size(), 1u);
    EXPECT_EQ(outcome.changed[0].shownLength, 100u);
    EXPECT_EQ(outcome.images->flashImage[0], 0x12);

    EXPECT_EQ(OutcomeText(FindTargetCommand(CommandId::WriteFlash), CommandResult::Cancelled,
                          outcome.lastPercent),
              "Write Flash cancelled at 37 %: the chip holds only part of what was to be written.");
    EXPECT_EQ(OutcomeText(FindTargetCommand(CommandId::ReadFlash), CommandResult::Cancelled,
                          outcome.lastPercent),
              "Read Flash cancelled: the images are as they were.");
}

TEST_F(TargetJobRunnerTest, ASecondStartIsRefusedAndLeavesItsProgrammer) {
    std::atomic<bool> started{false};
    std::promise<void> finished;
    std::string error;
    ASSERT_TRUE(runner.Start(
        programmer, app.images, ui, FillThenAwaitCancel(started), [&] { finished.set_value(); },
        error));
    Attach("ATmega328P");
    Programmer* second = programmer.get();
    EXPECT_FALSE(runner.Start(
        programmer, app.images, ui, FillThenAwaitCancel(started), [] {}, error));
    EXPECT_EQ(programmer.get(), second);
    EXPECT_FALSE(error.empty());
    runner.Cancel();
    finished.get_future().wait();
    EXPECT_NE(runner.Finish().programmer, nullptr);
    EXPECT_FALSE(runner.Running());
}

// The rows of the command table as the GUI runs them on the worker, on the simulated chip:
// what the job wrote and read, and what a failing target makes of the outcome.
TEST_F(TargetJobRunnerTest, TheCommandRowsProgramAndReadTheChip) {
    for (std::size_t i = 0; i < 300; ++i) {
        app.images.flashImage[i] = static_cast<std::uint8_t>(i * 7);
    }
    app.images.flashDefined.Add(0, 300);
    SettingsStore settings(SettingsStore::UserFile());
    CommandResult result = CommandResult::Failed;
    const auto run = [&](CommandId id) {
        TargetJobOutcome outcome =
            RunToEnd([&](std::unique_ptr<Programmer>& held, TargetImages& images, TargetUi& jobUi,
                         const std::atomic<int>&) {
                CommandPlace place{images, settings};
                CommandOutput output;
                result = RunTargetCommand(id, *held, place, {}, output, jobUi);
                return result == CommandResult::Done;
            });
        programmer = std::move(outcome.programmer);
        return outcome;
    };
    struct Step {
        CommandId id;
        bool succeeds;
        std::size_t changes;
    };
    for (const Step& step :
         {Step{CommandId::WriteFlash, true, 0}, Step{CommandId::VerifyFlash, true, 0},
          Step{CommandId::ReadFlash, true, 1}, Step{CommandId::ReadEeprom, true, 1}}) {
        const TargetJobOutcome outcome = run(step.id);
        EXPECT_EQ(outcome.succeeded, step.succeeds) << FindTargetCommand(step.id).name;
        EXPECT_EQ(outcome.changed.size(), step.changes) << FindTargetCommand(step.id).name;
        EXPECT_EQ(outcome.images->flashImage[299], static_cast<std::uint8_t>(299 * 7));
    }
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Verify successfull", "Verify successfull"}))
        << "the write verifies too";

    SimFaults removed;
    removed.removeAfterBytes = 400; // within the 300 programmed bytes
    Attach("ATmega328P", removed);
    const TargetJobOutcome outcome = run(CommandId::VerifyFlash);
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(OutcomeText(FindTargetCommand(CommandId::VerifyFlash), result, outcome.lastPercent),
              "Verify Flash failed.");
}

} // namespace
} // namespace zelk::test
