// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/atomic_file.h"
#include "recording_file_system.h"
#include "scratch_folder.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zelk {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;
using testing::WriteWholeFile;

std::size_t EntriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
}

// A failed replacement leaves the old file whole and no temporary file beside it. A file
// size limit makes the write itself fail, even for root, after the temporary file exists.
TEST(ReplaceFileAtomically, FailureLeavesTheFolderAsItWas) {
    testing::ScratchFolder folder;
    const auto file = folder / "zelk.conf";
    WriteWholeFile(file, "[S]\r\nA=old\r\n");

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool written = ReplaceFileAtomically(file, std::string(100'000, 'x'), error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadWholeFile(file), "[S]\r\nA=old\r\n");
    EXPECT_EQ(EntriesIn(folder.Path()), 1u) << "no temporary file left";
}

// The data and then the rename must reach the disk: the file is synced before the rename
// publishes it, the folder after. The temporary file is private until it has the old file's
// owner and mode; root rewriting a user's file must leave it the user's. A link to a regular
// file is written through and stays a link.
TEST(ReplaceFileAtomically, SyncsInOrderAndKeepsLinkOwnerAndMode) {
    testing::ScratchFolder folder;
    fs::create_directory(folder / "dotfiles");
    const auto file = fs::canonical(folder / "dotfiles") / "a.prj";
    WriteWholeFile(file, "old");
    fs::create_symlink(file, folder / "a.prj");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(file.c_str(), 4321, 4322), 0);
    }
    testing::RecordingFileSystem recorder(file.parent_path());
    std::string error;
    ASSERT_TRUE(ReplaceFileAtomically(recorder, folder / "a.prj", "new", error)) << error;
    const std::vector<std::string> expected = {
        "open <temporary> 600",     "write <temporary>", "chown <temporary>",
        "chmod <temporary> 640",    "fsync <temporary>", "close <temporary>",
        "rename <temporary> a.prj", "open <folder> 0",   "fsync <folder>",
        "close <folder>",
    };
    EXPECT_EQ(recorder.log, expected);
    EXPECT_TRUE(fs::is_symlink(folder / "a.prj"));
    EXPECT_EQ(ReadWholeFile(file), "new");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(info.st_uid, 4321u);
        EXPECT_EQ(info.st_gid, 4322u);
    }
}

// Whatever is at the path and is no regular file stays exactly what it was, for root too.
TEST(ReplaceFileAtomically, NeverReplacesWhatIsNoRegularFile) {
    testing::ScratchFolder folder;
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    fs::create_directory(folder / "folder");
    fs::create_symlink(folder / "fifo", folder / "link-to-fifo");
    fs::create_symlink(folder / "nothing", folder / "dangling");
    const bool haveNode = ::mknod((folder / "node").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    if (haveNode) {
        fs::create_symlink(folder / "node", folder / "link-to-node");
    }
    WriteWholeFile(folder / "read-only", "kept");
    ASSERT_EQ(::chmod((folder / "read-only").c_str(), 0444), 0);

    const struct {
        const char* name;
        const char* reason;
        bool needsNode;
    } cases[] = {
        {"fifo", "not a regular file", false},
        {"folder", "not a regular file", false},
        {"link-to-fifo", "link to something other than a regular file", false},
        {"dangling", "link to something other than a regular file", false},
        {"node", "not a regular file", true},
        {"link-to-node", "link to something other than a regular file", true},
        {"read-only", "read-only", false},
    };
    for (const auto& c : cases) {
        if (c.needsNode && !haveNode) {
            continue; // mknod needs privileges this run lacks
        }
        SCOPED_TRACE(c.name);
        struct stat before {};
        ASSERT_EQ(::lstat((folder / c.name).c_str(), &before), 0);
        std::string error;
        EXPECT_FALSE(ReplaceFileAtomically(folder / c.name, "replacement", error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        struct stat after {};
        ASSERT_EQ(::lstat((folder / c.name).c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
    }
    EXPECT_TRUE(fs::is_fifo(folder / "fifo"));
    EXPECT_FALSE(fs::exists(folder / "nothing"));
    EXPECT_EQ(ReadWholeFile(folder / "read-only"), "kept");
    EXPECT_EQ(EntriesIn(folder.Path()), haveNode ? 7u : 5u) << "no temporary file left";
}

// A run killed while writing leaves its temporary file; the next write removes it, but never
// one whose writer may still be running.
TEST(ReplaceFileAtomically, RemovesTemporaryFilesOfDeadRuns) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);

    testing::ScratchFolder folder;
    const std::string dead = ".f.hex.tmp" + std::to_string(child) + "-3";
    const std::string living = ".f.hex.tmp" + std::to_string(::getppid()) + "-0";
    const std::string otherFile = ".g.hex.tmp" + std::to_string(child) + "-0";
    for (const std::string& name : {dead, living, otherFile}) {
        WriteWholeFile(folder / name, "half");
    }
    std::string error;
    ASSERT_TRUE(ReplaceFileAtomically(folder / "f.hex", "new", error)) << error;
    EXPECT_FALSE(fs::exists(folder / dead));
    EXPECT_TRUE(fs::exists(folder / living));
    EXPECT_TRUE(fs::exists(folder / otherFile)) << "another file's temporaries are its own";
}

} // namespace
} // namespace zelk
