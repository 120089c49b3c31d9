// SPDX-License-Identifier: GPL-3.0-or-later
// Which commands the user may choose in the present state: one table for the menus, the
// toolbar and the device bar.
#pragma once

namespace zelk {

struct EnablingState {
    bool projectOpen = false;
    bool targetReady = false;
    bool childActive = false;
    bool recentEntries = false;
    // A target command's worker holds the port and works on the images.
    bool workerRunning = false;
};

// Commands not in the table (and unknown ids) are disabled.
bool IsCommandEnabled(int id, const EnablingState& state);

} // namespace zelk
