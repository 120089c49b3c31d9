// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/recent_projects.h"

#include "platform/settings_store.h"

#include <algorithm>
#include <system_error>

namespace zelk {
namespace {

constexpr std::string_view RecentSection = "Recent File List";

std::string FolderText(const std::filesystem::path& folder) {
    std::filesystem::path normal = folder.lexically_normal();
    if (!normal.has_filename() && normal.has_relative_path()) {
        normal = normal.parent_path(); // "/a/b/" names the same folder as "/a/b"
    }
    return normal.string();
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::size_t CharacterCount(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuationByte(c); }));
}

// The first `count` characters of `text`, never splitting a UTF-8 sequence.
std::string_view FirstCharacters(std::string_view text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t seen = 0; end < text.size(); ++end) {
        if (!IsContinuationByte(text[end]) && seen++ == count) {
            break;
        }
    }
    return text.substr(0, end);
}

std::string EscapeAmpersands(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        escaped += c;
        if (c == '&') {
            escaped += '&';
        }
    }
    return escaped;
}

} // namespace

void RecentProjectList::Add(const std::string& path) {
    if (path.empty()) {
        return;
    }
    std::filesystem::path full = path;
    if (full.is_relative()) {
        std::error_code ec;
        const std::filesystem::path current = std::filesystem::current_path(ec);
        if (!ec) {
            full = current / full;
        }
    }
    const std::string entry = full.lexically_normal().string();
    // Linux file names are case-sensitive: Board.prj and board.prj are two files.
    std::erase(entries, entry);
    entries.insert(entries.begin(), entry);
    if (entries.size() > Capacity) {
        entries.resize(Capacity);
    }
}

void RecentProjectList::Load(const SettingsStore& store) {
    entries.clear();
    for (std::size_t number = Capacity; number >= 1; --number) {
        const std::string path =
            store.ReadString(RecentSection, "File" + std::to_string(number), "");
        if (!path.empty()) {
            Add(path); // oldest first, so File1 ends on top
        }
    }
}

bool RecentProjectList::Save(SettingsStore& store) const {
    std::vector<std::pair<std::string, std::string>> values;
    for (const std::string& entry : entries) {
        values.emplace_back("File" + std::to_string(values.size() + 1), entry);
    }
    return store.ReplaceSection(RecentSection, values);
}

std::string RecentProjectList::MenuText(int index, const std::string& path,
                                        const std::filesystem::path& currentFolder) {
    constexpr std::size_t MaxShownPath = 30;
    const std::filesystem::path file = path;
    const bool inCurrentFolder =
        !currentFolder.empty() && FolderText(file.parent_path()) == FolderText(currentFolder);
    const std::string shown =
        inCurrentFolder ? file.filename().string() : ShortenPath(path, MaxShownPath);
    return "&" + std::to_string(index + 1) + " " + EscapeAmpersands(shown);
}

std::string RecentProjectList::ShortenPath(const std::string& path, std::size_t limit) {
    if (CharacterCount(path) <= limit) {
        return path;
    }
    std::vector<std::string_view> parts;
    std::string_view rest = path;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (!part.empty()) {
            parts.push_back(part);
        }
        rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
    }
    if (parts.empty()) {
        return std::string(FirstCharacters(path, limit));
    }
    const std::string_view fileName = parts.back();

    // `prefix` + "/" + as many trailing components, from `firstTailPart` on, as fit. The
    // tail leaves out at least one component, or the "..." would hide nothing.
    const auto withTail = [&](const std::string& prefix, std::size_t firstTailPart) {
        std::string best;
        std::string tail(fileName);
        for (std::size_t i = parts.size() - 1; i >= firstTailPart; --i) {
            if (i < parts.size() - 1) {
                tail = std::string(parts[i]) + "/" + tail;
            }
            const std::string candidate = prefix + "/" + tail;
            if (CharacterCount(candidate) > limit) {
                break;
            }
            best = candidate;
        }
        return best;
    };
    if (parts.size() >= 3) {
        const std::string start = (path.front() == '/' ? "/" : "") + std::string(parts.front());
        if (std::string shown = withTail(start + "/...", 2); !shown.empty()) {
            return shown;
        }
    }
    if (std::string shown = withTail("...", 1); !shown.empty()) {
        return shown;
    }
    return std::string(FirstCharacters(fileName, limit > 3 ? limit - 3 : 0)) + "...";
}

} // namespace zelk
