// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/private_profile.h"

#include <utility>

namespace zelk {
namespace {

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

ProfileFile::ProfileFile(std::vector<std::string> fileLines)
    : lines(std::move(fileLines)), index(lines) {}

ProfileFile ProfileFile::Parse(std::string_view text) {
    return ProfileFile(SplitIniLines(text));
}

std::optional<ProfileFile> ProfileFile::Load(const std::filesystem::path& path,
                                             std::string& error) {
    std::vector<std::string> fileLines;
    bool missing = false;
    std::string reason;
    if (ReadIniLines(path, fileLines, missing, reason)) {
        for (std::size_t i = 0; i < fileLines.size(); ++i) {
            const IniLine line = ClassifyIniLine(fileLines[i]);
            if (line.kind == IniLine::Kind::Value && line.value.size() > ProfileValueLimit) {
                error = path.string() + ", line " + std::to_string(i + 1) + ": the value of " +
                        std::string(line.name) + " is " + std::to_string(line.value.size()) +
                        " characters long; at most " + std::to_string(ProfileValueLimit) +
                        " are read";
                return std::nullopt;
            }
        }
        return ProfileFile(std::move(fileLines));
    }
    if (missing) {
        return ProfileFile({});
    }
    error = path.string() + ": " + reason;
    return std::nullopt;
}

std::optional<std::string> ProfileFile::Get(std::string_view section, std::string_view name) const {
    const IniIndex::Entry* entry = index.Find(section, name);
    return entry == nullptr ? std::nullopt : std::optional(entry->value);
}

std::vector<std::string> ProfileFile::Sections() const {
    return index.Sections();
}

std::vector<std::string> ProfileFile::Names(std::string_view section) const {
    return index.Names(section);
}

bool ProfileFile::Set(std::string_view section, std::string_view name, std::string_view value) {
    section = TrimIniBlanks(section);
    name = TrimIniBlanks(name);
    if (section.empty() || HasLineBreak(section) || name.empty() || HasLineBreak(name) ||
        name.find('=') != std::string_view::npos || name.front() == '[' || name.front() == ';') {
        return false;
    }
    value = value.substr(0, value.find_first_of("\r\n"));
    if (TrimIniBlanks(value).size() > ProfileValueLimit) {
        return false;
    }

    if (const IniIndex::Entry* entry = index.Find(section, name)) {
        std::string& line = lines[entry->line];
        line = line.substr(0, ClassifyIniLine(line).valueStart).append(value);
        Reindex();
        return true;
    }
    std::string newLine = std::string(name).append("=").append(value);
    if (const std::optional<std::size_t> header = index.HeaderLine(section)) {
        const std::vector<IniIndex::Entry>& entries = index.Entries(section);
        const std::size_t after = entries.empty() ? *header : entries.back().line;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(after + 1), std::move(newLine));
        Reindex();
        return true;
    }
    if (!lines.empty() && !TrimIniBlanks(lines.back()).empty()) {
        lines.emplace_back(); // a blank line between sections, as people write them
    }
    lines.push_back(std::string("[").append(section).append("]"));
    lines.push_back(std::move(newLine));
    Reindex();
    return true;
}

void ProfileFile::RemoveSection(std::string_view section) {
    const std::string_view wantedSection = TrimIniBlanks(section);
    std::vector<std::string> kept;
    bool inSection = false;
    for (std::string& line : lines) {
        const IniLine meaning = ClassifyIniLine(line);
        if (meaning.kind == IniLine::Kind::Section) {
            inSection = SameIniName(meaning.name, wantedSection);
        }
        if (!inSection) {
            kept.push_back(std::move(line));
        }
    }
    lines = std::move(kept);
    Reindex();
}

std::string ProfileFile::Serialize() const {
    std::string text;
    for (const std::string& line : lines) {
        text.append(line).append("\r\n");
    }
    return text;
}

} // namespace zelk
