// SPDX-License-Identifier: GPL-3.0-or-later
// The parallel port by direct I/O instructions (x86, root or CAP_SYS_RAWIO only).
#pragma once

#include "platform/port_io.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zelk {

// Gains access to the three registers at `base`. Null, with a one-line reason starting
// "direct I/O: ", when the process may not or the processor has no I/O instructions.
std::unique_ptr<PortIo> OpenDirectPort(std::uint16_t base, std::string& reason);

} // namespace zelk
