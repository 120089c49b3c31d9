// The simulated cable and target opened as the engine's port, driven at the pins through the
// engine's own line operations and SPI transfer, without the target commands on top.
#pragma once

#include "engine/instructions.h"
#include "engine/port_io.h"
#include "engine/port_lines.h"
#include "sim/simulated_port.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace zelk::test {

using Inject = std::function<void(SimFaults&)>;

inline SimConfig On(const DeviceEntry& device, const Inject& inject = {}) {
    SimConfig config;
    config.device = device;
    config.cableType = CableKestan;
    if (inject) {
        inject(config.faults);
    }
    return config;
}

// The simulated port opened as the engine's port; closing it saves the chip's state file.
class SimBench {
public:
    explicit SimBench(const SimConfig& config) {
        ResetEngineState();
        SetPortOpener(MakeSimulatedPortOpener(config));
        std::string reason;
        EXPECT_TRUE(OpenSelectedPort(reason)) << reason;
        SelectCable(config.cableType);
    }
    ~SimBench() {
        SetPortOpener([](int, std::string&) -> std::unique_ptr<PortIo> { return nullptr; });
        ResetEngineState();
    }
    SimBench(const SimBench&) = delete;
    SimBench& operator=(const SimBench&) = delete;
    SimulatedPort& Port() { return static_cast<SimulatedPort&>(*CurrentPort()); }
};

// Sends the instruction packed into `bytes`, most significant byte first; returns byte 4.
inline std::uint8_t Send(std::uint32_t bytes) {
    std::uint8_t last = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        last = SpiTransfer(static_cast<std::uint8_t>(bytes >> shift));
    }
    return last;
}

inline bool Echoed() {
    SpiTransfer(0xAC);
    SpiTransfer(0x53);
    const std::uint8_t echo = SpiTransfer(0x00);
    SpiTransfer(0x00);
    return echo == 0x53;
}

// A positive pulse on the cable's first reset line with SCK low, and time for the target's
// serial interface to start.
inline void ResetIntoProgramming() {
    EnableDrivers();
    SetLine(Engine().pinMap.reset, 0);
    DelayUs(10000);
    SetLine(Engine().pinMap.reset, 1);
    DelayUs(5000);
    SetLine(Engine().pinMap.reset, 0);
    DelayUs(30000);
}

// The reset, then Programming Enable with an SCK pulse after each failed attempt: the attempt
// that got the echo (1 for the first), 0 when none of 32 did.
inline int EnterProgrammingMode() {
    ResetIntoProgramming();
    for (int attempt = 1; attempt <= 32; ++attempt) {
        if (Echoed()) {
            return attempt;
        }
        PulseSck();
    }
    return 0;
}

} // namespace zelk::test
