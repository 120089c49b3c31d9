// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/project_state.h"

namespace zelk {
namespace {

std::string FromProjectFolder(const std::filesystem::path& projectFile, const std::string& file) {
    if (file.empty()) {
        return file;
    }
    return (projectFile.parent_path() / std::filesystem::path(file)).string();
}

} // namespace

void ApplyProject(AppState& state, const ProjectFileData& data,
                  const std::filesystem::path& projectFile) {
    state.projectName = data.projectName;
    state.comment = data.comment;
    state.flashFile = FromProjectFolder(projectFile, data.flashFile);
    state.eepromFile = FromProjectFolder(projectFile, data.eepromFile);
}

ProjectFileData ApplyProjectFile(AppState& state, const std::filesystem::path& projectFile) {
    const ProjectFileData data = LoadProjectFile(projectFile);
    ApplyProject(state, data, projectFile);
    return data;
}

} // namespace zelk
