// SPDX-License-Identifier: GPL-3.0-or-later
// The real parallel port: Linux ppdev, else direct port I/O on x86 (root only).
#pragma once

#include "platform/port_io.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace zelk {

// Base I/O address of an LPT port index (0, 1, 2 for 0x378, 0x278, 0x3BC); 0 for another.
std::uint16_t PortBaseAddress(int portIndex);

// How a port at a base address is reached. A port the kernel lists is reached through its
// /dev/parportN alone: direct I/O beside the kernel's driver would fight it, and a claim that
// failed or was interrupted must fail the command. Direct I/O is tried only for a port the
// kernel does not list.
struct PortPlan {
    enum class Backend { Ppdev, Direct };
    Backend backend = Backend::Direct;
    std::string device;  // Ppdev: "/dev/parport0"
    std::string listing; // Direct: the ports the kernel lists ("parport0 at 0x3bc", "none")
};
PortPlan PlanHardwarePort(std::uint16_t base, const std::filesystem::path& procDir);

// Opens the port at a base I/O address as PlanHardwarePort says, with the kernel's list in
// /proc/sys/dev/parport. Null, with a one-line reason (device path and cause), when the port
// cannot be reached.
std::unique_ptr<PortIo> OpenHardwarePort(std::uint16_t base, std::string& reason);

// How a port at a base address is opened: OpenHardwarePort, or a recorder in tests.
using HardwarePortOpener =
    std::function<std::unique_ptr<PortIo>(std::uint16_t base, std::string& reason)>;

} // namespace zelk
