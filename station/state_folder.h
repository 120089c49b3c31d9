// SPDX-License-Identifier: GPL-3.0-or-later
// $XDG_STATE_HOME/zelk, by default ~/.local/state/zelk: where the simulated chip keeps its
// memories between runs and the production log grows.
#pragma once

#include <filesystem>

namespace zelk {

std::filesystem::path StateFolder();

} // namespace zelk
