// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulated_gpio_lines.h"

#include "platform/gpio_port.h"

namespace zelk {

SimulatedGpioLines::SimulatedGpioLines(std::unique_ptr<SimulatedPort> simulated)
    : port(std::move(simulated)) {
    Float();
}

void SimulatedGpioLines::Show(IspLevels levels) {
    shown = levels;
    std::uint8_t data = driven ? 0 : GpioDriverBits;
    data = static_cast<std::uint8_t>(data | (levels.sck ? GpioSckBit : 0) |
                                     (levels.mosi ? GpioMosiBit : 0) |
                                     (levels.reset ? GpioResetBit : 0));
    port->Write(PortRegister::Data, data);
}

void SimulatedGpioLines::Drive(IspLevels levels) {
    driven = true;
    Show(levels);
}

void SimulatedGpioLines::Set(IspLevels levels) {
    Show(levels);
}

void SimulatedGpioLines::Float() {
    driven = false;
    Show(shown);
}

bool SimulatedGpioLines::Miso() {
    return (port->Read(PortRegister::Status) & GpioMisoBit) != 0;
}

void SimulatedGpioLines::Wait(std::int32_t microseconds) {
    port->Wait(microseconds);
}

PortOpener MakeSimulatedGpioOpener(SimConfig config) {
    config.cableType = SimulatedGpioCable;
    PortOpener simulated = MakeSimulatedPortOpener(std::move(config));
    return [simulated](std::string& reason) -> std::unique_ptr<PortIo> {
        std::unique_ptr<PortIo> port = simulated(reason);
        if (!port) {
            return nullptr;
        }
        // The simulated opener makes nothing but SimulatedPorts.
        std::unique_ptr<SimulatedPort> chip(static_cast<SimulatedPort*>(port.release()));
        return std::make_unique<GpioPort>(std::make_unique<SimulatedGpioLines>(std::move(chip)));
    };
}

} // namespace zelk
