// SPDX-License-Identifier: GPL-3.0-or-later
// A project file put into the application's state, the same for the GUI and zelk-cli.
#pragma once

#include "station/app_state.h"
#include "station/project_file.h"

#include <filesystem>

namespace zelk {

// Puts a project read from `projectFile` into `state`: title, comment and the two file names, a
// relative name taken from the project file's folder (not the current one).
void ApplyProject(AppState& state, const ProjectFileData& data,
                  const std::filesystem::path& projectFile);
// Reads the project at `projectFile` and applies it; a file that cannot be read gives the
// defaults. Returns what the file holds, window places included.
ProjectFileData ApplyProjectFile(AppState& state, const std::filesystem::path& projectFile);

} // namespace zelk
