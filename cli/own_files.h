// SPDX-License-Identifier: GPL-3.0-or-later
// The files zelk keeps for itself, which no output of a command may replace: the simulator's
// state file and its lock file, the settings file and its lock file, the production log.
#pragma once

#include "cli/target_options.h"

#include <filesystem>
#include <optional>
#include <string>

namespace zelk {

// "OUT is the simulator's state file ..." when `output` names one of them (by any path or
// link), nullopt otherwise and for standard output.
std::optional<std::string> OwnFileProblem(const std::filesystem::path& output,
                                          const TargetOptions& options);

} // namespace zelk
