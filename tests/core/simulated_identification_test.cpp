// The engine's identification against the simulated cable and target, end to end.
#include "app/settings_store.h"
#include "engine/port_lines.h"
#include "engine/target_connection.h"
#include "recording_target_ui.h"
#include "scratch_folder.h"
#include "sim/simulated_port.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace zelk {
namespace {

class SimulatedIdentification : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", folder.Path().c_str(), 1);
        ASSERT_TRUE(WriteSettingInt("Preferences", "Interface", CableAutoDetect));
        app.deviceDatabase = folder / "zelk.ini";
        testing::WriteWholeFile(app.deviceDatabase, "[Devices]\n1=ATmega8\n[ATmega8]\n"
                                                    "Signature=0x1E9307\nProgramSize=8192\n"
                                                    "DataSize=512\nAlgorithm=3\nPageSize=64\n");
        ResetEngineState();
    }
    void TearDown() override {
        SetPortOpener([](int, std::string& reason) -> std::unique_ptr<PortIo> {
            reason = "no port in tests";
            return nullptr;
        });
        ResetEngineState();
        unsetenv("XDG_CONFIG_HOME");
    }
    void Attach(int cable, SimFaults faults = {}) {
        SimConfig config;
        config.device.name = "ATmega8";
        config.device.signature = 0x1E9307;
        config.device.programSize = 8192;
        config.device.dataSize = 512;
        config.device.algorithm = 3;
        config.device.pageSize = 64;
        config.cableType = cable;
        config.faults = faults;
        SetPortOpener(MakeSimulatedPortOpener(config));
    }

    testing::ScratchFolder folder;
    AppState app;
    test::RecordingTargetUi ui;
};

TEST_F(SimulatedIdentification, FindsTheDeviceBehindEveryDetectableCable) {
    for (int cable : {CableKestan, CableAltera, CableStk200, CableSp12}) {
        SCOPED_TRACE(cable);
        Attach(cable);
        ResetEngineState();
        DetectDevice(app, ui);
        EXPECT_EQ(app.targetReady, 1);
        EXPECT_EQ(Engine().cableType, cable);
        EXPECT_EQ(ui.deviceText, "ATmega8");
    }
}

TEST_F(SimulatedIdentification, FindsStepAgainAfterTheNoEchoFault) {
    SimFaults faults;
    faults.noEchoAttempts = 5;
    Attach(CableKestan, faults);
    EXPECT_EQ(PrepareTarget(app, ui), 1);
    EXPECT_EQ(ui.deviceText, "ATmega8");
}

} // namespace
} // namespace zelk
