#include "app/command_ids.h"
#include "engine/device_database.h"
#include "engine/port_io.h"
#include "engine/port_lines.h"
#include "gui_test_support.h"
#include "sim/simulated_port.h"

#include <QPushButton>
#include <QTest>
#include <QToolBar>

namespace zelk::test {
namespace {

// Detect Device on a simulated ATmega328P in virtual time.
class DetectDeviceTest : public AppTest {
protected:
    void TearDown() override {
        SetPortOpener([](int, std::string& reason) -> std::unique_ptr<PortIo> {
            reason = "no port in tests";
            return nullptr;
        });
        ResetEngineState();
        AppTest::TearDown();
    }

    void Attach(const SimFaults& faults) {
        SimConfig config;
        std::string error;
        ASSERT_TRUE(FindSimDevice(FindDeviceDatabase(), "ATmega328P", config.device, error))
            << error;
        config.faults = faults;
        SetPortOpener(MakeSimulatedPortOpener(config));
        ResetEngineState();
    }
};

TEST_F(DetectDeviceTest, NamesTheChipThenReportsANothingConnectedTarget) {
    Attach({});
    Start();
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

} // namespace
} // namespace zelk::test
