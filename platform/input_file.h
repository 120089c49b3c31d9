// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a file the user named: only a regular file, only up to a size the caller sets, in
// pieces, so that a device, a pipe or a huge file can neither block nor exhaust memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zelk {

class InputFile {
public:
    enum class Status { Open, Missing, Refused };

    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens `path` for reading. Missing when nothing is there (error says so too); Refused,
    // with the reason, for a file that cannot be read, is no regular file, or holds more than
    // `maxBytes` bytes.
    Status Open(const std::filesystem::path& path, std::uint64_t maxBytes, std::string& error);
    // The next piece of the file: empty at its end. False, with the reason, when reading fails
    // or the file has grown past the limit since it was opened.
    bool ReadPiece(std::string_view& piece, std::string& error);

private:
    int fd = -1;
    std::uint64_t limit = 0;
    std::uint64_t total = 0;
    std::vector<char> buffer;
};

// The whole file at `path`, read as InputFile does.
InputFile::Status ReadInputFile(const std::filesystem::path& path, std::uint64_t maxBytes,
                                std::string& text, std::string& error);

// "64 MiB", "16 KiB", "100 bytes": how the limits are named in messages.
std::string DescribeSize(std::uint64_t bytes);

} // namespace zelk
