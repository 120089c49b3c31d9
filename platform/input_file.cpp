// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/input_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelk {

InputFile::~InputFile() {
    if (fd >= 0) {
        ::close(fd);
    }
}

InputFile::Status InputFile::Open(const std::filesystem::path& path, std::uint64_t maxBytes,
                                  std::string& error) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused just below.
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int cause = errno;
        error = std::strerror(cause);
        return cause == ENOENT ? Status::Missing : Status::Refused;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = std::strerror(errno);
    } else if (S_ISDIR(info.st_mode)) {
        error = "is a folder, not a file";
    } else if (!S_ISREG(info.st_mode)) {
        error = "is not a regular file";
    } else if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
        error = "is larger than " + DescribeSize(maxBytes);
    } else {
        limit = maxBytes;
        buffer.resize(65536);
        return Status::Open;
    }
    ::close(fd);
    fd = -1;
    return Status::Refused;
}

bool InputFile::ReadPiece(std::string_view& piece, std::string& error) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = std::strerror(errno);
            return false;
        }
        total += static_cast<std::uint64_t>(got);
        if (total > limit) {
            error = "is larger than " + DescribeSize(limit);
            return false;
        }
        piece = std::string_view(buffer.data(), static_cast<std::size_t>(got));
        return true;
    }
}

InputFile::Status ReadInputFile(const std::filesystem::path& path, std::uint64_t maxBytes,
                                std::string& text, std::string& error) {
    InputFile file;
    const InputFile::Status status = file.Open(path, maxBytes, error);
    if (status != InputFile::Status::Open) {
        return status;
    }
    text.clear();
    std::string_view piece;
    do {
        if (!file.ReadPiece(piece, error)) {
            return InputFile::Status::Refused;
        }
        text.append(piece);
    } while (!piece.empty());
    return InputFile::Status::Open;
}

std::string DescribeSize(std::uint64_t bytes) {
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0) {
        return std::to_string(bytes / (1024 * 1024)) + " MiB";
    }
    if (bytes >= 1024 && bytes % 1024 == 0) {
        return std::to_string(bytes / 1024) + " KiB";
    }
    return std::to_string(bytes) + " bytes";
}

} // namespace zelk
