#include "platform/atomic_file.h"
#include "scratch_folder.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace zelk {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;

TEST(ReplaceFileAtomically, ReplacesContentAndKeepsPermissions) {
    testing::ScratchFolder folder;
    const auto path = folder / "project.prj";
    testing::WriteWholeFile(path, "old contents that are longer than the new ones");
    const fs::perms perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(path, perms);
    std::string error;
    ASSERT_TRUE(ReplaceFileAtomically(path, "new", error)) << error;
    EXPECT_EQ(ReadWholeFile(path), "new");
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, perms);
}

// A failed replacement leaves the old file whole and no temporary file beside it. A file
// size limit makes the write itself fail, even for root, after the temporary file exists.
TEST(ReplaceFileAtomically, FailureLeavesTheFolderAsItWas) {
    testing::ScratchFolder folder;
    fs::create_directory(folder / "taken");
    testing::WriteWholeFile(folder / "taken" / "inside", "kept");
    const auto file = folder / "zelk.conf";
    testing::WriteWholeFile(file, "[S]\r\nA=old\r\n");

    std::string error;
    EXPECT_FALSE(ReplaceFileAtomically(folder / "taken", "bytes", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadWholeFile(folder / "taken" / "inside"), "kept");
    error.clear();
    EXPECT_FALSE(ReplaceFileAtomically(folder / "missing" / "a.hex", "bytes", error));
    EXPECT_FALSE(error.empty());

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    error.clear();
    const bool written = ReplaceFileAtomically(file, std::string(100'000, 'x'), error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadWholeFile(file), "[S]\r\nA=old\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), {}), 2) << "taken, zelk.conf";
}

} // namespace
} // namespace zelk
