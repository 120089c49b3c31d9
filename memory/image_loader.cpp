// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/elf_image.h"
#include "memory/image_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelk {
namespace {

constexpr std::string_view ElfMagic = "\x7F"
                                      "ELF";

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string LowercaseExtension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

// Reads up to MaxInputSize bytes; more is an error, so that nothing unbounded is held. A
// buffer one byte larger than `expectedSize` lets a file of that size be read in one go and
// its end seen at once.
bool ReadBounded(int fd, std::size_t expectedSize, std::string& contents, std::string& reason) {
    std::size_t length = 0;
    contents.resize(std::min(std::max<std::size_t>(expectedSize + 1, 65536), MaxInputSize + 1));
    for (;;) {
        if (length == contents.size()) {
            contents.resize(std::min(2 * length, MaxInputSize + 1));
        }
        const ssize_t got = ::read(fd, contents.data() + length, contents.size() - length);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            reason = std::string("cannot read: ") + std::strerror(errno);
            return false;
        }
        if (got == 0) {
            contents.resize(length);
            return true;
        }
        length += static_cast<std::size_t>(got);
        if (length > MaxInputSize) {
            reason = "larger than 64 MiB";
            return false;
        }
    }
}

// A file the user named, open for reading: only a regular file of at most MaxInputSize bytes.
class InputFileDescriptor {
public:
    InputFileDescriptor(const std::filesystem::path& path, std::string& reason) {
        // Not blocking, so that naming a FIFO is refused below instead of waiting for a writer.
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        struct stat status {};
        if (fd < 0 || ::fstat(fd, &status) != 0) {
            reason = std::string("cannot open file: ") + std::strerror(errno);
        } else if (!S_ISREG(status.st_mode)) {
            reason = "not a regular file";
        } else if (static_cast<std::uint64_t>(status.st_size) > MaxInputSize) {
            reason = "larger than 64 MiB";
        } else {
            size = static_cast<std::size_t>(status.st_size);
            return;
        }
        Close();
    }
    ~InputFileDescriptor() { Close(); }
    InputFileDescriptor(const InputFileDescriptor&) = delete;
    InputFileDescriptor& operator=(const InputFileDescriptor&) = delete;

    bool IsOpen() const { return fd >= 0; }
    int Descriptor() const { return fd; }
    std::size_t Size() const { return size; }

private:
    void Close() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
    int fd = -1;
    std::size_t size = 0;
};

enum class Contents { Empty, Elf, IntelRecords, SRecords, Unknown };

Contents KindOfContents(std::string_view contents) {
    if (contents.starts_with(ElfMagic)) {
        return Contents::Elf;
    }
    const std::size_t first = contents.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return Contents::Empty;
    }
    const auto next =
        static_cast<unsigned char>(first + 1 < contents.size() ? contents[first + 1] : '\0');
    if (contents[first] == ':' && std::isxdigit(next)) {
        return Contents::IntelRecords;
    }
    if (contents[first] == 'S' && std::isdigit(next)) {
        return Contents::SRecords;
    }
    return Contents::Unknown;
}

// The extension says what the user expects; contents that plainly are something else point
// to a wrong or misnamed file, which on a production line must stop the job, not be guessed.
std::optional<ImageFormat> ChooseFormat(const std::filesystem::path& name,
                                        std::string_view contents, std::string& reason) {
    const Contents kind = KindOfContents(contents);
    const auto named = FormatOfExtension(name);
    if (named && *named != ImageFormat::Elf && kind == Contents::Elf) {
        reason = "named \"" + name.extension().string() + "\" but holds an ELF file";
        return std::nullopt;
    }
    if (named == ImageFormat::Elf && kind != Contents::Elf) {
        reason = "not an ELF file";
        return std::nullopt;
    }
    // Records of either kind are read by one reader, which also refuses what is no record.
    if (named) {
        return named;
    }
    switch (kind) {
    case Contents::Elf:
        return ImageFormat::Elf;
    case Contents::IntelRecords:
        return ImageFormat::IntelHex;
    case Contents::SRecords:
        return ImageFormat::SRecord;
    case Contents::Empty:
        reason = "no data";
        return std::nullopt;
    case Contents::Unknown:
        break;
    }
    reason = "cannot tell the format from the contents: not Intel HEX, S-records or ELF (name a "
             "raw binary .bin)";
    return std::nullopt;
}

std::string ReadBinary(std::string_view contents, std::span<std::uint8_t> image,
                       std::vector<AddressRange>& defined) {
    if (contents.size() > image.size()) {
        return "binary of " + Hex(contents.size()) + " bytes is larger than the image (" +
               Hex(image.size()) + " bytes)";
    }
    std::copy(contents.begin(), contents.end(), image.begin());
    if (!contents.empty()) {
        defined.push_back({0, contents.size()});
    }
    return {};
}

std::vector<AddressRange> RangesOf(const std::vector<bool>& defined) {
    std::vector<AddressRange> ranges;
    std::size_t i = 0;
    while (i < defined.size()) {
        const auto begin =
            std::find(defined.begin() + static_cast<std::ptrdiff_t>(i), defined.end(), true);
        if (begin == defined.end()) {
            break;
        }
        const auto end = std::find(begin, defined.end(), false);
        ranges.push_back({static_cast<std::size_t>(begin - defined.begin()),
                          static_cast<std::size_t>(end - defined.begin())});
        i = ranges.back().end;
    }
    return ranges;
}

// The image a load fills: `image` with its first `shownLength` bytes erased.
std::vector<std::uint8_t> ErasedCopy(std::span<const std::uint8_t> image, std::size_t shownLength) {
    std::vector<std::uint8_t> copy(image.begin(), image.end());
    std::fill_n(copy.begin(), std::min(shownLength, copy.size()), ErasedByte);
    return copy;
}

// Stores the file's bytes over `image`, which holds part of them on failure.
bool LoadContentsOnto(std::string& contents, const std::filesystem::path& name, MemoryKind memory,
                      std::span<std::uint8_t> image, LoadedImage& loaded, HexFileError& error) {
    std::string reason;
    const auto format = ChooseFormat(name, contents, reason);
    if (!format) {
        error = {0, std::move(reason)};
        return false;
    }
    LoadedImage result;
    result.format = *format;
    switch (*format) {
    case ImageFormat::IntelHex:
    case ImageFormat::SRecord: {
        HexFileReader reader;
        reader.SetBuffer(image);
        if (!reader.ReadText(contents, error)) {
            return false;
        }
        result.defined = reader.Defined().Ranges();
        break;
    }
    case ImageFormat::Binary:
        reason = ReadBinary(contents, image, result.defined);
        break;
    case ImageFormat::Elf: {
        std::vector<bool> taken(image.size(), false);
        reason =
            ReadElfImage(contents, memory, image, taken, result.otherMemories, result.builtFor);
        result.defined = RangesOf(taken);
        break;
    }
    }
    if (!reason.empty()) {
        error = {0, std::move(reason)};
        return false;
    }
    loaded = std::move(result);
    return true;
}

} // namespace

std::optional<ImageFormat> FormatOfExtension(const std::filesystem::path& path) {
    const std::string extension = LowercaseExtension(path);
    if (extension == ".hex" || extension == ".ihx" || extension == ".ihex" || extension == ".eep") {
        return ImageFormat::IntelHex;
    }
    if (extension == ".srec" || extension == ".s19" || extension == ".s28" || extension == ".s37" ||
        extension == ".mot") {
        return ImageFormat::SRecord;
    }
    if (extension == ".bin") {
        return ImageFormat::Binary;
    }
    if (extension == ".elf") {
        return ImageFormat::Elf;
    }
    return std::nullopt;
}

bool LoadImageAnyFormat(const std::filesystem::path& path, MemoryKind memory,
                        std::span<std::uint8_t> image, std::size_t shownLength, LoadedImage& loaded,
                        HexFileError& error) {
    std::vector<std::uint8_t> copy = ErasedCopy(image, shownLength);
    LoadedImage result;
    if (!LoadScratchImage(path, memory, copy, result, error)) {
        return false;
    }
    std::copy(copy.begin(), copy.end(), image.begin());
    loaded = std::move(result);
    return true;
}

bool LoadScratchImage(const std::filesystem::path& path, MemoryKind memory,
                      std::span<std::uint8_t> image, LoadedImage& loaded, HexFileError& error) {
    std::string contents;
    std::string reason;
    if (path == StandardStreamName) {
        if (!ReadBounded(STDIN_FILENO, 0, contents, reason)) {
            error = {0, std::move(reason)};
            return false;
        }
        return LoadContentsOnto(contents, path, memory, image, loaded, error);
    }
    const InputFileDescriptor file(path, reason);
    if (!file.IsOpen()) {
        error = {0, std::move(reason)};
        return false;
    }
    // A file named as records is read a piece at a time; its first bytes only show whether
    // it is an ELF file under a wrong name.
    if (const auto named = FormatOfExtension(path);
        named == ImageFormat::IntelHex || named == ImageFormat::SRecord) {
        char start[ElfMagic.size()] = {};
        const ssize_t got = ::pread(file.Descriptor(), start, sizeof start, 0);
        if (!ChooseFormat(path, {start, got > 0 ? static_cast<std::size_t>(got) : 0}, reason)) {
            error = {0, std::move(reason)};
            return false;
        }
        HexFileReader reader;
        reader.SetBuffer(image);
        if (!reader.ReadFile(file.Descriptor(), error)) {
            return false;
        }
        loaded = {};
        loaded.format = *named;
        loaded.defined = reader.Defined().Ranges();
        return true;
    }
    if (!ReadBounded(file.Descriptor(), file.Size(), contents, reason)) {
        error = {0, std::move(reason)};
        return false;
    }
    return LoadContentsOnto(contents, path, memory, image, loaded, error);
}

bool LoadImageForChip(const std::filesystem::path& path, MemoryKind memory,
                      std::span<std::uint8_t> image, std::size_t shownLength, LoadedImage& loaded,
                      HexFileError& error) {
    std::vector<std::uint8_t> copy = ErasedCopy(image, shownLength);
    LoadedImage result;
    if (!LoadScratchImage(path, memory, copy, result, error)) {
        return false;
    }
    if (result.DefinesNothing()) {
        error = {0, std::string("holds no ") + (memory == MemoryKind::Flash ? "flash" : "EEPROM") +
                        " data"};
        return false;
    }
    std::copy(copy.begin(), copy.end(), image.begin());
    loaded = std::move(result);
    return true;
}

bool LoadImageContents(std::string contents, const std::filesystem::path& name, MemoryKind memory,
                       std::span<std::uint8_t> image, std::size_t shownLength, LoadedImage& loaded,
                       HexFileError& error) {
    std::vector<std::uint8_t> copy = ErasedCopy(image, shownLength);
    LoadedImage result;
    if (!LoadContentsOnto(contents, name, memory, copy, result, error)) {
        return false;
    }
    std::copy(copy.begin(), copy.end(), image.begin());
    loaded = std::move(result);
    return true;
}
std::optional<std::uint32_t> BeyondDevice(const std::vector<AddressRange>& defined,
                                          std::uint32_t length) {
    for (const AddressRange& range : defined) {
        if (range.end > length) {
            return static_cast<std::uint32_t>(std::max<std::size_t>(range.begin, length));
        }
    }
    return std::nullopt;
}

std::string BeyondMemoryMessage(const std::string& file, std::uint32_t address,
                                const std::string& device, std::uint32_t length) {
    char text[96];
    std::snprintf(text, sizeof text, " holds data at %08X, beyond the %.40s's %u bytes.",
                  static_cast<unsigned>(address), device.c_str(), static_cast<unsigned>(length));
    return file + text;
}

std::string LoadFailureText(const std::filesystem::path& path, const HexFileError& error) {
    const std::string name = path == StandardStreamName ? "standard input" : path.string();
    return name + (error.line > 0 ? ":" + std::to_string(error.line) : "") + ": " + error.reason;
}

} // namespace zelk
