// SPDX-License-Identifier: GPL-3.0-or-later
#include "elf_builder.h"
#include "memory/image_file.h"
#include "scratch_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace zelk {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Ranges = std::vector<AddressRange>;
using testing::BuildElf;

// 02 33 7A at 0x30.
const std::string Intel30 = ":0300300002337A1E\n:00000001FF\n";
// 16 bytes at 0.
const std::string S1At0 = "S1130000285F245F2212226A000424290008237C2A\n";
// Linked by the GNU linker's own script: .data is stored after .text, the EEPROM section sits
// 0x810000 up, and fuses and lock bits are returned, never loaded.
const std::string Sample =
    testing::ReadWholeFile(std::filesystem::path(ZELK_TEST_DATA_DIR) / "avr_program.elf");

struct Load {
    bool ok = false;
    HexFileError error;
    Bytes image;
    LoadedImage loaded;
};

// Every load starts from an image of 0x11 bytes, so that a failed load that changed it shows.
Load LoadContents(std::string contents, const char* name, MemoryKind memory = MemoryKind::Flash,
                  std::size_t imageSize = 0x100, std::size_t shownLength = 0x100) {
    Load result;
    result.image.assign(imageSize, 0x11);
    result.ok = LoadImageContents(std::move(contents), name, memory, result.image, shownLength,
                                  result.loaded, result.error);
    return result;
}

std::string Patched(std::string contents, std::size_t offset, std::uint8_t value) {
    contents[offset] = static_cast<char>(value);
    return contents;
}

// Points section `index` at `offset` in the file, leaving everything else in place.
std::string MovedSectionData(std::string file, std::size_t index, Elf32_Off offset) {
    Elf32_Ehdr header;
    std::memcpy(&header, file.data(), sizeof header);
    Elf32_Shdr section;
    const std::size_t at = header.e_shoff + index * sizeof section;
    std::memcpy(&section, file.data() + at, sizeof section);
    section.sh_offset = offset;
    std::memcpy(file.data() + at, &section, sizeof section);
    return file;
}

// The extension names the format and the contents must not contradict it; without one the
// contents decide, and nothing is guessed. A stored 0xFF is defined as much as any other byte.
// A refused file leaves the image as it was.
TEST(ImageFile, LoadsExactlyWhatTheFileDefinesOrNothing) {
    const std::string elf = BuildElf({{".text", 0, 0, "\x01\x02"}});
    // Two jumps, as a program's vector table begins.
    const std::string binary("\x0C\x94\x34\x00\x0C\x94\x3E\x00", 8);
    const struct {
        const char* name;
        std::string contents;
        std::optional<ImageFormat> format; // nothing: refused
        Ranges defined;
        int line = 0;            // of a refusal
        std::string reason = ""; // the start of a refusal's reason; empty: the HEX reader's own
        MemoryKind memory = MemoryKind::Flash;
        std::size_t imageSize = 0x100;
    } cases[] = {
        {"a.hex", Intel30, ImageFormat::IntelHex, {{0x30, 0x33}}},
        {"a.EEP", Intel30, ImageFormat::IntelHex, {{0x30, 0x33}}},
        {"a.hex", S1At0, ImageFormat::IntelHex, {{0, 0x10}}},
        {"a.s19", S1At0, ImageFormat::SRecord, {{0, 0x10}}},
        {"a.elf", elf, ImageFormat::Elf, {{0, 2}}},
        {"a.bin", Intel30, ImageFormat::Binary, {{0, Intel30.size()}}},
        {"a.bin", std::string("\xFF\x00\xFF", 3), ImageFormat::Binary, {{0, 3}}},
        {"a.hex",
         ":020010000102EB\n:02001200FFFFEE\n:0100200000DF\n:00000001FF\n",
         ImageFormat::IntelHex,
         {{0x10, 0x14}, {0x20, 0x21}}},
        {"a.hex", ":04004000FF00FFFFBF\n:00000001FF\n", ImageFormat::IntelHex, {{0x40, 0x44}}},
        {"a.dat", Intel30, ImageFormat::IntelHex, {{0x30, 0x33}}},
        {"-", "\r\n  \n" + S1At0, ImageFormat::SRecord, {{0, 0x10}}},
        {"firmware", elf, ImageFormat::Elf, {{0, 2}}},
        {"a.hex", elf, {}, {}, 0, "named \".hex\" but holds an ELF file"},
        {"a.mot", elf, {}, {}, 0, "named \".mot\" but holds an ELF file"},
        {"a.bin", elf, {}, {}, 0, "named \".bin\" but holds an ELF file"},
        {"a.elf", Intel30, {}, {}, 0, "not an ELF file"},
        {"a.hex", binary, {}, {}, 1, ""},
        {"-", binary, {}, {}, 0, "cannot tell the format from the contents"},
        {"-", "Some notes\n", {}, {}, 0, "cannot tell the format from the contents"},
        {"-", ":;\n", {}, {}, 0, "cannot tell the format from the contents"},
        {"-", " \n", {}, {}, 0, "no data"},
        {"a.txt", "", {}, {}, 0, "no data"},
        {"a.bin",
         std::string(0x101, '\0'),
         {},
         {},
         0,
         "binary of 0x101 bytes is larger than the image (0x100 bytes)"},
        {"a.hex", ":0300300002337A1E\n:0300300002337A1F\n", {}, {}, 2, ""},
        {"a.hex", ":01010000AA54\n", {}, {}, 1, ""},
        {"a.elf", Patched(Sample, 18, EM_X86_64), {}, {}, 0, "ELF file for machine 62, not AVR"},
        {"a.elf", Patched(Sample, EI_CLASS, ELFCLASS64), {}, {}, 0, "64-bit ELF file"},
        {"a.elf", Patched(Sample, 16, ET_REL), {}, {}, 0, "ELF file is not a linked program"},
        {"a.elf", Sample.substr(0, 30), {}, {}, 0, "damaged ELF file"},
        {"a.elf", Sample.substr(0, 0x4F8), {}, {}, 0, "damaged ELF file"},
        {"a.elf", Sample.substr(0, Sample.size() - 20), {}, {}, 0, "damaged ELF file"},
        {"a.elf",
         Sample,
         {},
         {},
         0,
         "section .data: address 0x8 lies beyond the image (0x8 bytes)",
         MemoryKind::Flash,
         8},
        {"a.elf",
         Sample,
         {},
         {},
         0,
         "section .text: address 0x4 lies beyond the image (0x4 bytes)",
         MemoryKind::Flash,
         4},
        {"a.elf",
         Sample,
         {},
         {},
         0,
         "section .eeprom: address 0x2 lies beyond the image (0x2 bytes)",
         MemoryKind::Eeprom,
         2},
        {"a.elf",
         BuildElf({{".data", 0x800100, 0x800100, "\x01"}}),
         {},
         {},
         0,
         "section .data has its load address 0x800100 in RAM"},
        {"a.elf",
         BuildElf({{".far", 0x900000, 0x900000, "\x01"}}),
         {},
         {},
         0,
         "section .far has its load address 0x900000 outside",
         MemoryKind::Eeprom},
        {"a.elf",
         BuildElf({{".text", 0, 0, "\x01\x02\x03\x04"}, {".data", 0x800100, 2, "\x05"}}),
         {},
         {},
         0,
         "section .data: address 0x2 is also given"},
        {"a.elf",
         MovedSectionData(BuildElf({{".text", 0, 0, std::string(16, '\x01')}}), 1, 0x10000),
         {},
         {},
         0,
         "section .text: damaged ELF file: its data lies past the end of the file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << &c - cases << ", " << c.name);
        const Load load = LoadContents(c.contents, c.name, c.memory, c.imageSize);
        ASSERT_EQ(load.ok, c.format.has_value()) << load.error.reason;
        if (c.format) {
            EXPECT_EQ(load.loaded.format, *c.format);
            EXPECT_EQ(load.loaded.defined, c.defined);
        } else {
            EXPECT_EQ(load.error.line, c.line);
            EXPECT_FALSE(load.error.reason.empty());
            EXPECT_TRUE(load.error.reason.starts_with(c.reason)) << load.error.reason;
            EXPECT_EQ(load.image, Bytes(c.imageSize, 0x11));
        }
    }
}

// The shown part is erased and the file laid over it; the rest of the image keeps its bytes.
TEST(ImageFile, ErasesOnlyTheShownPartBeforeLoading) {
    const Load binary = LoadContents("\x01\x02\x03", "a.bin", MemoryKind::Flash, 0x100, 8);
    ASSERT_TRUE(binary.ok) << binary.error.reason;
    Bytes expected(0x100, 0x11);
    std::fill_n(expected.begin(), 8, ErasedByte);
    expected[0] = 1, expected[1] = 2, expected[2] = 3;
    EXPECT_EQ(binary.image, expected);
}

// Sections that hold nothing to program are passed over; a section outside every segment is
// stored at its own address. Fuses, lock bits and the signature memory are returned with the
// image, never loaded into it.
TEST(ElfImage, LoadsEachMemoryFromItsSectionsAndReturnsTheOthers) {
    using Other = std::tuple<OtherMemory, std::string, std::uint32_t, Bytes>;
    const std::vector<Other> sampleOthers = {{OtherMemory::Fuses, ".fuse", 0, {0x62, 0xD9, 0xFF}},
                                             {OtherMemory::LockBits, ".lock", 0, {0xFC}}};
    const struct {
        std::string contents;
        MemoryKind memory;
        std::string image; // all of it after the load
        Ranges defined;
        std::vector<Other> others;
    } cases[] = {
        {Sample,
         MemoryKind::Flash,
         "\x02\xE1\x14\xE3\xFD\xCF\xD1\xD2\xD3\xD4\xFF\xFF",
         {{0, 10}},
         sampleOthers},
        {Sample, MemoryKind::Eeprom, "\xE1\xE2\xE3\xFF\xFF", {{0, 3}}, sampleOthers},
        {BuildElf({
             {".text", 0x00, 0x00, "\x01\x02"},
             {".bss", 0x800100, 0x800100, "\x00\x00", SHT_NOBITS},
             {".comment", 0, 0, "GCC", SHT_PROGBITS, 0},
             {".boot", 0x40, 0x40, "\x0B", SHT_PROGBITS, SHF_ALLOC, false},
             {".signature", 0x840000, 0x840000, "\x1E\x95\x0F"},
         }),
         MemoryKind::Flash,
         "\x01\x02" + std::string(0x3E, '\xFF') + "\x0B\xFF",
         {{0, 2}, {0x40, 0x41}},
         {{OtherMemory::Signature, ".signature", 0, {0x1E, 0x95, 0x0F}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.image.size());
        const Load load = LoadContents(c.contents, "a.elf", c.memory, c.image.size());
        ASSERT_TRUE(load.ok) << load.error.reason;
        EXPECT_EQ(std::string(load.image.begin(), load.image.end()), c.image);
        EXPECT_EQ(load.loaded.defined, c.defined);
        std::vector<Other> others;
        for (const OtherMemoryData& other : load.loaded.otherMemories) {
            others.emplace_back(other.memory, other.section, other.address, other.bytes);
        }
        EXPECT_EQ(others, c.others);
    }
}

// None of these may block, grow memory without bound or load as an image, whether read for any
// format or as a HEX file. "-" reads standard input: the test puts a file there for the call.
TEST(ImageFile, ReadsOnlyRegularFilesOfBoundedSizeOrStandardInput) {
    testing::ScratchFolder folder;
    testing::WriteWholeFile(folder / "firmware", Intel30);
    ASSERT_EQ(::mkfifo((folder / "fifo.hex").c_str(), 0600), 0);
    // Sparse: its size is over the limit, its blocks are not.
    testing::WriteWholeFile(folder / "huge.bin", "");
    std::filesystem::resize_file(folder / "huge.bin", MaxInputSize + 1);
    const int saved = ::dup(STDIN_FILENO);
    const int input = ::open((folder / "firmware").c_str(), O_RDONLY);
    ASSERT_GE(input, 0);
    ::dup2(input, STDIN_FILENO);
    ::close(input);
    const struct {
        std::filesystem::path path;
        std::string reason; // empty: loaded
    } cases[] = {
        {folder / "firmware", ""},
        {"-", ""},
        {folder / "missing.hex", "cannot open file: No such file or directory"},
        {folder / "fifo.hex", "not a regular file"},
        {folder.Path(), "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {"/dev/urandom", "not a regular file"},
        {folder / "huge.bin", "larger than 64 MiB"},
    };
    Bytes firmware(0x100, ErasedByte);
    firmware[0x30] = 0x02, firmware[0x31] = 0x33, firmware[0x32] = 0x7A;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Bytes image(0x100, 0x11);
        LoadedImage loaded;
        HexFileError error;
        const bool ok =
            LoadImageAnyFormat(c.path, MemoryKind::Eeprom, image, image.size(), loaded, error);
        EXPECT_EQ(ok, c.reason.empty());
        EXPECT_EQ(error.reason, c.reason);
        EXPECT_EQ(image, ok ? firmware : Bytes(0x100, 0x11));
    }
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
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
