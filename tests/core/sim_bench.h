// The simulated cable and target opened by a Programmer, driven at the pins through the
// engine's own line operations and SPI transfer, without the target commands on top.
#pragma once

#include "engine/cables.h"
#include "engine/instructions.h"
#include "engine/programmer.h"
#include "sim/simulated_port.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace zelk::test {

using Inject = std::function<void(SimFaults&)>;

inline SimConfig On(const SimDevice& device, const Inject& inject = {}) {
    SimConfig config;
    config.device = device;
    config.cableType = CableKestan;
    if (inject) {
        inject(config.faults);
    }
    return config;
}

// The Programmer of the bench in use; the helpers below drive it.
inline Programmer* benchProgrammer = nullptr;

// The simulated port opened by a Programmer; closing it saves the chip's state file.
class SimBench {
public:
    explicit SimBench(const SimConfig& config)
        : programmer(MakeSimulatedPortOpener(config), config.cableType, {}) {
        std::string reason;
        EXPECT_TRUE(programmer.OpenPort(reason)) << reason;
        programmer.SelectCable(config.cableType);
        benchProgrammer = &programmer;
    }
    ~SimBench() { benchProgrammer = nullptr; }
    SimBench(const SimBench&) = delete;
    SimBench& operator=(const SimBench&) = delete;
    SimulatedPort& Port() { return static_cast<SimulatedPort&>(*programmer.Port()); }

private:
    Programmer programmer;
};

inline const PinMap& Pins() {
    return benchProgrammer->Pins();
}
inline void SetLine(std::uint8_t mask, std::uint8_t level) {
    benchProgrammer->SetLine(mask, level);
}
inline void EnableDrivers() {
    benchProgrammer->EnableDrivers();
}
inline void DelayUs(std::int32_t us) {
    benchProgrammer->DelayUs(us);
}
inline void PulseSck() {
    benchProgrammer->PulseSck();
}
inline void ResetAndRun() {
    benchProgrammer->ResetAndRun();
}
inline std::uint8_t SpiTransfer(std::uint8_t out) {
    return zelk::SpiTransfer(*benchProgrammer, out);
}
inline std::uint8_t SpiTransferSlow(std::uint8_t out, std::int32_t extraUs) {
    return zelk::SpiTransferSlow(*benchProgrammer, out, extraUs);
}
inline std::uint8_t ReadProgramMemory(std::uint32_t address) {
    return zelk::ReadProgramMemory(*benchProgrammer, address);
}
inline std::uint8_t ReadEepromMemory(std::uint32_t address) {
    return zelk::ReadEepromMemory(*benchProgrammer, address);
}
inline std::uint8_t ReadSignatureByte(std::uint8_t index) {
    return zelk::ReadSignatureByte(*benchProgrammer, index);
}
inline void ChipErase() {
    zelk::ChipErase(*benchProgrammer);
}

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
    SetLine(Pins().reset, 0);
    DelayUs(10000);
    SetLine(Pins().reset, 1);
    DelayUs(5000);
    SetLine(Pins().reset, 0);
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
