#include "memory/hex_file.h"
#include "scratch_folder.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace zelk {
namespace {

using Bytes = std::vector<std::uint8_t>;

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

// A known-good record, its checksum worked out by hand: 02 33 7A at 0x30.
const std::string T30 = ":0300300002337A1E\n";

struct ReadCase {
    const char* name;
    std::string text;
    int failingLine; // 0: the file is accepted
    std::vector<std::pair<std::size_t, std::uint8_t>> expected;
};

// Each text is read into a 128 KiB image of erased bytes.
TEST(HexReader, StoresOrRefusesNamingTheLine) {
    const std::string S1 = "S1130000285F245F2212226A000424290008237C2A\n"; // 16 bytes at 0
    const ReadCase cases[] = {
        {"Intel", T30, 0, {{0x30, 0x02}, {0x31, 0x33}, {0x32, 0x7A}, {0x33, 0xFF}}},
        {"CR LF", ":0300300002337A1E\r\n:00000001FF\r\n", 0, {{0x32, 0x7A}}},
        {"data after the end record", ":00000001FF\n" + T30, 0, {{0x30, 0x02}}},
        {"linear address", ":020000040001F9\n" + T30, 0, {{0x10030, 2}, {0x30, 0xFF}}},
        {"segment address", ":020000021000EC\n" + T30, 0, {{0x10030, 2}, {0x30, 0xFF}}},
        {"record running past 64 KiB",
         Intel(0xFFF8, 0, Bytes(16, 0xA5)),
         0,
         {{0xFFF8, 0xA5}, {0x10007, 0xA5}, {0x10008, 0xFF}}},
        {"255 data bytes", Intel(0x100, 0, Bytes(255, 0x5A)), 0, {{0x100, 0x5A}, {0x1FE, 0x5A}}},
        {"short lines skipped", "\n\nabc\n  \n" + T30 + "xyz", 0, {{0x30, 0x02}}},
        {"S-records",
         "S00600004844521B\n" + S1 + "S9030000FC\n",
         0,
         {{0, 0x28}, {0xF, 0x7C}, {0x10, 0xFF}}},
        {"S0, S5, S9 unchecked",
         "S006000048445200\nS5030001FF\n" + S1 + "S903000000\n",
         0,
         {{0x00, 0x28}}},
        {"S2 and S3",
         "S207010010010203E1\nS30800010020AABBCCA5\n",
         0,
         {{0x10010, 0x01}, {0x10012, 0x03}, {0x10020, 0xAA}, {0x10022, 0xCC}}},
        {"Intel checksum", T30 + ":0300400002337A1F\n", 2, {{0x30, 0x02}}},
        {"S-record checksum", "S1130000285F245F2212226A000424290008237C2B\n", 1, {}},
        {"non-hex digit", "\n\n:03003000023G7A1E\n", 3, {}},
        {"count runs past the line", ":0500300002337A1E\n", 1, {}},
        {"truncated record", ":1000000001020304\n", 1, {}},
        {"past the image end",
         Intel(0, 4, {0, 1}) + Intel(0xFFFE, 0, {1, 2, 3}),
         2,
         {{0x1FFFE, 0xFF}}},
        {"linear base beyond the image", Intel(0, 4, {0, 2}) + T30, 2, {}},
        {"S3 address near 4 GiB", "S309FFFFFFFE01020304F1\n", 1, {}},
        {"extended address of one byte", Intel(0, 4, {0x01}), 1, {}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image(0x20000, 0xFF);
        HexFileReader reader;
        reader.SetBuffer(image);
        HexFileError error;
        EXPECT_EQ(reader.ReadText(c.text, error), c.failingLine == 0) << error.reason;
        EXPECT_EQ(error.line, c.failingLine);
        EXPECT_EQ(error.reason.empty(), c.failingLine == 0);
        for (const auto& [address, value] : c.expected) {
            EXPECT_EQ(image.at(address), value) << "at " << address;
        }
    }
}

// Loading erases the shown part first; a failing file changes nothing at all.
TEST(LoadImageFile, ErasesTheShownPartOrLeavesImageUntouched) {
    testing::ScratchFolder folder;
    testing::WriteWholeFile(folder / "a.hex", T30);
    Bytes image(0x100, 0x11);
    HexFileError error;
    ASSERT_TRUE(LoadImageFile(folder / "a.hex", image, 0x80, error)) << error.reason;
    EXPECT_EQ(image[0x00], 0xFF);
    EXPECT_EQ(image[0x30], 0x02);
    EXPECT_EQ(image[0x80], 0x11);
    EXPECT_FALSE(LoadImageFile(folder / "missing.hex", image, 0x80, error));
    EXPECT_EQ(error.line, 0) << "a file error names no line";

    for (const std::string& tail : {std::string(":0300400002337A1F\n"),
                                    std::string(":10000000AB\n"), Intel(0xF0, 0, Bytes(32, 0))}) {
        testing::WriteWholeFile(folder / "bad.hex", T30 + tail);
        for (std::size_t i = 0; i < image.size(); ++i) {
            image[i] = static_cast<std::uint8_t>(i);
        }
        const Bytes before = image;
        EXPECT_FALSE(LoadImageFile(folder / "bad.hex", image, image.size(), error)) << tail;
        EXPECT_EQ(error.line, 2) << tail;
        EXPECT_EQ(image, before) << tail;
    }
}

} // namespace
} // namespace zelk
