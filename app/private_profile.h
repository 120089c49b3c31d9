// Private-profile (INI) files: zelk.ini, project files and the settings store.
// Section and value names compare without regard to case; lines the module does not
// understand are kept byte for byte; lines are written with CR LF; every write replaces
// the file atomically.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelk {

// A value read is cut to this many characters.
inline constexpr std::size_t ProfileValueLimit = 255;

class ProfileFile {
public:
    // Parses text with CR LF or LF line ends. Never fails: unknown lines are kept.
    static ProfileFile Parse(std::string_view text);
    // Reads a file; a missing file reads as empty. Nullopt, with the reason, when it exists
    // but cannot be read.
    static std::optional<ProfileFile> Load(const std::filesystem::path& path, std::string& error);

    // The value, cut to ProfileValueLimit characters; nullopt when absent.
    std::optional<std::string> Get(std::string_view section, std::string_view name) const;
    // Every section name / every value name of a section, in file order, without limit.
    std::vector<std::string> Sections() const;
    std::vector<std::string> Names(std::string_view section) const;

    // Replaces an existing value in place; a new name goes at the end of its section, a new
    // section at the end of the file.
    void Set(std::string_view section, std::string_view name, std::string_view value);
    void RemoveSection(std::string_view section);

    // The whole file, lines ended with CR LF.
    std::string Serialize() const;

private:
    std::vector<std::string> lines;
};

// Writes `contents` to a temporary file in the same folder, flushes it and renames it over
// `path`. On failure the old file is untouched and `error` says why.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view contents,
                         std::string& error);

// Profile integer reading: decimal, or hexadecimal after "0x"; text that is no number gives 0.
int ParseProfileInt(std::string_view text);

} // namespace zelk
