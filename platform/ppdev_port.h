// SPDX-License-Identifier: GPL-3.0-or-later
// The parallel port through the Linux ppdev driver (/dev/parportN).
#pragma once

#include "platform/port_io.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace zelk {

// The number N of the parportN in `procDir` (the kernel's is /proc/sys/dev/parport) whose base
// address is `base`. When none matches, `listing` names the ports found ("parport0 at 0x3bc", or
// "none").
std::optional<int> FindParportNumber(const std::filesystem::path& procDir, std::uint16_t base,
                                     std::string& listing);

// Opens and claims a ppdev device by its path ("/dev/parport1"). A port another program holds
// is given up after 2 s ("the port is used by another program"); the reasons name what to do
// ("load the ppdev module", "add yourself to the lp group").
std::unique_ptr<PortIo> OpenPpdevDevice(const std::string& device, std::string& reason);

} // namespace zelk
