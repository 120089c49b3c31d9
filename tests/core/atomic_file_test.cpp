#include "platform/atomic_file.h"
#include "scratch_folder.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace zelk {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;

// A failed replacement leaves the old file whole and no temporary file beside it. A file
// size limit makes the write itself fail, even for root, after the temporary file exists.
TEST(ReplaceFileAtomically, FailureLeavesTheFolderAsItWas) {
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
    EXPECT_EQ(ReadWholeFile(file), "[S]\r\nA=old\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), {}), 1)
        << "no temporary file left";
}

} // namespace
} // namespace zelk
