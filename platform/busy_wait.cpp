// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/busy_wait.h"

#include <chrono>

namespace zelk {

void BusyWaitUs(std::int64_t microseconds) {
    if (microseconds <= 0) {
        return;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::microseconds(microseconds);
    while (Clock::now() < deadline) {
    }
}

} // namespace zelk
