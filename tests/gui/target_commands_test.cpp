// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_test_support.h"
#include "memory/hex_file.h"
#include "memory/memory_view.h"
#include "shell/command_ids.h"
#include "shell/progress_dialog.h"
#include "station/target_commands.h"

#include <fstream>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <thread>

namespace zelk::test {
namespace {

// The target commands run on a worker while the window stays live.
class TargetCommandsTest : public AppTest {
protected:
    void StartWithProject(const std::string& device, const SimFaults& faults = {},
                          bool virtualTime = true) {
        Start();
        Attach(device, faults, virtualTime);
        app->Document().OnNew();
        Trigger(cmd::DetectDevice);
    }

    // Chooses a command and lets the event loop run until its worker has handed back.
    void Run(int id) {
        ASSERT_TRUE(frame->Action(id)->isEnabled()) << id;
        frame->Action(id)->trigger();
        WaitForTheWorker();
    }

    QString StatusText() const { return frame->statusBar()->currentMessage(); }

    std::vector<std::uint8_t>& Flash() { return app->State().images.flashImage; }
};

// A worker reports from its own thread; its calls must arrive on the GUI thread in order, and
// the Cancel button must reach the worker's flag.
TEST_F(TargetCommandsTest, WorkerThreadCallsArriveOnTheGuiThread) {
    Start();
    GuiTargetUi& ui = app->TargetInterface();
    std::atomic<int> cancel{0};

    ui.ProgressOpen();
    ASSERT_NE(ui.Progress(), nullptr);
    std::thread worker([&] {
        ui.ProgressAttachCancel(&cancel);
        ui.ProgressSet(40);
        ui.ProgressSet(70);
    });
    worker.join();
    ProcessEvents();
    EXPECT_EQ(ui.Progress()->Position(), 70);

    QTest::mouseClick(ui.Progress()->findChild<QPushButton*>(), Qt::LeftButton);
    EXPECT_EQ(cancel.load(), 1);
    EXPECT_TRUE(ui.Progress()->isVisible());

    std::thread finisher([&] {
        ui.BeginWaitCursor();
        ui.ProgressClose();
    });
    finisher.join();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "queued, not set from the worker";
    ProcessEvents();
    EXPECT_EQ(ui.Progress(), nullptr);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QApplication::restoreOverrideCursor();
}

TEST_F(TargetCommandsTest, DetectNamesTheChipThenReportsANothingConnectedTarget) {
    Start();
    Attach("ATmega328P");
    auto* button = frame->DeviceBar()->findChild<QPushButton*>();
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    ProcessEvents();
    EXPECT_EQ(frame->DeviceText(), "ATmega328P");
    EXPECT_TRUE(dialogs->messages.empty());
    EXPECT_TRUE(frame->Action(cmd::EraseChip)->isEnabled());

    SimFaults nothingConnected;
    nothingConnected.noneConnected = true;
    Attach("ATmega328P", nothingConnected);
    Trigger(cmd::DetectDevice);
    EXPECT_EQ(frame->DeviceText(), "Error");
    EXPECT_EQ(dialogs->messages,
              std::vector<std::string>{"Init failed. Is target connected and powered on ?"});
    // A failed detection takes back what the last good one allowed.
    EXPECT_FALSE(frame->Action(cmd::EraseChip)->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(TargetCommandsTest, WriteVerifyAndReadRunOnTheWorkerAndReportTheirOutcome) {
    StartWithProject("ATmega328P");
    for (std::size_t i = 0; i < 512; ++i) {
        Flash()[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    }
    app->State().images.flashDefined.Add(0, 512);
    Run(cmd::WriteFlash);
    EXPECT_EQ(StatusText(), "Write Flash done.");
    Run(cmd::VerifyFlash);
    EXPECT_EQ(dialogs->messages,
              (std::vector<std::string>{"Verify successfull", "Verify successfull"}))
        << "the write verifies too";

    std::ranges::fill(Flash(), ErasedByte);
    Run(cmd::ReadFlash);
    EXPECT_EQ(StatusText(), "Read Flash done.");
    EXPECT_EQ(Flash()[511], static_cast<std::uint8_t>(511 ^ 0x5A));
    EXPECT_EQ(app->State().images.flashShownLength, 32768u);
    EXPECT_EQ(app->MemoryView(MemoryKind::Flash)->Grid().Model().Length(), 32768u);
}

// Until its completion is handled the worker holds the Programmer and the images: nothing
// else reaches the port, no edit is taken and the window stays open. The chip runs in real
// time here, so that the read is still busy meanwhile and when Cancel is pressed.
TEST_F(TargetCommandsTest, WhileACommandRunsTheWindowIsLiveAndCancelKeepsTheImage) {
    StartWithProject("AT90S2313", {}, false);
    Flash()[0] = 0x42;
    frame->Action(cmd::ReadFlash)->trigger();
    ASSERT_TRUE(app->TargetCommandRunning());
    EXPECT_EQ(app->CurrentProgrammer(), nullptr) << "the worker has it";
    for (int id : {cmd::Preferences, cmd::NewProject, cmd::CloseProject, cmd::OpenProject,
                   cmd::VerifyFlash, cmd::LockBitsFuses, cmd::LoadFile}) {
        EXPECT_FALSE(frame->Action(id)->isEnabled()) << id;
    }
    EXPECT_TRUE(frame->Action(cmd::About)->isEnabled());
    QTest::keyClicks(&app->MemoryView(MemoryKind::Flash)->Grid(), QStringLiteral("12"));
    EXPECT_EQ(Flash()[0], 0x42);
    EXPECT_TRUE(app->MemoryView(MemoryKind::Eeprom)->IsReadOnly());
    app->Target().Start(CommandId::Detect, {});
    EXPECT_FALSE(frame->close());

    CProgressDialog* progress = nullptr;
    for (int round = 0; round < 2000 && progress == nullptr; ++round) {
        QTest::qWait(1);
        progress = app->TargetInterface().Progress();
    }
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->windowTitle(), "Progress: Read Flash") << "named for the command";
    ASSERT_TRUE(app->TargetCommandRunning()) << "the read ended before Cancel";
    QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    WaitForTheWorker();

    const std::string cancelled = "Read Flash cancelled: the images are as they were.";
    EXPECT_EQ(Flash()[0], 0x42);
    EXPECT_EQ(StatusText().toStdString(), cancelled);
    EXPECT_EQ(dialogs->messages,
              (std::vector<std::string>{TargetBusyMessage, TargetBusyMessage, cancelled}));
    EXPECT_FALSE(app->MemoryView(MemoryKind::Flash)->IsReadOnly());
    EXPECT_TRUE(frame->Action(cmd::Preferences)->isEnabled());
}

TEST_F(TargetCommandsTest, ATargetThatGoesAwayFailsTheCommand) {
    SimFaults removed;
    removed.removeAfterBytes = 400;
    StartWithProject("ATmega328P", removed);
    Flash()[50] = 0x00;
    app->State().images.flashDefined.Add(0, 0x8000);
    Run(cmd::VerifyFlash);
    ASSERT_EQ(dialogs->messages.size(), 1u);
    EXPECT_TRUE(dialogs->messages[0].starts_with("Verify failed at")) << dialogs->messages[0];
    EXPECT_EQ(StatusText(), "Verify Flash failed.");
}

TEST_F(TargetCommandsTest, AutoProgramEndsWithOneOutcomeCountsTheBoardAndLogsIt) {
    StartWithProject("ATmega328P");
    const std::vector<std::uint8_t> program{0x0C, 0x94, 0x34, 0x00};
    std::string error;
    ASSERT_TRUE(WriteImageFile(folder / "app.hex", program, error)) << error;
    app->State().flashFile = (folder / "app.hex").string();
    store->WriteInt("AutoProgram", "EepromVerify", 0);

    Run(cmd::AutoProgram);
    const std::string passed = "AutoProgram passed on ATmega328P: Keep EEProm, Reload Flash File, "
                               "Erase Device, Program Flash, Verify Flash, Program EEProm.";
    EXPECT_EQ(dialogs->messages, std::vector<std::string>{passed});
    EXPECT_EQ(StatusText().toStdString(), passed);
    EXPECT_EQ(Flash()[1], 0x94) << "the reloaded file is in the image";
    auto* count = Child<QLabel>(*frame, QStringLiteral("ProductionCount"));
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->text(), "Passed 1, failed 0 (total 1 / 0)");

    // A run refused before it reached a board is no board's: not counted, not logged.
    std::filesystem::rename(folder / "app.hex", folder / "gone.hex");
    Run(cmd::AutoProgram);
    ASSERT_FALSE(dialogs->messages.empty());
    EXPECT_TRUE(dialogs->messages.back().starts_with("AutoProgram FAILED at Loading files"));
    EXPECT_EQ(count->text(), "Passed 1, failed 0 (total 1 / 0)");

    std::filesystem::rename(folder / "gone.hex", folder / "app.hex");
    SimFaults stuck;
    stuck.stuckBusy = true;
    Attach("ATmega328P", stuck);
    Run(cmd::AutoProgram);
    EXPECT_EQ(count->text(), "Passed 1, failed 1 (total 1 / 1)");
    std::ifstream in(folder / "zelk" / "production.log");
    const std::string log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(std::ranges::count(log, '\n'), 2);
    EXPECT_NE(log.find("signature=1E950F"), std::string::npos) << log;
    EXPECT_NE(log.find("result=FAIL\tAutoProgram FAILED at Erasing"), std::string::npos) << log;
}

} // namespace
} // namespace zelk::test
