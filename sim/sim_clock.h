// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's sense of time: a virtual clock that only the port's waits move, or the
// monotonic clock of the machine.
#pragma once

#include <chrono>
#include <cstdint>

namespace zelk {

class SimClock {
public:
    explicit SimClock(bool useVirtualTime)
        : virtualTime(useVirtualTime), start(std::chrono::steady_clock::now()) {}

    bool IsVirtual() const { return virtualTime; }

    // Microseconds since the clock was made.
    std::int64_t NowUs() const {
        if (virtualTime) {
            return virtualNow;
        }
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    }

    // Moves virtual time on; real time moves by itself.
    void Advance(std::int64_t microseconds) {
        if (virtualTime && microseconds > 0) {
            virtualNow += microseconds;
        }
    }

private:
    bool virtualTime;
    std::chrono::steady_clock::time_point start;
    std::int64_t virtualNow = 0;
};

} // namespace zelk
