// SPDX-License-Identifier: GPL-3.0-or-later
// Counters of what a command costs at the port: the register accesses a port passes on to
// another (on a real parallel port each is a bus cycle of one to a few microseconds and,
// through ppdev, an ioctl), and the line requests of the GPIO header (each an ioctl of the
// GPIO character device).
#pragma once

#include "platform/gpio_lines.h"
#include "platform/gpio_port.h"
#include "platform/port_io.h"
#include "sim/simulated_gpio_lines.h"
#include "sim/simulated_port.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zelk {

struct PortAccessCounts {
    std::uint64_t dataWrites = 0;
    std::uint64_t controlWrites = 0;
    std::uint64_t reads = 0;

    std::uint64_t Writes() const { return dataWrites + controlWrites; }
    std::uint64_t Total() const { return Writes() + reads; }
    PortAccessCounts operator-(const PortAccessCounts& earlier) const {
        return {dataWrites - earlier.dataWrites, controlWrites - earlier.controlWrites,
                reads - earlier.reads};
    }
};

// Each access may also take time on the port behind (a simulated port on virtual time), as a
// bus cycle does, so that a polled write sees the time its polls take.
class CountingPort final : public PortIo {
public:
    // `counts` outlives the port: the Programmer that owns the port keeps it out of reach.
    CountingPort(std::unique_ptr<PortIo> port, PortAccessCounts& counts, std::int32_t accessUs = 0)
        : inner(std::move(port)), tally(counts), accessTime(accessUs) {}

    void Write(PortRegister reg, std::uint8_t value) override {
        ++(reg == PortRegister::Data ? tally.dataWrites : tally.controlWrites);
        inner->Write(reg, value);
        Take();
    }
    std::uint8_t Read(PortRegister reg) override {
        ++tally.reads;
        const std::uint8_t value = inner->Read(reg);
        Take();
        return value;
    }
    void Wait(std::int32_t microseconds) override { inner->Wait(microseconds); }

private:
    void Take() {
        if (accessTime > 0) {
            inner->Wait(accessTime);
        }
    }

    std::unique_ptr<PortIo> inner;
    PortAccessCounts& tally;
    std::int32_t accessTime;
};

// GPIO lines that count the requests they pass on: each setting of the driven lines (one
// request for all of them) as a data write, each read of MISO as a read.
class CountingGpioLines final : public GpioLines {
public:
    CountingGpioLines(std::unique_ptr<GpioLines> gpioLines, PortAccessCounts& counts,
                      std::int32_t requestUs = 0)
        : inner(std::move(gpioLines)), tally(counts), requestTime(requestUs) {}

    void Drive(IspLevels levels) override {
        ++tally.dataWrites;
        inner->Drive(levels);
        Take();
    }
    void Set(IspLevels levels) override {
        ++tally.dataWrites;
        inner->Set(levels);
        Take();
    }
    void Float() override {
        ++tally.dataWrites;
        inner->Float();
        Take();
    }
    bool Miso() override {
        ++tally.reads;
        const bool level = inner->Miso();
        Take();
        return level;
    }
    void Wait(std::int32_t microseconds) override { inner->Wait(microseconds); }

private:
    void Take() {
        if (requestTime > 0) {
            inner->Wait(requestTime);
        }
    }

    std::unique_ptr<GpioLines> inner;
    PortAccessCounts& tally;
    std::int32_t requestTime;
};

// The simulated port of `config` with what reaches it counted in `counts`, each access or
// request taking `accessUs`: register accesses for a parallel-port cable, line requests for
// the GPIO header (reached through GpioPort). `simulated`, when given, learns the simulated
// port behind. Null, with the reason, as MakeSimulatedPort.
inline std::unique_ptr<PortIo> CountedSimulatedPort(const SimConfig& config,
                                                    PortAccessCounts& counts, std::int32_t accessUs,
                                                    std::string& reason,
                                                    SimulatedPort** simulated = nullptr) {
    std::unique_ptr<SimulatedPort> port = MakeSimulatedPort(config, reason);
    if (!port) {
        return nullptr;
    }
    if (simulated != nullptr) {
        *simulated = port.get();
    }
    if (config.cableType == SimulatedGpioCable) {
        return std::make_unique<GpioPort>(std::make_unique<CountingGpioLines>(
            std::make_unique<SimulatedGpioLines>(std::move(port)), counts, accessUs));
    }
    return std::make_unique<CountingPort>(std::move(port), counts, accessUs);
}

} // namespace zelk
