// SPDX-License-Identifier: GPL-3.0-or-later
// Every command, whether it succeeds or fails, ends with the target released and the cable's
// line drivers off, so that the board runs and the cable lets go of its lines. The cables that
// switch their drivers (STK200/300 through data bits, Altera through the control register, the
// GPIO header by letting its lines go) are watched through a port that records every write on
// its way to the simulated chip.
#include "engine/autoprogram.h"
#include "engine/cables.h"
#include "engine/connection.h"
#include "engine/lock_fuse.h"
#include "engine/memory_commands.h"
#include "engine/program_sequence.h"
#include "engine/serial_numbering.h"
#include "engine/target_connection.h"
#include "platform/gpio_port.h"
#include "recording_target_ui.h"
#include "scratch_folder.h"
#include "sim/simulated_gpio_lines.h"
#include "sim/simulated_port.h"
#include "sim_target_fixture.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zelk {
namespace {

struct LastWrites {
    std::optional<std::uint8_t> data;
    std::optional<std::uint8_t> control;
};

// Passes everything on to the simulated port and keeps the last value of each register.
class RecordingPort final : public PortIo {
public:
    RecordingPort(std::unique_ptr<PortIo> port, LastWrites& record)
        : inner(std::move(port)), last(record) {}
    void Write(PortRegister reg, std::uint8_t value) override {
        (reg == PortRegister::Data ? last.data : last.control) = value;
        inner->Write(reg, value);
    }
    std::uint8_t Read(PortRegister reg) override { return inner->Read(reg); }
    void Wait(std::int32_t microseconds) override { inner->Wait(microseconds); }

private:
    std::unique_ptr<PortIo> inner;
    LastWrites& last;
};

using Command = std::function<bool(Programmer&, TargetImages&, TargetUi&)>;

TEST(CableRelease, EveryCommandEndsWithTheTargetReleasedAndTheDriversOff) {
    const testing::ScratchFolder folder;
    const testing::ConfigHomeAt configHome(folder.Path());
    testing::WriteWholeFile(folder / "fw.hex", ":0400000001020304F2\n:00000001FF\n");
    const std::string firmware = (folder / "fw.hex").string();
    const LockFuseLayout layout = LoadLockFuseLayout(test::ShippedIni(), "ATmega328P");
    SettingsStore settings(SettingsStore::UserFile());
    ASSERT_TRUE(StoreSerialNumberSettings(settings, {"7", 3, 0}));
    const auto program = [](Programmer& p, TargetImages& images, TargetUi& u) {
        ProgramSteps steps;
        steps.erase = steps.writeFlash = steps.verifyFlash = true;
        return ProgramTarget(p, images, steps, u).succeeded;
    };
    const std::pair<const char*, Command> commands[] = {
        {"detect",
         [](Programmer& p, TargetImages&, TargetUi& u) {
             DetectDevice(p, u);
             return p.targetReady != 0;
         }},
        {"reset",
         [](Programmer& p, TargetImages&, TargetUi& u) {
             ResetDevice(p, u);
             return p.targetReady != 0;
         }},
        {"erase", [](Programmer& p, TargetImages&, TargetUi& u) { return EraseChip(p, u); }},
        {"blank check", [](Programmer& p, TargetImages&, TargetUi& u) { return BlankCheck(p, u); }},
        {"read flash",
         [](Programmer& p, TargetImages& i, TargetUi& u) { return ReadFlash(p, i, u); }},
        {"verify flash",
         [](Programmer& p, TargetImages& i, TargetUi& u) { return VerifyFlash(p, i, u); }},
        {"write EEPROM",
         [](Programmer& p, TargetImages& i, TargetUi& u) { return WriteEeprom(p, i, u); }},
        {"program", program},
        {"write flash",
         [](Programmer& p, TargetImages& i, TargetUi& u) { return WriteFlash(p, i, u); }},
        {"AutoProgram",
         [&](Programmer& p, TargetImages& i, TargetUi& u) {
             return RunAutoProgram(p, i, {firmware, ""}, {}, u).succeeded;
         }},
        {"serial number",
         [&](Programmer& p, TargetImages& i, TargetUi& u) {
             return SerialNumbering(p, i, u, settings).has_value();
         }},
        {"read fuses", [&](Programmer& p, TargetImages&,
                           TargetUi& u) { return ReadFuseBytes(p, u, layout).has_value(); }},
        {"write fuses",
         [&](Programmer& p, TargetImages&, TargetUi& u) {
             return WriteFuseBytes(p, u, layout, {0x62, 0xD9, 0xFF});
         }},
        {"write lock",
         [](Programmer& p, TargetImages&, TargetUi& u) {
             return WriteLockByte(p, u, 0xFF) == LockWrite::Confirmed;
         }},
    };
    for (const int cable : {CableStk200, CableAltera, CableGpio}) {
        const CableInfo& info = *FindCable(cable);
        for (const bool stuck : {false, true}) {
            for (const auto& [name, command] : commands) {
                SCOPED_TRACE(std::string(info.name) + ", " + name + (stuck ? ", stuck busy" : ""));
                SimConfig config;
                config.device = SimDeviceOf(ReadDeviceSection(test::ShippedIni(), "ATmega328P"));
                config.cableType = cable;
                config.faults.stuckBusy = stuck;
                LastWrites last;
                SimulatedGpioLines* lines = nullptr;
                Programmer programmer(
                    [&](std::string& reason) -> std::unique_ptr<PortIo> {
                        std::unique_ptr<SimulatedPort> chip = MakeSimulatedPort(config, reason);
                        if (cable != CableGpio) {
                            return std::make_unique<RecordingPort>(std::move(chip), last);
                        }
                        auto gpio = std::make_unique<SimulatedGpioLines>(std::move(chip));
                        lines = gpio.get();
                        return std::make_unique<RecordingPort>(
                            std::make_unique<GpioPort>(std::move(gpio)), last);
                    },
                    cable, test::ShippedIni());
                TargetImages images;
                images.flashDefined.Add(0, 0x10);
                images.eepromDefined.Add(0, 0x10);
                test::RecordingTargetUi ui;
                const bool done = command(programmer, images, ui);
                if (!stuck) {
                    EXPECT_TRUE(done) << ui.LastMessage();
                }
                ASSERT_TRUE(last.data.has_value());
                const std::uint8_t resets = info.pins.reset | info.pins.reset2;
                EXPECT_EQ(*last.data & resets, resets) << "reset released";
                if (info.drivers == DriverSwitch::DataBitsLow) {
                    EXPECT_EQ(*last.data & info.driverBits, info.driverBits) << "drivers off";
                } else {
                    EXPECT_EQ(last.control, std::optional(info.controlOff)) << "drivers off";
                }
                if (lines != nullptr) {
                    EXPECT_FALSE(lines->Driven()) << "the GPIO lines let go";
                }
            }
        }
    }
}

} // namespace
} // namespace zelk
