#include "platform/atomic_file.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace zelk
