// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelk {
namespace {

std::string Describe(const char* what, const std::filesystem::path& path) {
    return std::string(what) + " " + path.string() + ": " + std::strerror(errno);
}

std::string TemporaryPrefix(const std::filesystem::path& path) {
    return "." + path.filename().string() + ".tmp";
}

// A new name beside `path`, hidden, unique within this process and, by the pid, across
// processes; O_EXCL never opens a file that is already there.
int CreateTemporary(FileSystem& fileSystem, const std::filesystem::path& path, mode_t mode,
                    std::filesystem::path& temporary) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = path;
        temporary.replace_filename(TemporaryPrefix(path) + std::to_string(::getpid()) + "-" +
                                   std::to_string(counter++));
        const int fd =
            fileSystem.Open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

bool IsDeadProcess(std::string_view pidText) {
    int pid = 0;
    const auto [end, problem] =
        std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid);
    return problem == std::errc{} && end == pidText.data() + pidText.size() && pid > 0 &&
           pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Removes the temporary files of `path` whose writer has died: ".NAME.tmpPID-N" with PID no
// longer running. A pid that has been reused keeps its file until that process ends too.
void RemoveStaleTemporaries(FileSystem& fileSystem, const std::filesystem::path& path) {
    const std::string prefix = TemporaryPrefix(path);
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::error_code ec;
    for (std::filesystem::directory_iterator entry(folder, ec), end; !ec && entry != end;
         entry.increment(ec)) {
        const std::string name = entry->path().filename().string();
        if (!name.starts_with(prefix)) {
            continue;
        }
        const std::string_view rest = std::string_view(name).substr(prefix.size());
        const std::size_t dash = rest.find('-');
        std::error_code typeError;
        if (dash != std::string_view::npos && IsDeadProcess(rest.substr(0, dash)) &&
            entry->is_regular_file(typeError) && !entry->is_symlink(typeError)) {
            fileSystem.Remove(entry->path());
        }
    }
}

// Makes the rename itself durable; a folder that cannot be synced does not undo the write.
void SyncFolder(FileSystem& fileSystem, const std::filesystem::path& path) {
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    const int fd = fileSystem.Open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd >= 0) {
        fileSystem.Sync(fd);
        fileSystem.Close(fd);
    }
}

// The file to replace: `requested`, or the regular file a symbolic link leads to. False, with
// the reason, when it must not be replaced; `existing` tells whether there is an old file and
// `old` holds its owner and mode.
bool ChooseTarget(const std::filesystem::path& requested, std::filesystem::path& target,
                  bool& existing, struct stat& old, std::string& error) {
    target = requested;
    existing = false;
    if (::lstat(requested.c_str(), &old) != 0) {
        if (errno == ENOENT) {
            return true;
        }
        error = Describe("cannot examine", requested);
        return false;
    }
    if (S_ISLNK(old.st_mode)) {
        std::error_code ec;
        target = std::filesystem::canonical(requested, ec);
        if (ec || ::stat(target.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) {
            error = requested.string() +
                    " is a link to something other than a regular file: " + "not replaced";
            return false;
        }
    } else if (!S_ISREG(old.st_mode)) {
        error = requested.string() + " is not a regular file: not replaced";
        return false;
    }
    // Root may write anything; a file without any write permission was still made read-only
    // on purpose.
    if ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
        ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        error = target.string() + " is read-only: not replaced";
        return false;
    }
    existing = true;
    return true;
}

} // namespace

bool ReplaceFileAtomically(FileSystem& fileSystem, const std::filesystem::path& requested,
                           std::string_view bytes, std::string& error) {
    if (requested.filename().empty()) {
        error = "no file name: " + requested.string();
        return false;
    }
    std::filesystem::path path;
    bool existing = false;
    struct stat old {};
    if (!ChooseTarget(requested, path, existing, old, error)) {
        return false;
    }
    RemoveStaleTemporaries(fileSystem, path);
    // A new file gets the usual mode (the umask applies); a replacement is private until it
    // has the old file's owner and mode.
    std::filesystem::path temporary;
    const int fd = CreateTemporary(fileSystem, path, existing ? 0600 : 0666, temporary);
    if (fd < 0) {
        error = Describe("cannot create a file beside", path);
        return false;
    }
    bool ok = fileSystem.WriteAll(fd, bytes);
    if (!ok) {
        error = Describe("cannot write", temporary);
    }
    if (ok && existing && fileSystem.ChangeOwner(fd, old.st_uid, old.st_gid) != 0) {
        error = Describe("cannot give the new file the owner and group of", path);
        ok = false;
    }
    if (ok && existing && fileSystem.ChangeMode(fd, old.st_mode & 07777) != 0) {
        error = Describe("cannot give the new file the permissions of", path);
        ok = false;
    }
    if (ok && fileSystem.Sync(fd) != 0) {
        error = Describe("cannot flush", temporary);
        ok = false;
    }
    if (fileSystem.Close(fd) != 0 && ok) {
        error = Describe("cannot close", temporary);
        ok = false;
    }
    if (ok && fileSystem.Rename(temporary, path) != 0) {
        error = Describe("cannot replace", path);
        ok = false;
    }
    if (!ok) {
        fileSystem.Remove(temporary);
        return false;
    }
    SyncFolder(fileSystem, path);
    return true;
}

bool ReplaceFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                           std::string& error) {
    return ReplaceFileAtomically(RealFileSystem(), path, bytes, error);
}

} // namespace zelk
