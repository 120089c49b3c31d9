// SPDX-License-Identifier: GPL-3.0-or-later
// A simulated cable and target for end-to-end tests of the target commands, on virtual time,
// with a settings store and a device database of their own.
#pragma once

#include "engine/connection.h"
#include "engine/memory_commands.h"
#include "platform/gpio_port.h"
#include "recording_target_ui.h"
#include "scratch_folder.h"
#include "sim/simulated_gpio_lines.h"
#include "sim/simulated_port.h"
#include "station/app_state.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>

namespace zelk::test {

// One device of each write algorithm; "Page2" is made up, no part here pages a 2 KiB flash.
// "ATmega88" answers Poll RDY/BSY.
inline std::string TestDeviceDatabase() {
    struct Device {
        const char* name;
        const char* signature;
        int programSize, dataSize, algorithm, pageSize;
        bool pollReadyBusy = false;
    };
    const Device devices[] = {{"AT90S1200", "1E9001", 1024, 64, 0, 0},
                              {"AT90S2313", "1E9101", 2048, 128, 1, 0},
                              {"Page2", "1E9377", 2048, 128, 2, 64},
                              {"ATmega328P", "1E950F", 32768, 1024, 3, 128},
                              {"ATmega128", "1E9702", 131072, 4096, 3, 256},
                              {"ATmega88", "1E930A", 8192, 512, 3, 64, true}};
    std::string list = "[Devices]\n";
    std::string sections;
    for (const Device& d : devices) {
        list += std::string("D") + d.name + "=" + d.name + "\n";
        sections += std::string("[") + d.name + "]\nSignature=0x" + d.signature +
                    "\nProgramSize=" + std::to_string(d.programSize) +
                    "\nDataSize=" + std::to_string(d.dataSize) +
                    "\nAlgorithm=" + std::to_string(d.algorithm) +
                    "\nPageSize=" + std::to_string(d.pageSize) +
                    (d.pollReadyBusy ? "\nPollReadyBusy=1\n" : "\n");
    }
    return list + sections;
}

// The device database zelk ships, with the lock and fuse descriptions.
inline std::filesystem::path ShippedIni() {
    return std::filesystem::path(ZELK_BIN_DIR) / "zelk.ini";
}

class SimTargetTest : public ::testing::Test {
protected:
    SimTargetTest() {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
            savedConfigHome = old;
        }
        ::setenv("XDG_CONFIG_HOME", folder.Path().c_str(), 1);
        testing::WriteWholeFile(Ini(), TestDeviceDatabase());
    }

    ~SimTargetTest() override {
        if (savedConfigHome) {
            ::setenv("XDG_CONFIG_HOME", savedConfigHome->c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
    }

    std::filesystem::path Ini() const { return folder / "zelk.ini"; }

    // Builds the Programmer for a chip of `device` on the `cable` of the fixture, through the
    // set-up the GUI and zelk-cli use. The chip lives in a state file of its own, so it keeps its
    // memories when it is attached again with other faults.
    void Attach(const std::string& device, const SimFaults& faults = {},
                const std::filesystem::path& database = {}) {
        programmer.reset(); // saves the chip before the next one loads it
        attachedDevice = device;
        attachedDatabase = database.empty() ? Ini() : database;
        ConnectionSettings settings;
        settings.port = PortKind::Simulator;
        settings.deviceDatabase = database.empty() ? Ini() : database;
        settings.simulator.device = device;
        settings.cable = cable;
        settings.simulator.faults = faults;
        settings.simulator.stateFile = folder / (device + ".chip");
        settings.sckHalfPeriodUs = sckHalfPeriodUs;
        settings.fixedWaits = fixedWaits;
        std::string error;
        programmer = MakeProgrammer(settings, error);
        ASSERT_NE(programmer, nullptr) << error;
    }

    // The images define every byte of the attached device's memories, as after a read.
    void DefineWholeMemories() {
        const DeviceEntry entry = ReadDeviceSection(attachedDatabase, attachedDevice);
        app.images.flashDefined = AddressSet({{0, entry.programSize}});
        app.images.eepromDefined = entry.dataSize > 0
                                       ? AddressSet({{0, static_cast<std::size_t>(entry.dataSize)}})
                                       : AddressSet();
    }

    // Write Flash of the whole image, without the verify that follows it in the commands.
    bool WriteFlashImage(TargetUi& shown) {
        DefineWholeMemories();
        return WriteFlash(*programmer, app.images, shown, false);
    }
    bool WriteFlashImage() { return WriteFlashImage(ui); }

    // The chip as it is now; the port must have been opened by a command.
    const ChipState& Chip() {
        if (auto* gpio = dynamic_cast<GpioPort*>(programmer->Port())) {
            return dynamic_cast<SimulatedGpioLines&>(gpio->Lines()).Port().Chip();
        }
        return dynamic_cast<SimulatedPort&>(*programmer->Port()).Chip();
    }

    testing::ScratchFolder folder;
    // The cable, bit timing and waits of the next Attach. CableGpio puts the chip behind the
    // GPIO header's code path.
    int cable = CableAutoDetect;
    std::int32_t sckHalfPeriodUs = 1;
    bool fixedWaits = false;
    std::optional<std::string> savedConfigHome;
    AppState app;
    RecordingTargetUi ui;
    std::unique_ptr<Programmer> programmer;
    // The device and the database of the last Attach.
    std::string attachedDevice;
    std::filesystem::path attachedDatabase;
};

} // namespace zelk::test
