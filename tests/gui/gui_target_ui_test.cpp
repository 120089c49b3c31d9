#include "gui_test_support.h"
#include "memory/memory_view.h"
#include "shell/progress_dialog.h"

#include <QPushButton>
#include <QTest>
#include <thread>

namespace zelk::test {
namespace {

using GuiTargetUiTest = AppTest;

// A worker reports from its own thread; its calls must arrive on the GUI thread in order, and
// the Cancel button must reach the worker's flag.
TEST_F(GuiTargetUiTest, WorkerThreadCallsArriveOnTheGuiThread) {
    Start();
    GuiTargetUi& ui = app->TargetInterface();
    std::atomic<int> cancel{0};

    ui.ProgressOpen();
    ASSERT_NE(ui.Progress(), nullptr);
    EXPECT_EQ(ui.Progress()->windowTitle(), "Progress");
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

} // namespace
} // namespace zelk::test
