#include "memory/hex_file.h"
#include "scratch_folder.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace zelk {
namespace {

// An Intel HEX record with a correct checksum.
std::string Intel(std::uint16_t address, std::uint8_t type, std::vector<std::uint8_t> data) {
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(data.size()),
                                       static_cast<std::uint8_t>(address >> 8),
                                       static_cast<std::uint8_t>(address), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    std::string line = ":";
    char digits[3];
    for (std::uint8_t b : bytes) {
        sum += b;
        std::snprintf(digits, sizeof digits, "%02X", b);
        line += digits;
    }
    std::snprintf(digits, sizeof digits, "%02X", (0x100 - sum % 0x100) % 0x100);
    return line + digits + "\n";
}

// Known-good records, their checksums worked out by hand.
constexpr const char* ThreeBytesAt30 = ":0300300002337A1E\n";
constexpr const char* SRecordFile = "S00600004844521B\n"
                                    "S1130000285F245F2212226A000424290008237C2A\n"
                                    "S9030000FC\n";

struct ReadCase {
    const char* name;
    std::string text;
    std::size_t imageSize;
    int failingLine; // 0: the file is accepted
    std::vector<std::pair<std::size_t, std::uint8_t>> expected;
};

void PrintTo(const ReadCase& c, std::ostream* out) {
    *out << c.name;
}

class HexReaderCases : public ::testing::TestWithParam<ReadCase> {};

TEST_P(HexReaderCases, StoresOrRefuses) {
    const ReadCase& c = GetParam();
    std::vector<std::uint8_t> image(c.imageSize, 0xFF);
    HexFileReader reader;
    reader.SetBuffer(image);
    HexFileError error;
    const bool ok = reader.ReadText(c.text, error);
    if (c.failingLine == 0) {
        ASSERT_TRUE(ok) << "line " << error.line << ": " << error.reason;
    } else {
        ASSERT_FALSE(ok);
        EXPECT_EQ(error.line, c.failingLine);
        EXPECT_FALSE(error.reason.empty());
    }
    for (const auto& [address, value] : c.expected) {
        EXPECT_EQ(image.at(address), value) << "at " << address;
    }
}

const std::string LongRecord = Intel(0x0100, 0, std::vector<std::uint8_t>(255, 0x5A));

INSTANTIATE_TEST_SUITE_P(
    Reader, HexReaderCases,
    ::testing::Values(
        ReadCase{"IntelChecksumSumsToZero",
                 ThreeBytesAt30,
                 0x100,
                 0,
                 {{0x30, 0x02}, {0x31, 0x33}, {0x32, 0x7A}, {0x33, 0xFF}}},
        ReadCase{"LowercaseDigits", ":0300300002337a1e\n", 0x100, 0, {{0x32, 0x7A}}},
        ReadCase{"CrLfLineEnds", ":0300300002337A1E\r\n:00000001FF\r\n", 0x100, 0, {{0x32, 0x7A}}},
        ReadCase{"LastLineWithoutLineEnd", ":0300300002337A1E", 0x100, 0, {{0x30, 0x02}}},
        ReadCase{"DataAfterEndRecordIsRead",
                 ":00000001FF\n" + std::string(ThreeBytesAt30),
                 0x100,
                 0,
                 {{0x30, 0x02}}},
        ReadCase{"LinearAddressMovesData",
                 ":020000040001F9\n" + std::string(ThreeBytesAt30),
                 0x20000,
                 0,
                 {{0x10030, 0x02}, {0x30, 0xFF}}},
        ReadCase{"SegmentAddressMovesData",
                 ":020000021000EC\n" + std::string(ThreeBytesAt30),
                 0x20000,
                 0,
                 {{0x10030, 0x02}, {0x30, 0xFF}}},
        ReadCase{"LinearAddressBackToZero",
                 Intel(0, 4, {0x00, 0x01}) + Intel(0, 4, {0x00, 0x00}) + ThreeBytesAt30,
                 0x100,
                 0,
                 {{0x30, 0x02}}},
        ReadCase{"RecordRunsOnPast64KiB",
                 Intel(0xFFF8, 0, std::vector<std::uint8_t>(16, 0xA5)),
                 0x20000,
                 0,
                 {{0xFFF8, 0xA5}, {0x10007, 0xA5}, {0x10008, 0xFF}}},
        ReadCase{"LineOfAnyLength", LongRecord, 0x200, 0, {{0x100, 0x5A}, {0x1FE, 0x5A}}},
        ReadCase{"ShortLinesSkipped",
                 "\n\nabc\n  \n" + std::string(ThreeBytesAt30) + "xyz",
                 0x100,
                 0,
                 {{0x30, 0x02}}},
        ReadCase{"SRecordChecksumSumsToFF",
                 SRecordFile,
                 0x100,
                 0,
                 {{0x00, 0x28}, {0x0F, 0x7C}, {0x10, 0xFF}}},
        ReadCase{"S2AndS3Addresses",
                 "S207010010010203E1\nS30800010020AABBCCA5\n",
                 0x20000,
                 0,
                 {{0x10010, 0x01}, {0x10012, 0x03}, {0x10020, 0xAA}, {0x10022, 0xCC}}},
        ReadCase{"IntelChecksumWrong",
                 std::string(ThreeBytesAt30) + ":0300400002337A1F\n",
                 0x100,
                 2,
                 {{0x30, 0x02}}},
        ReadCase{
            "SRecordChecksumWrong", "S1130000285F245F2212226A000424290008237C2B\n", 0x100, 1, {}},
        ReadCase{"ExtendedAddressChecksumWrong", ":020000040001F8\n", 0x20000, 1, {}},
        ReadCase{"NonHexDigit", "\n\n:03003000023G7A1E\n", 0x100, 3, {}},
        ReadCase{"JunkLine", std::string(ThreeBytesAt30) + "; comment\n", 0x100, 2, {}},
        ReadCase{"CountRunsPastLine", ":0500300002337A1E\n", 0x100, 1, {}},
        ReadCase{"TruncatedRecord", ":1000000001020304\n", 0x100, 1, {}},
        ReadCase{"SRecordCountBelowAddress", "S1020000FD\n", 0x100, 1, {}},
        ReadCase{"SRecordCountRunsPastLine", "S1130000285F\n", 0x100, 1, {}},
        ReadCase{"ByteAtImageEnd", Intel(0x3E, 0, {1, 2, 3}), 0x40, 1, {{0x3E, 0xFF}}},
        ReadCase{
            "LinearBaseBeyondImage", Intel(0, 4, {0x00, 0x02}) + ThreeBytesAt30, 0x20000, 2, {}},
        ReadCase{"S3AddressNear4GiB", "S309FFFFFFFE01020304F1\n", 0x20000, 1, {}},
        ReadCase{"ExtendedAddressOfWrongLength", Intel(0, 4, {0x01}), 0x20000, 1, {}}),
    [](const auto& testCase) { return testCase.param.name; });

TEST(HexReader, FileErrorsConcernTheWholeFile) {
    testing::ScratchFolder folder;
    std::vector<std::uint8_t> image(0x100, 0xFF);
    HexFileReader reader;
    reader.SetBuffer(image);
    for (const auto& path : {folder / "missing.hex", folder.Path()}) {
        HexFileError error;
        EXPECT_FALSE(reader.ReadFile(path, error)) << path;
        EXPECT_EQ(error.line, 0);
        EXPECT_FALSE(error.reason.empty());
    }
}

TEST(LoadImageFile, ErasesTheShownPartAndKeepsTheRest) {
    testing::ScratchFolder folder;
    testing::WriteWholeFile(folder / "a.hex", ThreeBytesAt30);
    std::vector<std::uint8_t> image(0x100, 0x11);
    HexFileError error;
    ASSERT_TRUE(LoadImageFile(folder / "a.hex", image, 0x80, error)) << error.reason;
    EXPECT_EQ(image[0x00], 0xFF);
    EXPECT_EQ(image[0x30], 0x02);
    EXPECT_EQ(image[0x7F], 0xFF);
    EXPECT_EQ(image[0x80], 0x11);
}

TEST(LoadImageFile, FailingFileLeavesImageUntouched) {
    testing::ScratchFolder folder;
    const std::string badTails[] = {":0300400002337A1F\n", "junk line\n", ":10000000AB\n",
                                    Intel(0xF0, 0, std::vector<std::uint8_t>(32, 0))};
    for (const std::string& tail : badTails) {
        testing::WriteWholeFile(folder / "bad.hex", std::string(ThreeBytesAt30) + tail);
        std::vector<std::uint8_t> image(0x100);
        for (std::size_t i = 0; i < image.size(); ++i) {
            image[i] = static_cast<std::uint8_t>(i);
        }
        const std::vector<std::uint8_t> before = image;
        HexFileError error;
        EXPECT_FALSE(LoadImageFile(folder / "bad.hex", image, image.size(), error)) << tail;
        EXPECT_EQ(error.line, 2) << tail;
        EXPECT_EQ(image, before) << tail;
    }
}

} // namespace
} // namespace zelk
