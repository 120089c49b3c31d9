#include "memory/hex_file.h"
#include "scratch_folder.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace zelk {
namespace {

using testing::ReadWholeFile;

TEST(HexWriter, EveryFormatReadsBackAsTheSameImage) {
    testing::ScratchFolder folder;
    for (std::size_t size : {std::size_t{0x20000}, std::size_t{0x8000}, std::size_t{0x1001}}) {
        // Random bytes with erased stretches, so that skipped records are exercised too.
        std::mt19937 random(12345);
        std::vector<std::uint8_t> image(size);
        for (std::size_t i = 0; i < size; ++i) {
            image[i] = (i / 256) % 3 == 1 ? 0xFF : static_cast<std::uint8_t>(random());
        }
        for (const char* name : {"a.hex", "a.s19", "UPPER.HEX", "a.Bin"}) {
            SCOPED_TRACE(std::string(name) + " of " + std::to_string(size) + " bytes");
            std::string writeError;
            ASSERT_TRUE(WriteImageFile(folder / name, image, writeError)) << writeError;
            if (name == std::string("a.Bin")) {
                EXPECT_TRUE(ReadWholeFile(folder / name) ==
                            std::string(image.begin(), image.end()));
                continue;
            }
            std::vector<std::uint8_t> readBack(size, 0x00);
            HexFileError readError;
            ASSERT_TRUE(LoadImageFile(folder / name, readBack, size, readError))
                << readError.line << ": " << readError.reason;
            EXPECT_TRUE(readBack == image);
        }
    }
}

// Erased records are skipped, and each file uses the narrowest address that reaches the
// highest byte written.
TEST(HexWriter, WritesOnlyWhatIsNotErasedWithTheNarrowestAddress) {
    testing::ScratchFolder folder;
    std::vector<std::uint8_t> image(0x20000, 0xFF);
    image[0x0005] = 0x01;
    image[0x1FFFF] = 0x02;
    std::string error;
    ASSERT_TRUE(WriteImageFile(folder / "a.hex", image, error)) << error;
    EXPECT_EQ(ReadWholeFile(folder / "a.hex"), ":10000000FFFFFFFFFF01FFFFFFFFFFFFFFFFFFFFFE\n"
                                               ":020000040001F9\n"
                                               ":10FFF000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFF020E\n"
                                               ":00000001FF\n");

    const struct {
        std::size_t size, address;
        std::string dataType, end;
    } cases[] = {{0x20000, 0xFFFF, "S1", "S9030000FC"},
                 {0x20000, 0x10000, "S2", "S804000000FB"},
                 {0x1000001, 0x1000000, "S3", "S70500000000FA"}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> one(c.size, 0xFF);
        one[c.address] = 0x00;
        ASSERT_TRUE(WriteImageFile(folder / "a.srec", one, error)) << error;
        const std::string text = ReadWholeFile(folder / "a.srec");
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << text;
        EXPECT_EQ(text.substr(text.find('\n') + 1, 2), c.dataType) << c.address;
        EXPECT_TRUE(text.ends_with("\n" + c.end + "\n")) << text;
    }
}

} // namespace
} // namespace zelk
