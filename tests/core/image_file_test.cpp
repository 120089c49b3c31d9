#include "elf_builder.h"
#include "memory/image_file.h"
#include "scratch_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace zelk {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Ranges = std::vector<AddressRange>;

// 02 33 7A at 0x30.
const std::string Intel30 = ":0300300002337A1E\n:00000001FF\n";
// 16 bytes at 0.
const std::string S1At0 = "S1130000285F245F2212226A000424290008237C2A\n";

struct Load {
    bool ok = false;
    HexFileError error;
    Bytes image;
    LoadedImage loaded;
};

// Every load starts from an image of 0x11 bytes, so that a failed load that changed it shows.
Load LoadContents(std::string contents, const char* name, std::size_t shownLength = 0x100) {
    Load result;
    result.image.assign(0x100, 0x11);
    result.ok = LoadImageContents(std::move(contents), name, MemoryKind::Flash, result.image,
                                  shownLength, result.loaded, result.error);
    return result;
}

TEST(ImageFile, ExtensionNamesTheFormatAndContentsMustNotContradictIt) {
    const std::string elf = testing::BuildElf({{".text", 0, 0, "\x01\x02"}});
    // Two jumps, as a program's vector table begins.
    const std::string binary("\x0C\x94\x34\x00\x0C\x94\x3E\x00", 8);
    const struct {
        const char* name;
        std::string contents;
        std::optional<ImageFormat> format; // nothing: refused
        std::string reason;                // the start of the reason for a refusal
    } cases[] = {
        {"a.hex", Intel30, ImageFormat::IntelHex, ""},
        {"a.EEP", Intel30, ImageFormat::IntelHex, ""},
        {"a.hex", S1At0, ImageFormat::IntelHex, ""},
        {"a.s19", S1At0, ImageFormat::SRecord, ""},
        {"a.elf", elf, ImageFormat::Elf, ""},
        {"a.bin", Intel30, ImageFormat::Binary, ""},
        {"a.hex", elf, std::nullopt, "named \".hex\" but holds an ELF file"},
        {"a.mot", elf, std::nullopt, "named \".mot\" but holds an ELF file"},
        {"a.bin", elf, std::nullopt, "named \".bin\" but holds an ELF file"},
        {"a.elf", Intel30, std::nullopt, "not an ELF file"},
        {"a.hex", binary, std::nullopt, ""}, // the HEX reader's own reason
        // No extension that names a format: the contents decide, and nothing is guessed.
        {"a.dat", Intel30, ImageFormat::IntelHex, ""},
        {"-", "\r\n  \n" + S1At0, ImageFormat::SRecord, ""},
        {"firmware", elf, ImageFormat::Elf, ""},
        {"-", binary, std::nullopt, "cannot tell the format from the contents"},
        {"-", "Some notes\n", std::nullopt, "cannot tell the format from the contents"},
        {"-", ":;\n", std::nullopt, "cannot tell the format from the contents"},
        {"-", " \n", std::nullopt, "no data"},
        {"a.txt", "", std::nullopt, "no data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + c.contents.substr(0, 12));
        const Load load = LoadContents(c.contents, c.name);
        ASSERT_EQ(load.ok, c.format.has_value()) << load.error.reason;
        if (c.format) {
            EXPECT_EQ(load.loaded.format, *c.format);
            EXPECT_FALSE(load.loaded.DefinesNothing());
        } else {
            EXPECT_FALSE(load.error.reason.empty());
            EXPECT_TRUE(load.error.reason.starts_with(c.reason)) << load.error.reason;
            EXPECT_EQ(load.image, Bytes(0x100, 0x11));
        }
    }
}

// A stored 0xFF is defined as much as any other byte: a file may set a byte to its erased value.
TEST(ImageFile, AnswersExactlyTheAddressesTheFileDefines) {
    const struct {
        const char* name;
        std::string contents;
        Ranges defined;
    } cases[] = {
        {"one record", Intel30, {{0x30, 0x33}}},
        {"touching records merge",
         ":020010000102EB\n:02001200FFFFEE\n:0100200000DF\n:00000001FF\n",
         {{0x10, 0x14}, {0x20, 0x21}}},
        {"erased bytes stored", ":04004000FF00FFFFBF\n:00000001FF\n", {{0x40, 0x44}}},
        {"S-records", S1At0, {{0x00, 0x10}}},
        {"raw binary", std::string("\xFF\x00\xFF", 3), {{0, 3}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = c.name == std::string("raw binary") ? "a.bin" : "a.hex";
        const Load load = LoadContents(c.contents, name.c_str());
        ASSERT_TRUE(load.ok) << load.error.line << ": " << load.error.reason;
        EXPECT_EQ(load.loaded.defined, c.defined);
        if (!c.defined.empty()) {
            EXPECT_EQ(load.loaded.Lowest(), c.defined.front().begin);
            EXPECT_EQ(load.loaded.Highest(), c.defined.back().end - 1);
        }
    }
}

// The shown part is erased and the file laid over it; the rest of the image keeps its bytes.
// A refused file leaves the image as it was.
TEST(ImageFile, ChangesTheImageOnlyWhenTheWholeFileIsAccepted) {
    const Load binary = LoadContents("\x01\x02\x03", "a.bin", 8);
    ASSERT_TRUE(binary.ok) << binary.error.reason;
    Bytes expected(0x100, 0x11);
    std::fill_n(expected.begin(), 8, ErasedByte);
    expected[0] = 1, expected[1] = 2, expected[2] = 3;
    EXPECT_EQ(binary.image, expected);

    const struct {
        const char* name;
        std::string contents;
        int line;
        std::string reason;
    } refused[] = {
        {"a.bin", std::string(0x101, '\0'), 0,
         "binary of 0x101 bytes is larger than the image (0x100 bytes)"},
        // The HEX reader's own reasons.
        {"a.hex", ":0300300002337A1E\n:0300300002337A1F\n", 2, ""},
        {"a.hex", ":01010000AA54\n", 1, ""},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.reason);
        const Load load = LoadContents(c.contents, c.name);
        EXPECT_FALSE(load.ok);
        EXPECT_EQ(load.error.line, c.line);
        EXPECT_FALSE(load.error.reason.empty());
        EXPECT_TRUE(load.error.reason.starts_with(c.reason)) << load.error.reason;
        EXPECT_EQ(load.image, Bytes(0x100, 0x11));
    }
}

TEST(ImageFile, ReadsOnlyRegularFilesOfBoundedSize) {
    testing::ScratchFolder folder;
    testing::WriteWholeFile(folder / "firmware", Intel30);
    ASSERT_EQ(::mkfifo((folder / "fifo.hex").c_str(), 0600), 0);
    // Sparse: its size is over the limit, its blocks are not.
    {
        const int fd = ::open((folder / "huge.bin").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(MaxInputSize + 1)), 0);
        ::close(fd);
    }
    const struct {
        std::string name;
        std::string reason; // empty: loaded
    } cases[] = {
        {"firmware", ""},
        {"missing.hex", "cannot open file: No such file or directory"},
        {"fifo.hex", "not a regular file"},
        {".", "not a regular file"},
        {"huge.bin", "larger than 64 MiB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image(0x100, 0x11);
        LoadedImage loaded;
        HexFileError error;
        const bool ok = LoadImageAnyFormat(folder / c.name, MemoryKind::Eeprom, image, image.size(),
                                           loaded, error);
        EXPECT_EQ(ok, c.reason.empty());
        EXPECT_EQ(error.reason, c.reason);
        EXPECT_EQ(image[0x30], ok ? 0x02 : 0x11);
    }
}

// "-" reads standard input; the test puts a file there for the call.
TEST(ImageFile, DashReadsStandardInput) {
    testing::ScratchFolder folder;
    testing::WriteWholeFile(folder / "input", S1At0);
    const int saved = ::dup(STDIN_FILENO);
    const int input = ::open((folder / "input").c_str(), O_RDONLY);
    ASSERT_GE(input, 0);
    ::dup2(input, STDIN_FILENO);
    ::close(input);
    Bytes image(0x20, 0x11);
    LoadedImage loaded;
    HexFileError error;
    const bool ok = LoadImageAnyFormat("-", MemoryKind::Flash, image, image.size(), loaded, error);
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
    ASSERT_TRUE(ok) << error.reason;
    EXPECT_EQ(loaded.format, ImageFormat::SRecord);
    EXPECT_EQ(loaded.defined, (Ranges{{0, 0x10}}));
    EXPECT_EQ(image[0], 0x28);
}

TEST(ImageFile, OutputFormatComesFromTheNameOrTheRequestAndMustAgree) {
    const struct {
        const char* path;
        std::optional<ImageFormat> requested;
        std::optional<ImageFormat> format; // nothing: refused
        const char* reason;
    } cases[] = {
        {"a.hex", std::nullopt, ImageFormat::IntelHex, ""},
        {"a.S19", std::nullopt, ImageFormat::SRecord, ""},
        {"a.eep", ImageFormat::IntelHex, ImageFormat::IntelHex, ""},
        {"a.dat", ImageFormat::Binary, ImageFormat::Binary, ""},
        {"-", ImageFormat::SRecord, ImageFormat::SRecord, ""},
        {"-", std::nullopt, std::nullopt, "an output format must be given (hex, srec or bin)"},
        {"a.dat", std::nullopt, std::nullopt,
         "unknown file type \".dat\" (use .hex, .srec or .bin, or give an output format)"},
        {"a.hex", ImageFormat::Binary, std::nullopt,
         "name ends in \".hex\" but the output format is bin"},
        {"a.elf", std::nullopt, std::nullopt,
         "zelk does not write ELF files (use .hex, .srec or .bin)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string error;
        EXPECT_EQ(OutputFormatFor(c.path, c.requested, error), c.format);
        EXPECT_EQ(error, c.reason);
    }
}

TEST(ImageFile, WritesAFileNamedForAnotherToolInTheRequestedFormat) {
    testing::ScratchFolder folder;
    Bytes image(0x40, ErasedByte);
    image[0x30] = 0x02, image[0x31] = 0x33, image[0x32] = 0x7A;
    for (const auto& [name, format] : {std::pair{"a.eep", std::optional<ImageFormat>()},
                                       std::pair{"a.txt", std::optional(ImageFormat::IntelHex)}}) {
        std::string error;
        ASSERT_TRUE(WriteImageAnyFormat(folder / name, format, image, error)) << error;
        EXPECT_EQ(testing::ReadWholeFile(folder / name),
                  ":1000300002337AFFFFFFFFFFFFFFFFFFFFFFFFFF1E\n:00000001FF\n");
    }
}

} // namespace
} // namespace zelk
