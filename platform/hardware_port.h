// The real parallel port: Linux ppdev, else direct port I/O on x86 (root only).
#pragma once

#include "engine/port_io.h"

#include <memory>
#include <string>

namespace zelk {

// Opens port index 0, 1 or 2 (0x378, 0x278, 0x3BC). Null, with a one-line reason (device
// path and cause), when neither backend can reach it.
std::unique_ptr<PortIo> OpenHardwarePort(int portIndex, std::string& reason);

} // namespace zelk
