// The real parallel port: Linux ppdev, else direct port I/O on x86 (root only).
#pragma once

#include "platform/port_io.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zelk {

// Base I/O address of an LPT port index (0, 1, 2 for 0x378, 0x278, 0x3BC); 0 for another.
std::uint16_t PortBaseAddress(int portIndex);

// Opens the port at a base I/O address: through ppdev when the kernel lists a port there, and
// then through ppdev only; by direct port I/O (x86, root) only when it lists none. Null, with
// a one-line reason (device path and cause), when the port cannot be reached.
std::unique_ptr<PortIo> OpenHardwarePort(std::uint16_t base, std::string& reason);

// How a port at a base address is opened: OpenHardwarePort, or a recorder in tests.
using HardwarePortOpener =
    std::function<std::unique_ptr<PortIo>(std::uint16_t base, std::string& reason)>;

} // namespace zelk
