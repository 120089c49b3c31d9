// A simulated cable and target for end-to-end tests of the target commands, on virtual time,
// with a settings store and a device database of their own.
#pragma once

#include "app/app_state.h"
#include "engine/port_claim.h"
#include "engine/port_io.h"
#include "engine/port_lines.h"
#include "recording_target_ui.h"
#include "scratch_folder.h"
#include "sim/simulated_port.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace zelk::test {

// Devices of every write algorithm. The signatures are the real parts' where the section
// names one; "Page2" and "Odd5" are made up for the algorithms no listed part uses.
inline constexpr const char* TestDeviceDatabase = R"([Devices]
D1=AT90S1200
D2=AT90S2313
D3=Page2
D4=ATmega328P
D5=ATmega128
D6=Odd5

[LockBits]
A=LB1
B=LB2

[Fuses]
A=CKSEL0
B=CKSEL1
S=SPIEN

[AT90S1200]
Signature=0x1E9001
ProgramSize=1024
DataSize=64
Algorithm=0
PageSize=0

[AT90S2313]
Signature=0x1E9101
ProgramSize=2048
DataSize=128
Algorithm=1
PageSize=0
LockBits=WxxxxxBAx
Fuses=xxxxxxxA

[Page2]
Signature=0x1E9377
ProgramSize=2048
DataSize=128
Algorithm=2
PageSize=64
Fuses=xxxxxxBA

[ATmega328P]
Signature=0x1E950F
ProgramSize=32768
DataSize=1024
Algorithm=3
PageSize=128
LockBits=LxxxxxxBA
Fuses=xxxxxxBA
FusesHi=xx0xxxxx
FusesExt=xxxxxxxx

[ATmega128]
Signature=0x1E9702
ProgramSize=131072
DataSize=4096
Algorithm=3
PageSize=256

[Odd5]
Signature=0x1E9378
ProgramSize=2048
DataSize=128
Algorithm=5
PageSize=64
)";

class SimTargetTest : public ::testing::Test {
protected:
    SimTargetTest() {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
            savedConfigHome = old;
        }
        ::setenv("XDG_CONFIG_HOME", folder.Path().c_str(), 1);
        testing::WriteWholeFile(Ini(), TestDeviceDatabase);
        app.deviceDatabase = Ini();
    }

    ~SimTargetTest() override {
        SetPortOpener([](int, std::string& reason) -> std::unique_ptr<PortIo> {
            reason = "no port in tests";
            return nullptr;
        });
        ResetEngineState();
        if (savedConfigHome) {
            ::setenv("XDG_CONFIG_HOME", savedConfigHome->c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
    }

    std::filesystem::path Ini() const { return folder / "zelk.ini"; }

    // Puts a fresh chip of `device` on a Kestan cable at the selected port.
    void Attach(const std::string& device, const SimFaults& faults = {}) {
        SimConfig config;
        std::string error;
        ASSERT_TRUE(FindSimDevice(Ini(), device, config.device, error)) << error;
        config.faults = faults;
        // The chip lives in a state file of its own, so it keeps its memories when it is
        // attached again with other faults.
        config.stateFile = folder / (device + ".chip");
        SetPortOpener(MakeSimulatedPortOpener(config));
        ResetEngineState();
    }

    // The chip as it is now; the port must have been opened by a command.
    const ChipState& Chip() {
        auto* port = dynamic_cast<SimulatedPort*>(CurrentPort());
        if (port == nullptr) {
            ADD_FAILURE() << "no simulated port is open";
            static const ChipState none;
            return none;
        }
        return port->Chip();
    }

    testing::ScratchFolder folder;
    std::optional<std::string> savedConfigHome;
    AppState app;
    RecordingTargetUi ui;
};

} // namespace zelk::test
