// SPDX-License-Identifier: GPL-3.0-or-later
// The lines of a single-board computer's GPIO header that carry the ISP signals, and the seam
// between the GPIO port and the kernel: the port drives an object of GpioLines, which is the
// chip's lines through libgpiod on a board, or the simulated target in tests.
#pragma once

#include "platform/busy_wait.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zelk {

// A line that switches something on: a level shifter's buffer enable, or the target's supply.
struct GpioSwitchLine {
    unsigned offset = 0;
    bool activeLow = false; // on while the line is low
    bool operator==(const GpioSwitchLine&) const = default;
};

// Which lines of which chip carry the signals. The defaults are the Raspberry Pi header's SPI0
// pins (BCM 11 SCLK, 10 MOSI, 9 MISO) and BCM 25 for RESET.
struct GpioWiring {
    std::string chip = "/dev/gpiochip0";
    unsigned sck = 11;
    unsigned mosi = 10;
    unsigned miso = 9;
    unsigned reset = 25;
    std::optional<GpioSwitchLine> enable;
    std::optional<GpioSwitchLine> power;
    bool operator==(const GpioWiring&) const = default;
};

// The levels of the three lines the host drives.
struct IspLevels {
    bool sck = false;
    bool mosi = false;
    bool reset = false;
    bool operator==(const IspLevels&) const = default;
};

class GpioLines {
public:
    virtual ~GpioLines() = default;
    // Switches the buffer and the target's supply on (where wired), then drives SCK, MOSI and
    // RESET at `levels`.
    virtual void Drive(IspLevels levels) = 0;
    // Sets SCK, MOSI and RESET, which are driven, in one request.
    virtual void Set(IspLevels levels) = 0;
    // Lets SCK, MOSI and RESET go (inputs again: the target's pull-up releases RESET), then
    // switches the buffer and the supply off.
    virtual void Float() = 0;
    // The level of MISO; high when nothing drives it.
    virtual bool Miso() = 0;
    // Lets `microseconds` pass as the port's time goes.
    virtual void Wait(std::int32_t microseconds) { BusyWaitUs(microseconds); }
};

} // namespace zelk
