// SPDX-License-Identifier: GPL-3.0-or-later
// The recent-project list: up to four full paths, most recent first, kept in the settings
// store under "Recent File List" as "File1".."File4".
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zelk {

class SettingsStore;

class RecentProjectList {
public:
    static constexpr std::size_t Capacity = 4;

    // Completes a relative name against the current folder and puts it on top. A path already
    // listed (compared exactly, as Linux names files) moves to the top; beyond four the oldest
    // goes.
    void Add(const std::string& path);
    // Most recent first.
    const std::vector<std::string>& Entries() const { return entries; }

    void Load(const SettingsStore& store);
    // Replaces the stored list in one update; false when the store could not be written.
    bool Save(SettingsStore& store) const;

    // Text of the recent-project menu entry at `index` (0 for the most recent): "&" and the
    // entry number 1 to 4 as the keyboard mnemonic, a blank, then the file name alone when
    // the file lies in `currentFolder`, otherwise the path shortened to at most 30
    // characters (see ShortenPath). The text is meant for a Qt menu, so every "&" of the path
    // is doubled to "&&" and shows as a plain "&".
    static std::string MenuText(int index, const std::string& path,
                                const std::filesystem::path& currentFolder);

    // Shortens a path to at most `limit` characters (UTF-8 code points): the whole path when
    // it fits; otherwise its first folder, "...", and as many of its last components as fit
    // ("/home/.../boards/led.prj"); else "..." and as many last components as fit
    // (".../boards/led.prj"); and for a file name that is itself too long, its start
    // followed by "...".
    static std::string ShortenPath(const std::string& path, std::size_t limit);

private:
    std::vector<std::string> entries;
};

} // namespace zelk
