#include "hex_inputs.h"
#include "memory/hex_file.h"
#include "scratch_folder.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace zelk {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::Eof;
using testing::T30;

// An Intel HEX record with a correct checksum.
std::string Intel(std::uint16_t address, std::uint8_t type, const Bytes& data) {
    Bytes bytes = {static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
                   static_cast<std::uint8_t>(address), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::uint8_t b : bytes) {
        sum += b;
    }
    bytes.push_back(static_cast<std::uint8_t>(0x100 - sum % 0x100));
    std::string line = ":";
    for (std::uint8_t b : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", b);
        line += digits;
    }
    return line + "\n";
}

struct ReadCase {
    const char* name;
    std::string text;
    std::vector<std::pair<std::size_t, std::uint8_t>> expected;
};

// Each text is read into a 128 KiB image of erased bytes.
TEST(HexReader, StoresWhatEveryAcceptedFormSays) {
    const std::string S1 = "S1130000285F245F2212226A000424290008237C2A\n"; // 16 bytes at 0
    const ReadCase cases[] = {
        {"Intel", T30 + Eof, {{0x30, 0x02}, {0x31, 0x33}, {0x32, 0x7A}, {0x33, 0xFF}}},
        {"CR LF", ":0300300002337A1E\r\n:00000001FF\r\n", {{0x32, 0x7A}}},
        {"CR only",
         ":0100100011DE\r:0300300002337A1E\r:00000001FF\r",
         {{0x10, 0x11}, {0x32, 0x7A}}},
        {"mixed line ends, no final one",
         ":0100100011DE\r\n" + T30 + "\r:00000001FF",
         {{0x10, 0x11}, {0x30, 0x02}}},
        {"blank lines and trailing blanks",
         "\n \t\n:0300300002337A1E \t\r\n\n" + Eof + "\n\n",
         {{0x30, 0x02}}},
        {"lower-case digits", ":0300300002337a1e\n" + Eof, {{0x32, 0x7A}}},
        {"linear address", ":020000040001F9\n" + T30 + Eof, {{0x10030, 2}, {0x30, 0xFF}}},
        {"segment address", ":020000021000EC\n" + T30 + Eof, {{0x10030, 2}, {0x30, 0xFF}}},
        {"one start address", ":0400000500000100F6\n" + T30 + Eof, {{0x30, 0x02}}},
        {"record running past 64 KiB",
         Intel(0xFFF8, 0, Bytes(16, 0xA5)) + Eof,
         {{0xFFF8, 0xA5}, {0x10007, 0xA5}, {0x10008, 0xFF}}},
        {"255 data bytes", Intel(0x100, 0, Bytes(255, 0x5A)) + Eof, {{0x100, 0x5A}, {0x1FE, 0x5A}}},
        {"S-records", "S00600004844521B\n" + S1 + "S9030000FC\n", {{0, 0x28}, {0xF, 0x7C}}},
        {"S-records without end record", "S5030001FB\n" + S1, {{0x00, 0x28}}},
        {"S2 and S3 with S8",
         "S207010010010203E1\nS30800010020AABBCCA5\nS804000000FB\n",
         {{0x10010, 0x01}, {0x10012, 0x03}, {0x10020, 0xAA}, {0x10022, 0xCC}}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image(0x20000, 0xFF);
        HexFileReader reader;
        reader.SetBuffer(image);
        HexFileError error;
        EXPECT_TRUE(reader.ReadText(c.text, error)) << error.line << ": " << error.reason;
        for (const auto& [address, value] : c.expected) {
            EXPECT_EQ(image.at(address), value) << "at " << address;
        }
    }
}

TEST(HexReader, RefusesEveryDamagedFormNamingTheLine) {
    for (const testing::HexInput& c : testing::RefusedHexInputs()) {
        SCOPED_TRACE(c.name);
        Bytes image(0x20000, 0xFF);
        HexFileReader reader;
        reader.SetBuffer(image);
        HexFileError error;
        EXPECT_FALSE(reader.ReadText(c.text, error));
        EXPECT_EQ(error.line, c.line) << error.reason;
        EXPECT_NE(error.reason.find(c.reason), std::string::npos) << error.reason;
    }
}

// A later check refuses data beyond the device and writes only what a file defines.
TEST(HexReader, TellsWhichAddressesTheFileDefines) {
    Bytes image(0x20000, 0xFF);
    HexFileReader reader;
    reader.SetBuffer(image);
    HexFileError error;
    const std::string text =
        ":020000040001F9\n" + Intel(0x10, 0, {0xFF, 0xFF}) + ":020000040000FA\n" + T30 + Eof;
    ASSERT_TRUE(reader.ReadText(text, error)) << error.reason;
    const DefinedAddresses& defined = reader.Defined();
    EXPECT_EQ(defined.Count(), 5u);
    EXPECT_EQ(defined.Lowest(), 0x30u);
    EXPECT_EQ(defined.Highest(), 0x10011u);
    EXPECT_TRUE(defined.Contains(0x10010)) << "an erased value given by the file counts";
    EXPECT_TRUE(defined.Contains(0x32));
    EXPECT_FALSE(defined.Contains(0x33));
    EXPECT_FALSE(defined.Contains(0x10));
    EXPECT_FALSE(defined.Contains(0x20000));
}

// Shipped as a file so that no toolchain is needed: its last record fills 0x1FFF0..0x1FFFF.
TEST(LoadImageFile, RecordEndingExactlyAtTheImageEndLoads) {
    const std::filesystem::path file =
        std::filesystem::path(ZELK_TEST_DATA_DIR) / "ends_at_image_end.hex";
    Bytes image(0x20000, 0x00);
    DefinedAddresses defined;
    HexFileError error;
    ASSERT_TRUE(LoadImageFile(file, image, image.size(), defined, error)) << error.reason;
    EXPECT_EQ(image[0x1FFF0], 0xF0);
    EXPECT_EQ(image[0x1FFFF], 0xFF);
    EXPECT_EQ(image[0x1FFDF], 0xFF) << "erased before loading";
    EXPECT_EQ(defined.Lowest(), 0x1FFE0u);
    EXPECT_EQ(defined.Highest(), 0x1FFFFu);

    Bytes smaller(0x1FFFF, 0x00);
    EXPECT_FALSE(LoadImageFile(file, smaller, smaller.size(), error));
    EXPECT_EQ(error.line, 3);
}

// Loading erases the shown part first; a failing file changes nothing at all, whatever it is.
TEST(LoadImageFile, ErasesTheShownPartOrLeavesImageUntouched) {
    testing::ScratchFolder folder;
    testing::WriteWholeFile(folder / "a.hex", T30 + Eof);
    Bytes image(0x100, 0x11);
    HexFileError error;
    ASSERT_TRUE(LoadImageFile(folder / "a.hex", image, 0x80, error)) << error.reason;
    EXPECT_EQ(image[0x00], 0xFF);
    EXPECT_EQ(image[0x30], 0x02);
    EXPECT_EQ(image[0x80], 0x11);

    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i);
    }
    const Bytes before = image;
    for (const testing::HexInput& c : testing::RefusedHexInputs()) {
        SCOPED_TRACE(c.name);
        testing::WriteWholeFile(folder / "bad.hex", c.text);
        EXPECT_FALSE(LoadImageFile(folder / "bad.hex", image, image.size(), error));
        EXPECT_EQ(error.line, c.line) << error.reason;
        EXPECT_EQ(image, before);
    }
}

// None of these may block, grow memory without bound or load as an image.
TEST(LoadImageFile, RefusesWhatIsNoRegularFileOfBoundedSize) {
    testing::ScratchFolder folder;
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    testing::WriteWholeFile(folder / "huge.hex", T30);
    std::filesystem::resize_file(folder / "huge.hex", MaxHexFileSize + 1);
    const struct {
        std::filesystem::path path;
        const char* reason;
    } cases[] = {
        {folder / "missing.hex", "No such file"}, {folder.Path(), "is a folder"},
        {folder / "fifo", "not a regular file"},  {"/dev/zero", "not a regular file"},
        {"/dev/urandom", "not a regular file"},   {folder / "huge.hex", "larger than 64 MiB"},
    };
    Bytes image(0x100, 0x11);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        HexFileError error;
        EXPECT_FALSE(LoadImageFile(c.path, image, image.size(), error));
        EXPECT_EQ(error.line, 0);
        EXPECT_NE(error.reason.find(c.reason), std::string::npos) << error.reason;
        EXPECT_EQ(image, Bytes(0x100, 0x11));
    }
}

} // namespace
} // namespace zelk
