#include "platform/settings_store.h"

#include "platform/atomic_file.h"
#include "platform/private_profile.h"

#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace zelk {
namespace {

std::optional<std::string> ReadSetting(std::string_view section, std::string_view name) {
    std::string error;
    const std::optional<ProfileFile> store = ProfileFile::Load(SettingsFilePath(), error);
    if (!store) {
        return std::nullopt; // an unreadable store reads as defaults
    }
    return store->Get(section, name);
}

struct WriteProblem {
    std::mutex mutex;
    std::string reason;
    bool reported = false;
};

WriteProblem& Problem() {
    static WriteProblem problem;
    return problem;
}

bool Remember(std::string reason) {
    WriteProblem& problem = Problem();
    const std::lock_guard lock(problem.mutex);
    if (reason.empty()) {
        problem.reported = false;
    }
    problem.reason = std::move(reason);
    return problem.reason.empty();
}

// Reads the store, applies one change and writes it back atomically. An unreadable store is
// left alone rather than replaced by one holding only the new value.
bool UpdateSettings(const std::function<bool(ProfileFile&)>& change) {
    const std::filesystem::path path = SettingsFilePath();
    if (path.empty()) {
        return Remember("No settings file: neither XDG_CONFIG_HOME nor a home folder is set.");
    }
    std::string error;
    std::optional<ProfileFile> store = ProfileFile::Load(path, error);
    if (!store) {
        return Remember("The settings file cannot be read: " + error);
    }
    if (!change(*store)) {
        return Remember("A setting's name cannot be stored in " + path.string() + ".");
    }
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec) {
        return Remember("Cannot make the folder " + path.parent_path().string() + ": " +
                        ec.message());
    }
    if (!ReplaceFileAtomically(path, store->Serialize(), error)) {
        return Remember("The settings cannot be saved: " + error);
    }
    return Remember({});
}

std::filesystem::path HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return home;
    }
    const passwd* user = ::getpwuid(::getuid());
    if (user != nullptr && user->pw_dir != nullptr) {
        return user->pw_dir;
    }
    return {};
}

} // namespace

std::filesystem::path SettingsFilePath() {
    std::filesystem::path base;
    // A relative XDG_CONFIG_HOME is invalid by the XDG rules and is ignored.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && std::filesystem::path(config).is_absolute()) {
        base = config;
    } else {
        const std::filesystem::path home = HomeFolder();
        if (home.empty()) {
            return {};
        }
        base = home / ".config";
    }
    return base / "Brasswick" / "zelk.conf";
}

int ReadSettingInt(std::string_view section, std::string_view name, int defaultValue) {
    const std::optional<std::string> text = ReadSetting(section, name);
    if (!text) {
        return defaultValue;
    }
    return TryParseProfileInt(*text).value_or(defaultValue);
}

std::string ReadSettingString(std::string_view section, std::string_view name,
                              std::string_view defaultValue) {
    return ReadSetting(section, name).value_or(std::string(defaultValue));
}

bool WriteSettingInt(std::string_view section, std::string_view name, int value) {
    return WriteSettingString(section, name, std::to_string(value));
}

bool WriteSettingString(std::string_view section, std::string_view name, std::string_view value) {
    return UpdateSettings([&](ProfileFile& store) { return store.Set(section, name, value); });
}

bool ClearSettingSection(std::string_view section) {
    return UpdateSettings([&](ProfileFile& store) {
        store.RemoveSection(section);
        return true;
    });
}

bool ReplaceSettingSection(std::string_view section,
                           const std::vector<std::pair<std::string, std::string>>& values) {
    return UpdateSettings([&](ProfileFile& store) {
        store.RemoveSection(section);
        for (const auto& [name, value] : values) {
            if (!store.Set(section, name, value)) {
                return false;
            }
        }
        return true;
    });
}

std::string SettingsWriteProblem() {
    WriteProblem& problem = Problem();
    const std::lock_guard lock(problem.mutex);
    return problem.reason;
}

std::optional<std::string> TakeSettingsWriteProblem() {
    WriteProblem& problem = Problem();
    const std::lock_guard lock(problem.mutex);
    if (problem.reason.empty() || problem.reported) {
        return std::nullopt;
    }
    problem.reported = true;
    return problem.reason;
}

} // namespace zelk
