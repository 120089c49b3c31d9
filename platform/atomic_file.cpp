#include "platform/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelk {
namespace {

std::string Describe(const char* what, const std::filesystem::path& path) {
    return std::string(what) + " " + path.string() + ": " + std::strerror(errno);
}

bool WriteAll(int fd, std::string_view bytes) {
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

// A new name beside `path`, hidden, unique within this process and, by the pid, across
// processes; O_EXCL catches what is left over from a crashed run.
int CreateTemporary(const std::filesystem::path& path, std::filesystem::path& temporary) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = path;
        temporary.replace_filename("." + path.filename().string() + ".tmp" +
                                   std::to_string(::getpid()) + "-" + std::to_string(counter++));
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Makes the rename itself durable; a folder that cannot be synced does not undo the write.
void SyncFolder(const std::filesystem::path& path) {
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// A symbolic link is replaced through, so a linked settings file stays linked.
std::filesystem::path ResolveLink(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec)) {
        return path;
    }
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : resolved;
}

} // namespace

bool ReplaceFileAtomically(const std::filesystem::path& requested, std::string_view bytes,
                           std::string& error) {
    const std::filesystem::path path = ResolveLink(requested);
    if (path.filename().empty()) {
        error = "no file name: " + path.string();
        return false;
    }
    std::filesystem::path temporary;
    const int fd = CreateTemporary(path, temporary);
    if (fd < 0) {
        error = Describe("cannot create a file beside", path);
        return false;
    }
    struct stat existing {};
    bool ok = WriteAll(fd, bytes);
    if (!ok) {
        error = Describe("cannot write", temporary);
    }
    if (ok && ::stat(path.c_str(), &existing) == 0 && ::fchmod(fd, existing.st_mode & 07777) != 0) {
        error = Describe("cannot set permissions of", temporary);
        ok = false;
    }
    if (ok && ::fsync(fd) != 0) {
        error = Describe("cannot flush", temporary);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        error = Describe("cannot close", temporary);
        ok = false;
    }
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = Describe("cannot replace", path);
        ok = false;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncFolder(path);
    return true;
}

} // namespace zelk
