// SPDX-License-Identifier: GPL-3.0-or-later
// The folder relative names are taken against, for a user who may have started zelk in a
// folder that has since been deleted.
#pragma once

#include <filesystem>

namespace zelk {

// The current folder while it exists, else the home folder ($HOME), else "/". Never throws.
std::filesystem::path WorkingFolder();

} // namespace zelk
