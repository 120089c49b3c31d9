#include "platform/hardware_port.h"
#include "platform/ppdev_port.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>
#include <string>

namespace zelk {
namespace {

TEST(ParportListing, FindsThePortByTheFirstNumberOfItsBaseAddress) {
    testing::ScratchFolder dir;
    std::string listing;
    EXPECT_EQ(FindParportNumber(dir / "absent", 0x378, listing), std::nullopt);
    for (const auto& [name, baseAddr] : {std::pair{"default", "888\n"},
                                         {"parport0", "956\t1980\n"},
                                         {"parport1", "not a number\n"},
                                         {"parport2", "888\t1912\n"}}) {
        std::filesystem::create_directories(dir / name);
        testing::WriteWholeFile(dir / name / "base-addr", baseAddr);
    }
    EXPECT_EQ(FindParportNumber(dir.Path(), 0x378, listing), 2);
    EXPECT_EQ(FindParportNumber(dir.Path(), 0x3BC, listing), 0);
    EXPECT_EQ(FindParportNumber(dir.Path(), 0x278, listing), std::nullopt);
    EXPECT_NE(listing.find("parport0 at 0x3bc"), std::string::npos) << listing;
    EXPECT_NE(listing.find("parport2 at 0x378"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("parport1"), std::string::npos) << listing;
}

TEST(HardwarePort, SaysWhyNoPortOpens) {
    std::string reason;
    if (OpenHardwarePort(0x378, reason) != nullptr) {
        GTEST_SKIP() << "this machine has a parallel port at 0x378";
    }
    // Both ways it tried, on one line.
    EXPECT_NE(reason.find("parport"), std::string::npos) << reason;
    EXPECT_NE(reason.find("direct I/O: "), std::string::npos) << reason;
    EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
}

} // namespace
} // namespace zelk
