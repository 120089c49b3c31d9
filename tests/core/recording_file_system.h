// SPDX-License-Identifier: GPL-3.0-or-later
// A FileSystem that passes every call on to the real one and logs it, with the names of the
// files the calls reach, so that a test can assert what reached the disk and in which order.
#pragma once

#include "platform/file_system.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace zelk::testing {

class RecordingFileSystem final : public FileSystem {
public:
    // Names in the log are the file names alone; `folder` itself is logged as "<folder>", and
    // a temporary file as "<temporary>".
    explicit RecordingFileSystem(std::filesystem::path watched) : folder(std::move(watched)) {}

    int Open(const std::filesystem::path& path, int flags, mode_t mode) override {
        const int fd = RealFileSystem().Open(path, flags, mode);
        char octal[16];
        std::snprintf(octal, sizeof octal, "%o", static_cast<unsigned>(mode));
        Log("open " + Name(path) + " " + octal);
        names[fd] = Name(path);
        return fd;
    }
    bool WriteAll(int fd, std::string_view bytes) override {
        Log("write " + names[fd]);
        return RealFileSystem().WriteAll(fd, bytes);
    }
    int Sync(int fd) override {
        Log("fsync " + names[fd]);
        return RealFileSystem().Sync(fd);
    }
    int ChangeOwner(int fd, uid_t owner, gid_t group) override {
        Log("chown " + names[fd]);
        return RealFileSystem().ChangeOwner(fd, owner, group);
    }
    int ChangeMode(int fd, mode_t mode) override {
        char octal[16];
        std::snprintf(octal, sizeof octal, "%o", static_cast<unsigned>(mode));
        Log("chmod " + names[fd] + " " + octal);
        return RealFileSystem().ChangeMode(fd, mode);
    }
    int Close(int fd) override {
        Log("close " + names[fd]);
        return RealFileSystem().Close(fd);
    }
    int Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
        Log("rename " + Name(from) + " " + Name(to));
        return RealFileSystem().Rename(from, to);
    }
    int Remove(const std::filesystem::path& path) override {
        Log("remove " + Name(path));
        return RealFileSystem().Remove(path);
    }

    std::vector<std::string> log;

private:
    void Log(std::string entry) { log.push_back(std::move(entry)); }
    std::string Name(const std::filesystem::path& path) const {
        if (path == folder) {
            return "<folder>";
        }
        const std::string name = path.filename().string();
        return name.find(".tmp") != std::string::npos && name.front() == '.' ? "<temporary>" : name;
    }

    std::filesystem::path folder;
    std::map<int, std::string> names;
};

} // namespace zelk::testing
