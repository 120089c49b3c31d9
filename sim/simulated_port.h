// SPDX-License-Identifier: GPL-3.0-or-later
// A parallel port with a programming cable and an AVR target on it, all simulated.
#pragma once

#include "platform/port_io.h"
#include "sim/avr_target.h"
#include "sim/chip_state.h"
#include "sim/sim_clock.h"
#include "sim/sim_device.h"
#include "sim/sim_faults.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace zelk {

struct SimConfig {
    SimDevice device;
    // The cable on the port by its stored "Interface" number: 1 "Kestan's Original",
    // 2 "Altera Compatible", 3 "STK200/300 Dongle", 4 "SP12", 5 "USB"; 0 attaches
    // "Kestan's Original"; any other value attaches no cable.
    int cableType = 1;
    bool virtualTime = true;
    // Where the chip's memories, lock and fuse bytes live between runs; empty for none.
    std::filesystem::path stateFile;
    SimFaults faults;
};

// The cable type of the GPIO header's wiring ("Interface" 6).
inline constexpr int SimulatedGpioCable = 6;

// Status bits read their idle level wherever nothing drives them: the port's pull-ups hold
// every input pin high, so the register reads 0x7F (BUSY is inverted by the port; the three
// unused low bits read 1).
inline constexpr std::uint8_t IdleStatus = 0x7F;

class SimulatedPort final : public PortIo {
public:
    SimulatedPort(const SimConfig& simConfig, std::shared_ptr<ChipState> memories);
    // Saves the chip to the state file (a failure cannot be reported here).
    ~SimulatedPort() override;
    SimulatedPort(const SimulatedPort&) = delete;
    SimulatedPort& operator=(const SimulatedPort&) = delete;

    void Write(PortRegister reg, std::uint8_t value) override;
    // Status gives the pin levels of this moment; Data and Control give what was written.
    std::uint8_t Read(PortRegister reg) override;
    void Wait(std::int32_t microseconds) override;

    // Writes the chip to the state file now; true when there is none to write.
    bool SaveState(std::string& error);

    // The chip's memories as they are now, finished writes included.
    const ChipState& Chip();
    std::int64_t NowUs() const { return clock.NowUs(); }

private:
    struct Cable {
        std::uint8_t miso = 0;     // status bit carrying the target's MISO
        bool misoInverter = false; // the cable inverts MISO on its way to the status bit
        std::uint8_t mosi = 0;
        std::uint8_t sck = 0;
        // Both reset lines reach the target's RESET, each through a diode: either one high
        // pulls it high, so the target is in reset only while the host drives both low.
        std::uint8_t reset = 0;
        std::uint8_t reset2 = 0;
        std::uint8_t loopFrom = 0; // data bit wired straight to the status bit loopTo
        std::uint8_t loopTo = 0;
        enum class Drivers : std::uint8_t {
            None,
            ControlRegister,
            DataD2D3
        } drivers = Drivers::None;
    };
    static std::optional<Cable> CableOfType(int type);

    void Update();

    SimConfig config;
    SimClock clock;
    std::shared_ptr<ChipState> chip;
    std::optional<Cable> cable;
    std::unique_ptr<AvrTarget> target;
    std::uint8_t data = 0x00;
    // What Linux leaves in the control register: INIT high, data lines driven.
    std::uint8_t control = 0x0C;
    std::uint8_t pins = 0x00; // the levels on the data pins
    bool driversOn = false;
};

// A simulated port for `config`, with the chip from its state file when there is one. Null,
// with the reason, when the device cannot be simulated or the state file does not fit it.
std::unique_ptr<SimulatedPort> MakeSimulatedPort(const SimConfig& config, std::string& reason);
std::unique_ptr<SimulatedPort> MakeSimulatedPort(const SimConfig& config);

// An opener of the simulated port. Every port it opens has the same chip attached, so the
// memories survive a close and reopen even without a state file.
PortOpener MakeSimulatedPortOpener(SimConfig config);

// Saves the chip to its state file now when `port` is a simulated one. False, with the
// reason, when that fails.
bool SaveSimulatedChip(PortIo* port, std::string& error);

} // namespace zelk
