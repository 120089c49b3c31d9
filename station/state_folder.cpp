// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/state_folder.h"

#include <cstdlib>

namespace zelk {

std::filesystem::path StateFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state != '\0') {
        return std::filesystem::path(state) / "zelk";
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr ? home : ".") / ".local" / "state" / "zelk";
}

} // namespace zelk
