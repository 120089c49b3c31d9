// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the profile parser. The first line of the input names a section,
// a value name and a value to write; the rest is the file. Checks that every value read
// survives a write and a fresh parse, and that a write reads back as written.
#include "platform/private_profile.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

using Snapshot = std::map<std::pair<std::string, std::string>, std::string>;

// Keys are lower-cased ASCII, as the parser compares them.
std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

Snapshot Read(const zelk::ProfileFile& file) {
    Snapshot values;
    for (const std::string& section : file.Sections()) {
        for (const std::string& name : file.Names(section)) {
            const std::optional<std::string> value = file.Get(section, name);
            Check(value.has_value());
            values[{Lower(section), Lower(name)}] = *value;
        }
    }
    return values;
}

std::string_view NextField(std::string_view& text) {
    const std::size_t tab = text.find('\t');
    const std::string_view field = text.substr(0, tab);
    text.remove_prefix(tab == std::string_view::npos ? text.size() : tab + 1);
    return field;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t lineEnd = input.find('\n');
    std::string_view command = input.substr(0, lineEnd);
    const std::string_view text =
        lineEnd == std::string_view::npos ? std::string_view() : input.substr(lineEnd + 1);
    const std::string_view section = NextField(command);
    const std::string_view name = NextField(command);
    const std::string_view value = command;

    zelk::ProfileFile file = zelk::ProfileFile::Parse(text);
    const Snapshot before = Read(file);
    Check(Read(zelk::ProfileFile::Parse(file.Serialize())) == before);

    const std::optional<std::string> previous = file.Get(section, name);
    if (file.Set(section, name, value)) {
        Check(file.Get(section, name).has_value());
        Check(file.Get(section, name)->size() <= zelk::ProfileValueLimit);
        const std::string again = file.Serialize();
        const zelk::ProfileFile reparsed = zelk::ProfileFile::Parse(again);
        Check(Read(reparsed) == Read(file));
        Check(reparsed.Serialize() == again);
    } else {
        Check(file.Get(section, name) == previous);
        Check(Read(file) == before);
    }

    file.RemoveSection(section);
    Check(!file.Get(section, name).has_value());
    return 0;
}
