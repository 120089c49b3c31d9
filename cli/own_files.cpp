// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/own_files.h"

#include "memory/image_file.h"
#include "platform/settings_store.h"
#include "sim/chip_state.h"
#include "station/production_log.h"

#include <system_error>
#include <utility>
#include <vector>

namespace zelk {
namespace {

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    if (std::filesystem::exists(a, ec) && std::filesystem::exists(b, ec)) {
        return std::filesystem::equivalent(a, b, ec);
    }
    const std::filesystem::path left = std::filesystem::weakly_canonical(a, ec);
    const std::filesystem::path right = std::filesystem::weakly_canonical(b, ec);
    return !ec && left == right;
}

} // namespace

std::optional<std::string> OwnFileProblem(const std::filesystem::path& output,
                                          const TargetOptions& options) {
    if (output.empty() || output == StandardStreamName) {
        return std::nullopt;
    }
    const SettingsStore settings(SettingsStore::UserFile());
    std::vector<std::pair<std::filesystem::path, const char*>> own = {
        {ProductionLogPath(), "zelk's production log"}};
    if (!settings.Path().empty()) {
        own.emplace_back(settings.Path(), "zelk's settings file");
        own.emplace_back(settings.LockPath(), "the lock file of zelk's settings");
    }
    if (!options.simState.empty()) {
        own.emplace_back(options.simState, "the simulator's state file");
        own.emplace_back(ChipStateLockFile(options.simState),
                         "the lock file of the simulator's state file");
    }
    for (const auto& [file, what] : own) {
        if (SameFile(output, file)) {
            return output.string() + " is " + what + "; choose another output file";
        }
    }
    return std::nullopt;
}

} // namespace zelk
