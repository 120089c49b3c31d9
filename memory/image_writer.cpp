#include "memory/image_file.h"
#include "platform/atomic_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace zelk {
namespace {

std::string NameOf(ImageFormat format) {
    switch (format) {
    case ImageFormat::IntelHex:
        return "hex";
    case ImageFormat::SRecord:
        return "srec";
    case ImageFormat::Binary:
        return "bin";
    case ImageFormat::Elf:
        break;
    }
    return "elf";
}

// A folder of its own under the temporary folder, removed with its contents.
class PrivateFolder {
public:
    PrivateFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zelk-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path = pattern;
        }
    }
    ~PrivateFolder() {
        std::error_code ignored;
        if (!path.empty()) {
            std::filesystem::remove_all(path, ignored);
        }
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const std::filesystem::path& Path() const { return path; }

private:
    std::filesystem::path path;
};

// The bytes of the file WriteImageFile writes for `format`. It alone builds HEX and S-record
// text, and it writes files only, so the text passes through a file of a name it knows.
bool FileContents(ImageFormat format, std::span<const std::uint8_t> bytes, std::string& contents,
                  std::string& error) {
    if (format == ImageFormat::Binary) {
        contents.assign(bytes.begin(), bytes.end());
        return true;
    }
    const PrivateFolder folder;
    if (folder.Path().empty()) {
        error = std::string("cannot make a temporary folder: ") + std::strerror(errno);
        return false;
    }
    const auto file = folder.Path() / ("image." + NameOf(format));
    if (!WriteImageFile(file, bytes, error)) {
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read back the temporary file";
        return false;
    }
    return true;
}

bool WriteToStandardOutput(std::string_view bytes, std::string& error) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            error = std::string("cannot write to standard output: ") + std::strerror(errno);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

std::optional<ImageFormat> OutputFormatNamed(std::string_view name) {
    if (name == "hex") {
        return ImageFormat::IntelHex;
    }
    if (name == "srec") {
        return ImageFormat::SRecord;
    }
    if (name == "bin") {
        return ImageFormat::Binary;
    }
    return std::nullopt;
}

std::optional<ImageFormat> OutputFormatFor(const std::filesystem::path& path,
                                           std::optional<ImageFormat> requested,
                                           std::string& error) {
    const bool toStandardOutput = path == StandardStreamName;
    const auto named = toStandardOutput ? std::nullopt : FormatOfExtension(path);
    if (requested && named && *requested != *named) {
        error = "name ends in \"" + path.extension().string() + "\" but the output format is " +
                NameOf(*requested);
        return std::nullopt;
    }
    const auto format = requested ? requested : named;
    if (!format) {
        error = toStandardOutput ? "an output format must be given (hex, srec or bin)"
                                 : "unknown file type \"" + path.extension().string() +
                                       "\" (use .hex, .srec or .bin, or give an output format)";
        return std::nullopt;
    }
    if (*format == ImageFormat::Elf) {
        error = "zelk does not write ELF files (use .hex, .srec or .bin)";
        return std::nullopt;
    }
    return format;
}

bool WriteImageAnyFormat(const std::filesystem::path& path, std::optional<ImageFormat> requested,
                         std::span<const std::uint8_t> bytes, std::string& error) {
    const auto format = OutputFormatFor(path, requested, error);
    if (!format) {
        return false;
    }
    std::string contents;
    if (!FileContents(*format, bytes, contents, error)) {
        return false;
    }
    if (path == StandardStreamName) {
        return WriteToStandardOutput(contents, error);
    }
    return ReplaceFileAtomically(path, contents, error);
}

} // namespace zelk
