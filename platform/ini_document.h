// SPDX-License-Identifier: GPL-3.0-or-later
// INI text as private-profile files have it: "[Section]" header lines and name=value lines,
// section and value names compared without regard to (ASCII) case, every other line (blank,
// ";" comment, stray text) kept and ignored. One parser for zelk.ini, project files and the
// settings store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zelk {

// Larger files are no INI file of ours; refusing them keeps a mistaken path (a disk image, a
// device) from eating memory.
inline constexpr std::uint64_t MaxIniFileSize = 16 * 1024 * 1024;

// Without the blanks (space, tab, CR, VT, FF) at both ends.
std::string_view TrimIniBlanks(std::string_view text);
bool SameIniName(std::string_view a, std::string_view b);

// What one line means.
struct IniLine {
    enum class Kind { Other, Section, Value };
    Kind kind = Kind::Other;
    std::string_view name;      // section name or value name, trimmed
    std::string_view value;     // trimmed
    std::size_t valueStart = 0; // offset of the first byte after "="
};
IniLine ClassifyIniLine(std::string_view line);

// Splits text at LF and CR LF line ends.
std::vector<std::string> SplitIniLines(std::string_view text);

// Reads the lines of an INI file (a regular file of at most MaxIniFileSize bytes). False,
// with the reason, when it cannot be read; `missing` tells that nothing is there.
bool ReadIniLines(const std::filesystem::path& path, std::vector<std::string>& lines, bool& missing,
                  std::string& error);

// Profile integer reading: decimal, or hexadecimal after "0x", each with an optional sign;
// the leading digits count ("12abc" is 12); wider numbers wrap to 32 bits. Nullopt when the
// text does not begin with a number.
std::optional<int> TryParseProfileInt(std::string_view text);
// The same, with 0 for text that is no number.
int ParseProfileInt(std::string_view text);

// Strict reading for values that must be exact: the whole text (blanks around it aside) is
// one decimal number, or hexadecimal after "0x", with an optional "-"; nullopt for anything
// else, and for numbers beyond 64 bits, instead of a wrapped value.
std::optional<std::int64_t> ParseExactIniNumber(std::string_view text);

// An index of the sections and values of a set of lines, built once, so that a file of
// thousands of sections answers each question without reading it again.
class IniIndex {
public:
    struct Entry {
        std::string name; // as written
        std::string value;
        std::size_t line = 0; // position in the lines
    };

    IniIndex() = default;
    explicit IniIndex(const std::vector<std::string>& lines);

    // The first value of that name in the section (all blocks of a section headed more than
    // once count as one), or null.
    const Entry* Find(std::string_view section, std::string_view name) const;
    // Every value line of the section, in file order, names repeated or differing in case
    // included.
    const std::vector<Entry>& Entries(std::string_view section) const;
    // Each value name of the section once, in file order, as first written.
    std::vector<std::string> Names(std::string_view section) const;
    // Each section name once, in file order, as first written.
    const std::vector<std::string>& Sections() const { return sectionOrder; }
    // The line of the section's first header, or nullopt when there is none.
    std::optional<std::size_t> HeaderLine(std::string_view section) const;

private:
    struct Section {
        std::size_t headerLine = 0;
        std::vector<Entry> entries;
        std::unordered_map<std::string, std::size_t> firstEntry; // by lower-case name
    };
    const Section* FindSection(std::string_view section) const;

    std::unordered_map<std::string, Section> sections; // by lower-case name
    std::vector<std::string> sectionOrder;
};

} // namespace zelk
