// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/port_io.h"

#include "platform/busy_wait.h"

namespace zelk {

void PortIo::Wait(std::int32_t microseconds) {
    BusyWaitUs(microseconds);
}

} // namespace zelk
