#include "engine/connection.h"
#include "gui_test_support.h"
#include "memory/memory_view.h"
#include "shell/command_ids.h"

#include <QPushButton>
#include <QTest>
#include <QToolBar>

namespace zelk::test {
namespace {

// Target commands from the GUI on a simulated ATmega328P in virtual time.
class DetectDeviceTest : public AppTest {
protected:
    void Attach(const SimFaults& faults) {
        ConnectionSettings settings;
        settings.port = PortKind::Simulator;
        settings.simulator.device = "ATmega328P";
        settings.simulator.faults = faults;
        std::string error;
        auto programmer = MakeProgrammer(settings, error);
        ASSERT_NE(programmer, nullptr) << error;
        ASSERT_TRUE(app->SetProgrammer(std::move(programmer)));
    }
};

TEST_F(DetectDeviceTest, NamesTheChipThenReportsANothingConnectedTarget) {
    Start();
    Attach({});
    auto* button = frame->DeviceBar()->findChild<QPushButton*>();
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    ProcessEvents();
    EXPECT_EQ(frame->DeviceText(), "ATmega328P");
    EXPECT_TRUE(dialogs->messages.empty());
    EXPECT_TRUE(frame->Action(cmd::EraseChip)->isEnabled());

    SimFaults nothingConnected;
    nothingConnected.noneConnected = true;
    Attach(nothingConnected);
    frame->Action(cmd::DetectDevice)->trigger();
    ProcessEvents();
    EXPECT_EQ(frame->DeviceText(), "Error");
    EXPECT_EQ(dialogs->messages,
              std::vector<std::string>{"Init failed. Is target connected and powered on ?"});
    // A failed detection takes back what the last good one allowed.
    EXPECT_FALSE(frame->Action(cmd::EraseChip)->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Until its completion is handled the worker holds the Programmer and reads the flash image:
// nothing else reaches the port, the flash view takes no edits and the window stays open.
TEST_F(DetectDeviceTest, WhileTheFlashIsWrittenThePortAndTheFlashImageAreTheWorkers) {
    Start();
    Attach({});
    app->OnNewProject();
    frame->Action(cmd::DetectDevice)->trigger();
    ProcessEvents();
    ASSERT_TRUE(frame->Action(cmd::WriteFlash)->isEnabled());
    frame->Action(cmd::WriteFlash)->trigger();
    ASSERT_EQ(app->CurrentProgrammer(), nullptr) << "the worker has it";

    CMemoryView* view = app->MemoryView(MemoryKind::Flash);
    QTest::keyClicks(&view->Grid(), QStringLiteral("12"));
    EXPECT_EQ(app->State().images.flashImage[0], ErasedByte);
    app->OnDetectDevice();
    EXPECT_EQ(dialogs->messages, std::vector<std::string>{TargetBusyMessage});
    EXPECT_FALSE(frame->Action(cmd::ReadFlash)->isEnabled());
    EXPECT_FALSE(frame->close());

    // The completion arrives on the event loop and hands everything back.
    for (int round = 0; round < 200 && app->CurrentProgrammer() == nullptr; ++round) {
        ProcessEvents();
        QTest::qWait(5);
    }
    ASSERT_NE(app->CurrentProgrammer(), nullptr);
    EXPECT_FALSE(view->IsReadOnly());
    EXPECT_TRUE(frame->Action(cmd::ReadFlash)->isEnabled());
}

} // namespace
} // namespace zelk::test
