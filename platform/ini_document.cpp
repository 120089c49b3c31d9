// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ini_document.h"

#include "platform/input_file.h"

#include <cstdint>

namespace zelk {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerKey(std::string_view name) {
    std::string key(name);
    for (char& c : key) {
        c = AsciiLower(c);
    }
    return key;
}

// The value of a decimal digit, or with base 16 of a hexadecimal one in either case.
std::optional<unsigned> DigitValue(char c, unsigned base) {
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned>(c - '0');
    }
    if (base == 16 && c >= 'a' && c <= 'f') {
        return static_cast<unsigned>(c - 'a' + 10);
    }
    if (base == 16 && c >= 'A' && c <= 'F') {
        return static_cast<unsigned>(c - 'A' + 10);
    }
    return std::nullopt;
}

} // namespace

std::string_view TrimIniBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool SameIniName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

IniLine ClassifyIniLine(std::string_view line) {
    IniLine meaning;
    const std::string_view trimmed = TrimIniBlanks(line);
    if (trimmed.empty() || trimmed.front() == ';') {
        return meaning;
    }
    if (trimmed.front() == '[') {
        // The last "]" closes the name, so section names holding "]" read back whole.
        const std::size_t close = trimmed.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            meaning.kind = IniLine::Kind::Section;
            meaning.name = TrimIniBlanks(trimmed.substr(1, close - 1));
            return meaning;
        }
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return meaning;
    }
    const std::string_view name = TrimIniBlanks(line.substr(0, equals));
    if (name.empty()) {
        return meaning;
    }
    meaning.kind = IniLine::Kind::Value;
    meaning.name = name;
    meaning.value = TrimIniBlanks(line.substr(equals + 1));
    meaning.valueStart = equals + 1;
    return meaning;
}

std::vector<std::string> SplitIniLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.emplace_back(line);
    }
    return lines;
}

bool ReadIniLines(const std::filesystem::path& path, std::vector<std::string>& lines, bool& missing,
                  std::string& error) {
    std::string text;
    const InputFile::Status status = ReadInputFile(path, MaxIniFileSize, text, error);
    missing = status == InputFile::Status::Missing;
    if (status != InputFile::Status::Open) {
        return false;
    }
    lines = SplitIniLines(text);
    return true;
}

std::optional<int> TryParseProfileInt(std::string_view text) {
    text = TrimIniBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    // Unsigned arithmetic wraps to 32 bits like the integer reader it stands in for.
    std::uint32_t value = 0;
    std::size_t digits = 0;
    for (const char c : text) {
        const std::optional<unsigned> digit = DigitValue(c, base);
        if (!digit) {
            break;
        }
        value = value * base + *digit;
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<int>(value);
}

int ParseProfileInt(std::string_view text) {
    return TryParseProfileInt(text).value_or(0);
}

std::optional<std::int64_t> ParseExactIniNumber(std::string_view text) {
    text = TrimIniBlanks(text);
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) {
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        const std::optional<unsigned> digit = DigitValue(c, base);
        if (!digit) {
            return std::nullopt;
        }
        if (value > (static_cast<std::uint64_t>(INT64_MAX) - *digit) / base) {
            return std::nullopt;
        }
        value = value * base + *digit;
    }
    const auto signedValue = static_cast<std::int64_t>(value);
    return negative ? -signedValue : signedValue;
}

IniIndex::IniIndex(const std::vector<std::string>& lines) {
    Section* current = nullptr;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const IniLine meaning = ClassifyIniLine(lines[i]);
        if (meaning.kind == IniLine::Kind::Section) {
            const auto [place, added] = sections.try_emplace(LowerKey(meaning.name));
            current = &place->second;
            if (added) {
                current->headerLine = i;
                sectionOrder.emplace_back(meaning.name);
            }
        } else if (meaning.kind == IniLine::Kind::Value && current != nullptr) {
            current->firstEntry.try_emplace(LowerKey(meaning.name), current->entries.size());
            current->entries.push_back({std::string(meaning.name), std::string(meaning.value), i});
        }
    }
}

const IniIndex::Section* IniIndex::FindSection(std::string_view section) const {
    const auto found = sections.find(LowerKey(TrimIniBlanks(section)));
    return found == sections.end() ? nullptr : &found->second;
}

const IniIndex::Entry* IniIndex::Find(std::string_view section, std::string_view name) const {
    const Section* found = FindSection(section);
    if (found == nullptr) {
        return nullptr;
    }
    const auto entry = found->firstEntry.find(LowerKey(TrimIniBlanks(name)));
    return entry == found->firstEntry.end() ? nullptr : &found->entries[entry->second];
}

const std::vector<IniIndex::Entry>& IniIndex::Entries(std::string_view section) const {
    static const std::vector<Entry> none;
    const Section* found = FindSection(section);
    return found == nullptr ? none : found->entries;
}

std::vector<std::string> IniIndex::Names(std::string_view section) const {
    std::vector<std::string> names;
    const Section* found = FindSection(section);
    if (found == nullptr) {
        return names;
    }
    for (std::size_t i = 0; i < found->entries.size(); ++i) {
        // An entry is the first of its name exactly when the name's index points at it.
        if (found->firstEntry.at(LowerKey(found->entries[i].name)) == i) {
            names.push_back(found->entries[i].name);
        }
    }
    return names;
}

std::optional<std::size_t> IniIndex::HeaderLine(std::string_view section) const {
    const Section* found = FindSection(section);
    return found == nullptr ? std::nullopt : std::optional(found->headerLine);
}

} // namespace zelk
