// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the start-up picture may be shown: not when the program was started as a server
// for another program ("-Embedding", "/Automation" and the like, in any letter case).
#pragma once

#include <span>
#include <string>

namespace zelk {

bool SplashAllowed(std::span<const std::string> arguments);
// Whether one argument is such a switch (the command-line parser must not see it).
bool IsServerSwitch(const std::string& argument);

} // namespace zelk
