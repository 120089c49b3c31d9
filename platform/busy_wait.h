// SPDX-License-Identifier: GPL-3.0-or-later
// The wait every protocol timing uses on hardware.
#pragma once

#include <cstdint>

namespace zelk {

// Spins on the monotonic clock until `microseconds` have passed. Never sleeps or yields, and
// never returns early: a short flash write wait corrupts the chip.
void BusyWaitUs(std::int64_t microseconds);

} // namespace zelk
