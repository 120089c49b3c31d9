// SPDX-License-Identifier: GPL-3.0-or-later
// The GPIO header as a port for the engine: the cable row "GPIO header" puts SCK, MOSI and
// RESET on data register bits and MISO on a status bit, and this port turns the register
// writes into line requests, only when a line's level changes. The drivers are on while the
// data bits GpioDriverBits are low: the lines are driven then, and let go otherwise.
#pragma once

#include "platform/gpio_lines.h"
#include "platform/port_io.h"

#include <memory>

namespace zelk {

inline constexpr std::uint8_t GpioSckBit = 0x10;
inline constexpr std::uint8_t GpioMosiBit = 0x20;
inline constexpr std::uint8_t GpioResetBit = 0x80;
inline constexpr std::uint8_t GpioDriverBits = 0x0C;
inline constexpr std::uint8_t GpioMisoBit = 0x40; // status register, as read

class GpioPort final : public PortIo {
public:
    explicit GpioPort(std::unique_ptr<GpioLines> gpioLines);
    // Lets every line go and switches the buffer and the supply off.
    ~GpioPort() override;
    GpioPort(const GpioPort&) = delete;
    GpioPort& operator=(const GpioPort&) = delete;

    void Write(PortRegister reg, std::uint8_t value) override;
    // Status gives MISO at GpioMisoBit; Data gives what was written.
    std::uint8_t Read(PortRegister reg) override;
    void Wait(std::int32_t microseconds) override;

    GpioLines& Lines() { return *lines; }

private:
    std::unique_ptr<GpioLines> lines;
    std::uint8_t data = GpioDriverBits; // drivers off until the engine turns them on
    bool driving = false;
    IspLevels levels;
};

} // namespace zelk
