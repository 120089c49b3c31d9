// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated target behind GPIO lines, for trying the GPIO header's code path without a
// board: the lines reach a simulated port whose cable is the GPIO header's wiring, so every
// fault, the target clock and the virtual time of the simulator apply.
#pragma once

#include "platform/gpio_lines.h"
#include "sim/simulated_port.h"

#include <memory>

namespace zelk {

class SimulatedGpioLines final : public GpioLines {
public:
    explicit SimulatedGpioLines(std::unique_ptr<SimulatedPort> simulated);

    void Drive(IspLevels levels) override;
    void Set(IspLevels levels) override;
    void Float() override;
    bool Miso() override;
    void Wait(std::int32_t microseconds) override;

    SimulatedPort& Port() { return *port; }
    // SCK, MOSI and RESET are driven, and the buffer and supply on.
    bool Driven() const { return driven; }

private:
    void Show(IspLevels levels);

    std::unique_ptr<SimulatedPort> port;
    bool driven = false;
    IspLevels shown;
};

// An opener of the simulated target on the GPIO header's wiring, reached through GpioPort: the
// code path of a board's GPIO lines with the simulator in place of libgpiod. `config`'s cable
// is set to the GPIO header.
PortOpener MakeSimulatedGpioOpener(SimConfig config);

} // namespace zelk
