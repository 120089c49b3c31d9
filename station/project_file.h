// SPDX-License-Identifier: GPL-3.0-or-later
// The project file (".prj"): one section "zelk Project" holding the title, the comment, the
// two HEX file names and the rectangles of the project's three windows.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zelk {

inline constexpr std::string_view ProjectSection = "zelk Project";

// A window's outer rectangle in the coordinates of the area that holds the child windows.
struct WindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    friend bool operator==(const WindowRect&, const WindowRect&) = default;
};

// Exactly four comma-separated signed decimal integers; nullopt for anything else, so the
// caller leaves the window where it is.
std::optional<WindowRect> ParseWindowRect(std::string_view text);
// "left,top,right,bottom".
std::string FormatWindowRect(const WindowRect& rect);

struct ProjectFileData {
    std::string projectName = "Default";
    std::string comment = "None";
    std::string flashFile;
    std::string eepromFile;
    std::optional<WindowRect> flashWindow;
    std::optional<WindowRect> eepromWindow;
    std::optional<WindowRect> projectWindow;
};

// A comment on one line: a line break is stored as "\n", a carriage return as "\r" and a
// backslash as "\\". Unescaping turns those back and keeps any other backslash.
std::string EscapeComment(std::string_view text);
std::string UnescapeComment(std::string_view text);

// Writes the seven values in one atomic update, and after them a mark that the comment is
// escaped; every other line of an existing file is kept. An absent window is written as an
// empty value. False, with the file unchanged and the
// reason in `error`, when the file cannot be read or written.
bool SaveProjectFile(const std::filesystem::path& path, const ProjectFileData& data,
                     std::string& error);

// Reads a project; the comment is unescaped only in a file that carries the mark, so a file
// written before comments were escaped reads as it always did. A missing or unreadable file, or an
// absent value, gives the defaults
// ("Default", "None", empty file names, absent windows).
ProjectFileData LoadProjectFile(const std::filesystem::path& path);
// The same for a caller that must tell the user why a file gave no project: false, with a
// reason that names the file, when it is missing, cannot be read, is no regular file (a
// folder, a FIFO) or is too large; `data` is then unchanged.
bool ReadProjectFile(const std::filesystem::path& path, ProjectFileData& data, std::string& error);
// ReadProjectFile for a file the user opens as a project: false, with the reason, also when it
// has no "zelk Project" section (a HEX file named .prj).
bool ReadProject(const std::filesystem::path& path, ProjectFileData& data, std::string& error);
// ReadProject for a production run, which must not erase a chip for a file that is no
// project: false, with the reason, also when it names neither a flash nor an EEPROM file.
bool ReadProjectForAutoProgram(const std::filesystem::path& path, ProjectFileData& data,
                               std::string& error);

} // namespace zelk
