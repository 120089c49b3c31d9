// SPDX-License-Identifier: GPL-3.0-or-later
// Private-profile (INI) files: zelk.ini, project files and the settings store.
// Section and value names compare without regard to case; lines the module does not
// understand are kept byte for byte; lines are written with CR LF; every write replaces
// the file atomically.
#pragma once

#include "platform/ini_document.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelk {

// The longest value read or written. A file with a longer value is refused, naming its line,
// rather than cut: a file name cut short names another file.
inline constexpr std::size_t ProfileValueLimit = 4096;

class ProfileFile {
public:
    // Parses text with CR LF or LF line ends. Never fails: unknown lines are kept.
    static ProfileFile Parse(std::string_view text);
    // Reads a file; a missing file reads as empty. Nullopt, with the reason, when it exists
    // but cannot be read, is no regular file, is larger than MaxIniFileSize or holds a value
    // longer than ProfileValueLimit.
    static std::optional<ProfileFile> Load(const std::filesystem::path& path, std::string& error);

    // The value, whole; nullopt when absent.
    std::optional<std::string> Get(std::string_view section, std::string_view name) const;
    // Every section name / every value name of a section, in file order, without limit.
    std::vector<std::string> Sections() const;
    std::vector<std::string> Names(std::string_view section) const;

    // Replaces an existing value in place; a new name goes after the last value of its
    // section, a new section at the end of the file. A value is one line: it is stored up to
    // its first line break, so it can never add lines of its own. False, with nothing
    // changed, for a section or value name that could not be read back (empty, a line
    // break, or for a value name "=" or a leading "[" or ";"), and for a value longer than
    // ProfileValueLimit.
    bool Set(std::string_view section, std::string_view name, std::string_view value);
    void RemoveSection(std::string_view section);

    // The whole file, lines ended with CR LF.
    std::string Serialize() const;

private:
    explicit ProfileFile(std::vector<std::string> fileLines);
    void Reindex() { index = IniIndex(lines); }

    std::vector<std::string> lines;
    IniIndex index;
};

} // namespace zelk
