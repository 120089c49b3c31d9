// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/image_file.h"
#include "platform/atomic_file.h"

#include <cerrno>
#include <cstring>
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
                         std::span<const std::uint8_t> bytes, std::string& error,
                         const std::vector<AddressRange>* defined) {
    const auto format = OutputFormatFor(path, requested, error);
    if (!format) {
        return false;
    }
    // A binary is written from the image itself; records are made first.
    std::string records;
    std::string_view contents;
    if (*format == ImageFormat::Binary) {
        contents = BinaryText(bytes, defined);
    } else {
        records = ImageText(*format, bytes, defined);
        contents = records;
    }
    if (path == StandardStreamName) {
        return WriteToStandardOutput(contents, error);
    }
    return ReplaceFileAtomically(path, contents, error);
}

} // namespace zelk
