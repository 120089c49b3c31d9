#include "platform/atomic_file.h"
#include "scratch_folder.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace zelk {
namespace {

TEST(ReplaceFileAtomically, ReplacesContentAndKeepsPermissions) {
    testing::ScratchFolder folder;
    const auto path = folder / "project.prj";
    testing::WriteWholeFile(path, "old contents that are longer than the new ones");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    std::string error;
    ASSERT_TRUE(ReplaceFileAtomically(path, "new", error)) << error;
    EXPECT_EQ(testing::ReadWholeFile(path), "new");
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
}

// A failed replacement leaves what was there and no temporary file beside it.
TEST(ReplaceFileAtomically, FailureLeavesFolderAsItWas) {
    testing::ScratchFolder folder;
    std::filesystem::create_directory(folder / "taken");
    testing::WriteWholeFile(folder / "taken" / "inside", "kept");
    std::string error;
    EXPECT_FALSE(ReplaceFileAtomically(folder / "taken", "bytes", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(testing::ReadWholeFile(folder / "taken" / "inside"), "kept");
    EXPECT_FALSE(ReplaceFileAtomically(folder / "missing" / "a.hex", "bytes", error));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

// A file size limit makes the write itself fail, even for root, after the temporary file
// exists: the half-written copy must vanish and the old file stay whole.
TEST(ReplaceFileAtomically, FailingMidwayLeavesTheOldFile) {
    testing::ScratchFolder folder;
    const auto file = folder / "zelk.conf";
    testing::WriteWholeFile(file, "[S]\r\nA=old\r\n");

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
    EXPECT_EQ(testing::ReadWholeFile(file), "[S]\r\nA=old\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
}

} // namespace
} // namespace zelk
