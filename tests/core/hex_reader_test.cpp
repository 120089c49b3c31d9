// SPDX-License-Identifier: GPL-3.0-or-later
#include "hex_inputs.h"
#include "memory/hex_file.h"
#include "memory/image_file.h"
#include "scratch_folder.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zelk {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::Eof;
using testing::ReadWholeFile;
using testing::T30;

// An Intel HEX data record with a correct checksum.
std::string Intel(std::uint16_t address, const Bytes& data) {
    Bytes bytes = {static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
                   static_cast<std::uint8_t>(address), 0};
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.push_back(
        static_cast<std::uint8_t>(0x100 - std::accumulate(bytes.begin(), bytes.end(), 0u)));
    std::string line = ":";
    for (std::uint8_t b : bytes) {
        line += {"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
    }
    return line + "\n";
}

// Each text is read into a 128 KiB image of erased bytes.
TEST(HexReader, StoresWhatEveryAcceptedFormSays) {
    const std::string S1 = "S1130000285F245F2212226A000424290008237C2A\n"; // 16 bytes at 0
    const struct {
        const char* name;
        std::string text;
        std::vector<std::pair<std::size_t, std::uint8_t>> expected;
    } cases[] = {
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
         Intel(0xFFF8, Bytes(16, 0xA5)) + Eof,
         {{0xFFF8, 0xA5}, {0x10007, 0xA5}, {0x10008, 0xFF}}},
        {"255 data bytes", Intel(0x100, Bytes(255, 0x5A)) + Eof, {{0x100, 0x5A}, {0x1FE, 0x5A}}},
        {"S-records", "S00600004844521B\n" + S1 + "S9030000FC\n", {{0, 0x28}, {0xF, 0x7C}}},
        {"S-records without end record", "S5030001FB\n" + S1, {{0x00, 0x28}}},
        {"S2 and S3 with S8",
         "S207010010010203E1\nS30800010020AABBCCA5\nS804000000FB\n",
         {{0x10010, 0x01}, {0x10012, 0x03}, {0x10020, 0xAA}, {0x10022, 0xCC}}},
    };
    for (const auto& c : cases) {
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

// A later check refuses data beyond the device and writes only what a file defines.
TEST(HexReader, TellsWhichAddressesTheFileDefines) {
    const struct {
        const char* name;
        std::string text;
        std::vector<AddressRange> defined;
    } cases[] = {
        {"erased values count, records out of order",
         ":020000040001F9\n" + Intel(0x10, {0xFF, 0xFF}) + ":020000040000FA\n" + T30 + Eof,
         {{0x30, 0x33}, {0x10010, 0x10012}}},
        {"records that follow on make one range",
         Intel(0x00, Bytes(16, 1)) + Intel(0x10, Bytes(16, 2)) + Intel(0x30, {3}) + Eof,
         {{0x00, 0x20}, {0x30, 0x31}}},
        {"backwards, touching",
         Intel(0x10, {1}) + Intel(0x0F, {2}) + Intel(0x11, {3}) + Eof,
         {{0x0F, 0x12}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image(0x20000, 0xFF);
        HexFileReader reader;
        reader.SetBuffer(image);
        HexFileError error;
        ASSERT_TRUE(reader.ReadText(c.text, error)) << error.reason;
        EXPECT_EQ(reader.Defined().Ranges(), c.defined);
    }
}

// An address given twice is refused wherever the two records stand, naming both lines.
TEST(HexReader, AnAddressGivenTwiceNamesBothLines) {
    const struct {
        const char* name;
        std::string text;
        int line;
        const char* reason;
    } cases[] = {
        {"the record before", Intel(0x30, {1, 2}) + Intel(0x31, {3}) + Eof, 2,
         "address 00000031 is given twice, lines 1 and 2"},
        {"a record long before",
         Intel(0x30, {1, 2}) + Intel(0x10, {3}) + Intel(0x20, {4}) + Intel(0x2F, {5, 6}) + Eof, 4,
         "address 00000030 is given twice, lines 1 and 4"},
        {"through an extended address",
         ":020000040001F9\n" + Intel(0x10, {1}) + ":020000040000FA\n" + T30 + ":020000021000EC\n" +
             Intel(0x0010, {2}) + Eof,
         6, "address 00010010 is given twice, lines 2 and 6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image(0x20000, 0xFF);
        HexFileReader reader;
        reader.SetBuffer(image);
        HexFileError error;
        EXPECT_FALSE(reader.ReadText(c.text, error));
        EXPECT_EQ(error.line, c.line);
        EXPECT_EQ(error.reason, c.reason);
    }
}

// A file is read in 64 KiB pieces: wherever a piece ends (inside a record, between the CR and
// the LF of a line end), the file reads as its text does, and a refusal names the same line.
TEST(HexReader, AFileReadInPiecesReadsAsItsText) {
    testing::ScratchFolder folder;
    std::string records;
    for (std::uint16_t address = 0; address < 0x6000; address += 16) {
        std::string line = Intel(address, Bytes(16, static_cast<std::uint8_t>(address >> 4)));
        line.insert(line.size() - 1, "\r"); // CR LF
        records += line;
    }
    const std::string bad = ":0300400002337A1F\r\n";
    for (std::size_t shift = 0; shift < 46; ++shift) {
        SCOPED_TRACE("shifted by " + std::to_string(shift));
        for (const std::string& text : {std::string(shift, ' ') + "\r\n" + records + Eof,
                                        std::string(shift, ' ') + "\r\n" + records + bad + Eof}) {
            Bytes fromText(0x20000, 0xFF);
            HexFileReader textReader;
            textReader.SetBuffer(fromText);
            HexFileError textError;
            const bool textAccepted = textReader.ReadText(text, textError);

            testing::WriteWholeFile(folder / "a.hex", text);
            const int fd = ::open((folder / "a.hex").c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_GE(fd, 0);
            Bytes fromFile(0x20000, 0xFF);
            HexFileReader fileReader;
            fileReader.SetBuffer(fromFile);
            HexFileError fileError;
            EXPECT_EQ(fileReader.ReadFile(fd, fileError), textAccepted);
            ::close(fd);
            EXPECT_EQ(fileError.line, textError.line);
            EXPECT_EQ(fileError.reason, textError.reason);
            EXPECT_TRUE(fromFile == fromText);
            EXPECT_EQ(fileReader.Defined(), textReader.Defined());
        }
    }
}

// Shipped as a file so that no toolchain is needed: its last record fills 0x1FFF0..0x1FFFF.
TEST(HexReader, RecordEndingExactlyAtTheImageEndLoads) {
    const std::filesystem::path file =
        std::filesystem::path(ZELK_TEST_DATA_DIR) / "ends_at_image_end.hex";
    Bytes image(0x20000, 0x00);
    LoadedImage loaded;
    HexFileError error;
    ASSERT_TRUE(LoadImageAnyFormat(file, MemoryKind::Flash, image, image.size(), loaded, error))
        << error.reason;
    EXPECT_EQ(image[0x1FFF0], 0xF0);
    EXPECT_EQ(image[0x1FFFF], 0xFF);
    EXPECT_EQ(image[0x1FFDF], 0xFF) << "erased before loading";
    EXPECT_EQ(loaded.Lowest(), 0x1FFE0u);
    EXPECT_EQ(loaded.Highest(), 0x1FFFFu);

    Bytes smaller(0x1FFFF, 0x00);
    EXPECT_FALSE(
        LoadImageAnyFormat(file, MemoryKind::Flash, smaller, smaller.size(), loaded, error));
    EXPECT_EQ(error.line, 3);
}

// Loading erases the shown part first; a failing file changes nothing at all, whatever it is.
TEST(HexReader, ErasesTheShownPartOrRefusesNamingTheLineAndLeavesImageUntouched) {
    testing::ScratchFolder folder;
    testing::WriteWholeFile(folder / "a.hex", T30 + Eof);
    Bytes image(0x100, 0x11);
    LoadedImage loaded;
    HexFileError error;
    ASSERT_TRUE(LoadImageAnyFormat(folder / "a.hex", MemoryKind::Flash, image, 0x80, loaded, error))
        << error.reason;
    EXPECT_EQ(image[0x00], 0xFF);
    EXPECT_EQ(image[0x30], 0x02);
    EXPECT_EQ(image[0x80], 0x11);

    for (const testing::HexInput& c : testing::RefusedHexInputs()) {
        SCOPED_TRACE(c.name);
        Bytes buffer(0x20000);
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            buffer[i] = static_cast<std::uint8_t>(i);
        }
        const Bytes before = buffer;
        testing::WriteWholeFile(folder / "bad.hex", c.text);
        EXPECT_FALSE(LoadImageAnyFormat(folder / "bad.hex", MemoryKind::Flash, buffer,
                                        buffer.size(), loaded, error));
        EXPECT_EQ(error.line, c.line) << error.reason;
        EXPECT_NE(error.reason.find(c.reason), std::string::npos) << error.reason;
        EXPECT_EQ(buffer, before);
    }
}

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
            LoadedImage loaded;
            ASSERT_TRUE(LoadImageAnyFormat(folder / name, MemoryKind::Flash, readBack, size, loaded,
                                           readError))
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
