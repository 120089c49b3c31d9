#include "memory/hex_file.h"
#include "scratch_folder.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <vector>

namespace zelk {
namespace {

// Random bytes with erased stretches, so that skipped records are exercised too.
std::vector<std::uint8_t> SampleImage(std::size_t size) {
    std::mt19937 random(12345);
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = (i / 256) % 3 == 1 ? 0xFF : static_cast<std::uint8_t>(random());
    }
    return image;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(HexWriter, WrittenFileReadsBackAsTheSameImage) {
    testing::ScratchFolder folder;
    for (const char* name : {"a.hex", "a.ihx", "a.srec", "a.s19", "UPPER.HEX"}) {
        for (std::size_t size : {std::size_t{0x20000}, std::size_t{0x8000}, std::size_t{0x1001}}) {
            const auto image = SampleImage(size);
            std::string writeError;
            ASSERT_TRUE(WriteImageFile(folder / name, image, writeError)) << writeError;
            std::vector<std::uint8_t> readBack(size, 0x00);
            HexFileError readError;
            ASSERT_TRUE(LoadImageFile(folder / name, readBack, size, readError))
                << name << ":" << readError.line << ": " << readError.reason;
            EXPECT_EQ(readBack, image) << name << " of " << size << " bytes";
        }
    }
}

TEST(HexWriter, BinaryHoldsTheWholeImage) {
    testing::ScratchFolder folder;
    const auto image = SampleImage(0x20000);
    std::string error;
    ASSERT_TRUE(WriteImageFile(folder / "a.Bin", image, error)) << error;
    const std::string written = testing::ReadWholeFile(folder / "a.Bin");
    EXPECT_TRUE(
        std::equal(written.begin(), written.end(), image.begin(), image.end(),
                   [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
}

TEST(HexWriter, IntelHexLayout) {
    testing::ScratchFolder folder;
    std::vector<std::uint8_t> image(0x20000, 0xFF);
    image[0x0005] = 0x01;
    image[0x1FFFF] = 0x02;
    std::string error;
    ASSERT_TRUE(WriteImageFile(folder / "a.hex", image, error)) << error;
    EXPECT_EQ(Lines(testing::ReadWholeFile(folder / "a.hex")),
              (std::vector<std::string>{
                  ":10000000FFFFFFFFFF01FFFFFFFFFFFFFFFFFFFFFE",
                  ":020000040001F9",
                  ":10FFF000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFF020E",
                  ":00000001FF",
              }));
}

// The data records use the narrowest address that reaches the highest byte written.
TEST(HexWriter, SRecordTypeFollowsHighestAddress) {
    struct Case {
        std::size_t size;
        std::size_t address;
        std::string dataType;
        std::string end;
    };
    testing::ScratchFolder folder;
    for (const Case& c :
         {Case{0x8000, 0x7FFF, "S1", "S9030000FC"}, Case{0x20000, 0xFFFF, "S1", "S9030000FC"},
          Case{0x20000, 0x10000, "S2", "S804000000FB"},
          Case{0x1000001, 0x1000000, "S3", "S70500000000FA"}}) {
        std::vector<std::uint8_t> image(c.size, 0xFF);
        image[c.address] = 0x00;
        std::string error;
        ASSERT_TRUE(WriteImageFile(folder / "a.srec", image, error)) << error;
        const auto lines = Lines(testing::ReadWholeFile(folder / "a.srec"));
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0].substr(0, 2), "S0");
        EXPECT_EQ(lines[1].substr(0, 2), c.dataType) << c.address;
        EXPECT_EQ(lines[2], c.end) << c.address;
    }
}

TEST(HexWriter, UnknownExtensionWritesNothing) {
    testing::ScratchFolder folder;
    const std::vector<std::uint8_t> image(16, 0);
    for (const char* name : {"a.txt", "a", "a.hex.bak"}) {
        std::string error;
        EXPECT_FALSE(WriteImageFile(folder / name, image, error)) << name;
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(std::filesystem::exists(folder / name)) << name;
    }
}

} // namespace
} // namespace zelk
