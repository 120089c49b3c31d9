// SPDX-License-Identifier: GPL-3.0-or-later
// The state of the lock keys as the keyboard's own lights show it.
#pragma once

#include <optional>

namespace zelk {

struct LockKeyState {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

// Asks the display server; nullopt where zelk cannot tell (any platform but X11).
std::optional<LockKeyState> ReadLockKeys();

} // namespace zelk
