// SPDX-License-Identifier: GPL-3.0-or-later
// zelk-cli's exit statuses, as its manual page documents them.
#pragma once

namespace zelk {

inline constexpr int ExitDone = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;
// The command did its job but could not see the result: a lock byte the part cannot read.
inline constexpr int ExitUnconfirmed = 3;
// A signal ended the command: 128 + its number (130 for SIGINT).

} // namespace zelk
