// SPDX-License-Identifier: GPL-3.0-or-later
// The file system calls that change files, behind an interface so that a test can record
// them (and check, say, that the data reaches the disk before the rename that publishes it).
#pragma once

#include <filesystem>
#include <string_view>
#include <sys/types.h>

namespace zelk {

// Each call answers as the POSIX call of the same purpose does: -1 (or false) with errno set.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual int Open(const std::filesystem::path& path, int flags, mode_t mode) = 0;
    // Writes all of `bytes`, retrying short writes.
    virtual bool WriteAll(int fd, std::string_view bytes) = 0;
    virtual int Sync(int fd) = 0;
    virtual int ChangeOwner(int fd, uid_t owner, gid_t group) = 0;
    virtual int ChangeMode(int fd, mode_t mode) = 0;
    virtual int Close(int fd) = 0;
    virtual int Rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    virtual int Remove(const std::filesystem::path& path) = 0;
};

// The operating system's.
FileSystem& RealFileSystem();

} // namespace zelk
