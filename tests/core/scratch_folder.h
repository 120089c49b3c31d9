// SPDX-License-Identifier: GPL-3.0-or-later
// A fresh folder under the system's temporary folder, removed with everything in it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace zelk::testing {

class ScratchFolder {
public:
    ScratchFolder() {
        std::random_device random;
        path = std::filesystem::temp_directory_path() /
               ("zelk-test-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::filesystem::path operator/(std::string_view name) const { return path / name; }
    const std::filesystem::path& Path() const { return path; }

private:
    std::filesystem::path path;
};

// Points the settings store at `folder` while alive, then restores the environment.
class ConfigHomeAt {
public:
    explicit ConfigHomeAt(const std::filesystem::path& folder) {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
            saved = old;
        }
        ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    }
    ~ConfigHomeAt() {
        saved ? ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    }
    ConfigHomeAt(const ConfigHomeAt&) = delete;
    ConfigHomeAt& operator=(const ConfigHomeAt&) = delete;

private:
    std::optional<std::string> saved;
};

inline std::string ReadWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteWholeFile(const std::filesystem::path& file, std::string_view contents) {
    std::ofstream(file, std::ios::binary) << contents;
}

} // namespace zelk::testing
