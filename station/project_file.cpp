// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/project_file.h"

#include "platform/atomic_file.h"
#include "platform/private_profile.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <system_error>
#include <utility>

namespace zelk {
namespace {

constexpr std::string_view ProjectNameKey = "ProjectName";
constexpr std::string_view CommentKey = "Comment";
constexpr std::string_view FlashFileKey = "FlashFile";
constexpr std::string_view EepromFileKey = "EEPromFile";
constexpr std::string_view FlashWindowKey = "FlashWindow";
constexpr std::string_view EepromWindowKey = "EEPromWindow";
constexpr std::string_view ProjectWindowKey = "ProjectWindow";
// Present in files whose comment is escaped; a comment of an older file is taken as it stands,
// so a path such as "C:\new" in it keeps its backslash.
constexpr std::string_view CommentFormatKey = "CommentFormat";
constexpr std::string_view EscapedFormat = "escaped";

std::string FormatOptionalRect(const std::optional<WindowRect>& rect) {
    return rect ? FormatWindowRect(*rect) : std::string();
}

} // namespace

std::string EscapeComment(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            escaped += c;
            break;
        }
    }
    return escaped;
}

std::string UnescapeComment(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '\\' && (next == '\\' || next == 'n' || next == 'r')) {
            plain += next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
            ++i;
        } else {
            // Any other backslash was written by hand; it stays.
            plain += text[i];
        }
    }
    return plain;
}

std::optional<WindowRect> ParseWindowRect(std::string_view text) {
    const auto skipBlanks = [&text] {
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
            text.remove_prefix(1);
        }
    };
    std::array<int, 4> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        skipBlanks();
        if (i > 0) {
            if (text.empty() || text.front() != ',') {
                return std::nullopt;
            }
            text.remove_prefix(1);
            skipBlanks();
        }
        if (!text.empty() && text.front() == '+') {
            text.remove_prefix(1);
            if (!text.empty() && text.front() == '-') {
                return std::nullopt;
            }
        }
        // A number wider than int fails here rather than wrapping into a wrong position.
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), values[i]);
        if (ec != std::errc()) {
            return std::nullopt;
        }
        text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    }
    skipBlanks();
    if (!text.empty()) {
        return std::nullopt;
    }
    return WindowRect{values[0], values[1], values[2], values[3]};
}

std::string FormatWindowRect(const WindowRect& rect) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%d,%d,%d,%d", rect.left, rect.top, rect.right,
                  rect.bottom);
    return buffer;
}

bool SaveProjectFile(const std::filesystem::path& path, const ProjectFileData& data,
                     std::string& error) {
    std::optional<ProfileFile> file = ProfileFile::Load(path, error);
    if (!file) {
        return false;
    }
    const std::pair<std::string_view, std::string> values[] = {
        {ProjectNameKey, data.projectName},
        {CommentKey, EscapeComment(data.comment)},
        {FlashFileKey, data.flashFile},
        {EepromFileKey, data.eepromFile},
        {FlashWindowKey, FormatOptionalRect(data.flashWindow)},
        {EepromWindowKey, FormatOptionalRect(data.eepromWindow)},
        {ProjectWindowKey, FormatOptionalRect(data.projectWindow)},
        {CommentFormatKey, std::string(EscapedFormat)}};
    for (const auto& [name, value] : values) {
        if (!file->Set(ProjectSection, name, value)) {
            // Cut, it would read back as another value: a file name would name another file.
            error = path.string() + ": the " + std::string(name) + " is longer than " +
                    std::to_string(ProfileValueLimit) + " characters";
            return false;
        }
    }
    return ReplaceFileAtomically(path, file->Serialize(), error);
}

ProjectFileData LoadProjectFile(const std::filesystem::path& path) {
    ProjectFileData data;
    std::string ignored;
    ReadProjectFile(path, data, ignored);
    return data;
}

bool ReadProjectFile(const std::filesystem::path& path, ProjectFileData& loaded,
                     std::string& error) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        error = path.string() + ": no such project file";
        return false;
    }
    const std::optional<ProfileFile> file = ProfileFile::Load(path, error);
    if (!file) {
        return false;
    }
    ProjectFileData data;
    const auto read = [&](std::string_view name, std::string& into) {
        if (std::optional<std::string> value = file->Get(ProjectSection, name)) {
            into = std::move(*value);
        }
    };
    read(ProjectNameKey, data.projectName);
    read(CommentKey, data.comment);
    if (file->Get(ProjectSection, CommentFormatKey) == EscapedFormat) {
        data.comment = UnescapeComment(data.comment);
    }
    read(FlashFileKey, data.flashFile);
    read(EepromFileKey, data.eepromFile);
    const auto readRect = [&](std::string_view name) -> std::optional<WindowRect> {
        const std::optional<std::string> value = file->Get(ProjectSection, name);
        return value ? ParseWindowRect(*value) : std::nullopt;
    };
    data.flashWindow = readRect(FlashWindowKey);
    data.eepromWindow = readRect(EepromWindowKey);
    data.projectWindow = readRect(ProjectWindowKey);
    loaded = std::move(data);
    return true;
}

bool ReadProject(const std::filesystem::path& path, ProjectFileData& data, std::string& error) {
    ProjectFileData read;
    if (!ReadProjectFile(path, read, error)) {
        return false;
    }
    std::string ignored;
    const std::optional<ProfileFile> file = ProfileFile::Load(path, ignored);
    if (!file || file->Names(ProjectSection).empty()) {
        error = path.string() + ": not a project file (it has no [" + std::string(ProjectSection) +
                "] section)";
        return false;
    }
    data = std::move(read);
    return true;
}

bool ReadProjectForAutoProgram(const std::filesystem::path& path, ProjectFileData& data,
                               std::string& error) {
    ProjectFileData read;
    if (!ReadProject(path, read, error)) {
        return false;
    }
    if (read.flashFile.empty() && read.eepromFile.empty()) {
        error = path.string() + ": the project names no flash file and no EEPROM file";
        return false;
    }
    data = std::move(read);
    return true;
}

} // namespace zelk
