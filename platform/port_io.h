// SPDX-License-Identifier: GPL-3.0-or-later
// The three registers of a parallel port and the backend that reaches them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zelk {

enum class PortRegister : std::uint8_t { Data = 0, Status = 1, Control = 2 };

// One parallel port: hardware (ppdev, direct I/O) or the simulated cable and target.
class PortIo {
public:
    virtual ~PortIo() = default;
    // Data and Control are written; every write reaches the pins at once, in call order.
    virtual void Write(PortRegister reg, std::uint8_t value) = 0;
    // Status is read; the value is the pin levels of this moment.
    virtual std::uint8_t Read(PortRegister reg) = 0;
    // Lets `microseconds` (> 0) pass. Hardware busy-waits on the monotonic clock; a simulated
    // port on virtual time advances its own clock instead.
    virtual void Wait(std::int32_t microseconds);
};

// Opens one chosen port. Null, with a one-line reason (device path and cause), when it cannot.
using PortOpener = std::function<std::unique_ptr<PortIo>(std::string& reason)>;

} // namespace zelk
