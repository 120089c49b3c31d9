// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_system.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelk {
namespace {

class PosixFileSystem final : public FileSystem {
public:
    int Open(const std::filesystem::path& path, int flags, mode_t mode) override {
        return ::open(path.c_str(), flags, mode);
    }
    bool WriteAll(int fd, std::string_view bytes) override {
        while (!bytes.empty()) {
            const ssize_t written = ::write(fd, bytes.data(), bytes.size());
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
        return true;
    }
    int Sync(int fd) override { return ::fsync(fd); }
    int ChangeOwner(int fd, uid_t owner, gid_t group) override {
        return ::fchown(fd, owner, group);
    }
    int ChangeMode(int fd, mode_t mode) override { return ::fchmod(fd, mode); }
    int Close(int fd) override { return ::close(fd); }
    int Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
        return ::rename(from.c_str(), to.c_str());
    }
    int Remove(const std::filesystem::path& path) override { return ::unlink(path.c_str()); }
};

} // namespace

FileSystem& RealFileSystem() {
    static PosixFileSystem fileSystem;
    return fileSystem;
}

} // namespace zelk
