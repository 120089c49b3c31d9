#include "platform/private_profile.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace zelk {
namespace {

// Larger files are no profile of ours; refusing them keeps a mistaken path (a disk image,
// a device) from eating memory.
constexpr off_t MaxProfileFileSize = 16 * 1024 * 1024;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
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

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// What one line means. Anything that is neither a section header nor a name=value line
// (blank lines, ";" comments, stray text) is kept as it is and otherwise ignored.
struct LineMeaning {
    enum class Kind { Other, Section, Value };
    Kind kind = Kind::Other;
    std::string_view name; // section name or value name, trimmed
    std::string_view value;
    std::size_t valueStart = 0; // offset of the first byte after "="
};

LineMeaning Classify(std::string_view line) {
    LineMeaning meaning;
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';') {
        return meaning;
    }
    if (trimmed.front() == '[') {
        // The last "]" closes the name, so section names holding "]" read back whole.
        const std::size_t close = trimmed.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            meaning.kind = LineMeaning::Kind::Section;
            meaning.name = Trim(trimmed.substr(1, close - 1));
            return meaning;
        }
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return meaning;
    }
    const std::string_view name = Trim(line.substr(0, equals));
    if (name.empty()) {
        return meaning;
    }
    meaning.kind = LineMeaning::Kind::Value;
    meaning.name = name;
    meaning.value = Trim(line.substr(equals + 1));
    meaning.valueStart = equals + 1;
    return meaning;
}

// Cuts to the value limit without splitting a UTF-8 sequence, so a cut title still shows.
std::string CutToLimit(std::string_view value) {
    if (value.size() <= ProfileValueLimit) {
        return std::string(value);
    }
    std::size_t end = ProfileValueLimit;
    for (int back = 0; back < 3 && end > 0; ++back) {
        if ((static_cast<unsigned char>(value[end]) & 0xC0) != 0x80) {
            break;
        }
        --end;
    }
    if ((static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) {
        end = ProfileValueLimit; // not UTF-8 after all: keep the plain byte count
    }
    return std::string(value.substr(0, end));
}

void AddUnique(std::vector<std::string>& names, std::string_view name) {
    for (const std::string& known : names) {
        if (SameName(known, name)) {
            return;
        }
    }
    names.emplace_back(name);
}

std::string ErrnoText(int error) {
    return std::system_category().message(error);
}

} // namespace

ProfileFile ProfileFile::Parse(std::string_view text) {
    ProfileFile file;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        file.lines.emplace_back(line);
    }
    return file;
}

std::optional<ProfileFile> ProfileFile::Load(const std::filesystem::path& path,
                                             std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return ProfileFile{};
        }
        error = path.string() + ": " + ErrnoText(errno);
        return std::nullopt;
    }
    struct stat info {};
    std::string problem;
    if (::fstat(fd, &info) != 0) {
        problem = ErrnoText(errno);
    } else if (!S_ISREG(info.st_mode)) {
        problem = "not a regular file";
    } else if (info.st_size > MaxProfileFileSize) {
        problem = "file too large";
    }
    if (!problem.empty()) {
        ::close(fd);
        error = path.string() + ": " + problem;
        return std::nullopt;
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = path.string() + ": " + ErrnoText(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0 || text.size() > static_cast<std::size_t>(MaxProfileFileSize)) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return Parse(text);
}

std::optional<std::string> ProfileFile::Get(std::string_view section, std::string_view name) const {
    const std::string_view wantedSection = Trim(section);
    const std::string_view wantedName = Trim(name);
    bool inSection = false;
    for (const std::string& line : lines) {
        const LineMeaning meaning = Classify(line);
        if (meaning.kind == LineMeaning::Kind::Section) {
            inSection = SameName(meaning.name, wantedSection);
        } else if (inSection && meaning.kind == LineMeaning::Kind::Value &&
                   SameName(meaning.name, wantedName)) {
            return CutToLimit(meaning.value);
        }
    }
    return std::nullopt;
}

std::vector<std::string> ProfileFile::Sections() const {
    std::vector<std::string> sections;
    for (const std::string& line : lines) {
        const LineMeaning meaning = Classify(line);
        if (meaning.kind == LineMeaning::Kind::Section) {
            AddUnique(sections, meaning.name);
        }
    }
    return sections;
}

std::vector<std::string> ProfileFile::Names(std::string_view section) const {
    const std::string_view wantedSection = Trim(section);
    std::vector<std::string> names;
    bool inSection = false;
    for (const std::string& line : lines) {
        const LineMeaning meaning = Classify(line);
        if (meaning.kind == LineMeaning::Kind::Section) {
            inSection = SameName(meaning.name, wantedSection);
        } else if (inSection && meaning.kind == LineMeaning::Kind::Value) {
            AddUnique(names, meaning.name);
        }
    }
    return names;
}

bool ProfileFile::Set(std::string_view section, std::string_view name, std::string_view value) {
    section = Trim(section);
    name = Trim(name);
    if (section.empty() || HasLineBreak(section) || name.empty() || HasLineBreak(name) ||
        name.find('=') != std::string_view::npos || name.front() == '[' || name.front() == ';') {
        return false;
    }
    value = value.substr(0, value.find_first_of("\r\n"));

    bool inSection = false;
    std::optional<std::size_t> insertAfter;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const LineMeaning meaning = Classify(lines[i]);
        if (meaning.kind == LineMeaning::Kind::Section) {
            inSection = SameName(meaning.name, section);
            if (inSection && !insertAfter) {
                insertAfter = i;
            }
        } else if (inSection && meaning.kind == LineMeaning::Kind::Value) {
            if (SameName(meaning.name, name)) {
                lines[i] = lines[i].substr(0, meaning.valueStart).append(value);
                return true;
            }
            insertAfter = i;
        }
    }
    std::string newLine = std::string(name).append("=").append(value);
    if (insertAfter) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*insertAfter + 1),
                     std::move(newLine));
        return true;
    }
    if (!lines.empty() && !Trim(lines.back()).empty()) {
        lines.emplace_back(); // a blank line between sections, as people write them
    }
    lines.push_back(std::string("[").append(section).append("]"));
    lines.push_back(std::move(newLine));
    return true;
}

void ProfileFile::RemoveSection(std::string_view section) {
    const std::string_view wantedSection = Trim(section);
    std::vector<std::string> kept;
    bool inSection = false;
    for (std::string& line : lines) {
        const LineMeaning meaning = Classify(line);
        if (meaning.kind == LineMeaning::Kind::Section) {
            inSection = SameName(meaning.name, wantedSection);
        }
        if (!inSection) {
            kept.push_back(std::move(line));
        }
    }
    lines = std::move(kept);
}

std::string ProfileFile::Serialize() const {
    std::string text;
    for (const std::string& line : lines) {
        text.append(line).append("\r\n");
    }
    return text;
}

std::optional<int> TryParseProfileInt(std::string_view text) {
    text = Trim(text);
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
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            break;
        }
        value = value * base + digit;
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

} // namespace zelk
