// A project file put into the application's state, the same for the GUI and zelk-cli.
#pragma once

#include "app/app_state.h"
#include "app/project_file.h"

#include <filesystem>

namespace zelk {

// Reads the project at `projectFile` into `state`: title, comment and the two file names, a
// relative name taken from the project file's folder (not the current one). Returns what the
// file holds, window places included.
ProjectFileData ApplyProjectFile(AppState& state, const std::filesystem::path& projectFile);

} // namespace zelk
