#include "platform/hardware_port.h"
#include "platform/ppdev_port.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace zelk {
namespace {

namespace fs = std::filesystem;

class ParportListing : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zelk-parport-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    void AddPort(const std::string& name, const std::string& baseAddr) {
        fs::create_directories(dir / name);
        std::ofstream(dir / name / "base-addr") << baseAddr;
    }

    fs::path dir;
};

TEST_F(ParportListing, FindsThePortByTheFirstNumberOfItsBaseAddress) {
    std::string listing;
    EXPECT_EQ(FindParportNumber(dir / "absent", 0x378, listing), std::nullopt);
    EXPECT_EQ(listing, "none");

    AddPort("default", "888\n");
    AddPort("parport0", "956\t1980\n");
    AddPort("parport1", "not a number\n");
    AddPort("parport2", "888\t1912\n");
    EXPECT_EQ(FindParportNumber(dir, 0x378, listing), 2);
    EXPECT_EQ(FindParportNumber(dir, 0x3BC, listing), 0);
    EXPECT_EQ(FindParportNumber(dir, 0x278, listing), std::nullopt);
    EXPECT_NE(listing.find("parport0 at 0x3bc"), std::string::npos) << listing;
    EXPECT_NE(listing.find("parport2 at 0x378"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("parport1"), std::string::npos) << listing;
}

TEST(HardwarePort, RefusesAnIndexOutsideTheTable) {
    for (int index : {-1, 3, 65535}) {
        std::string reason;
        EXPECT_EQ(OpenHardwarePort(index, reason), nullptr);
        EXPECT_EQ(reason, "port index " + std::to_string(index) + " is not 0, 1 or 2");
    }
}

TEST(HardwarePort, NamesBothWaysItTriedWhenNoPortIsThere) {
    std::string reason;
    if (OpenHardwarePort(0, reason) != nullptr) {
        GTEST_SKIP() << "this machine has a parallel port at 0x378";
    }
    EXPECT_NE(reason.find("parport"), std::string::npos) << reason;
    EXPECT_NE(reason.find("direct I/O: "), std::string::npos) << reason;
    EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
}

} // namespace
} // namespace zelk
