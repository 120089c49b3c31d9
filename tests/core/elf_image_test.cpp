#include "elf_builder.h"
#include "memory/image_file.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

namespace zelk {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::BuildElf;
using testing::ElfSection;

std::string SampleProgram() {
    return testing::ReadWholeFile(std::filesystem::path(ZELK_TEST_DATA_DIR) / "avr_program.elf");
}

struct Load {
    bool ok = false;
    std::string reason;
    Bytes image;
    LoadedImage loaded;
};

// Every load starts from an image of 0x11 bytes, so that a failed load that changed it shows.
Load LoadElf(std::string contents, MemoryKind memory, std::size_t imageSize = 0x100) {
    Load result;
    result.image.assign(imageSize, 0x11);
    HexFileError error;
    result.ok = LoadImageContents(std::move(contents), "program.elf", memory, result.image,
                                  imageSize, result.loaded, error);
    result.reason = error.reason;
    return result;
}

Bytes Erased(std::size_t size) {
    return Bytes(size, ErasedByte);
}

// The file was linked by the GNU linker's own script: .data is stored after .text, the
// EEPROM section sits 0x810000 up, and fuses and lock bits are returned, never loaded.
TEST(ElfImage, LoadsTheMemoriesOfALinkedProgram) {
    const Load flash = LoadElf(SampleProgram(), MemoryKind::Flash, 0x20);
    ASSERT_TRUE(flash.ok) << flash.reason;
    Bytes expected = Erased(0x20);
    const Bytes program = {0x02, 0xE1, 0x14, 0xE3, 0xFD, 0xCF, 0xD1, 0xD2, 0xD3, 0xD4};
    std::copy(program.begin(), program.end(), expected.begin());
    EXPECT_EQ(flash.image, expected);
    EXPECT_EQ(flash.loaded.format, ImageFormat::Elf);
    EXPECT_EQ(flash.loaded.defined, (std::vector<AddressRange>{{0, 10}}));
    ASSERT_EQ(flash.loaded.otherMemories.size(), 2u);
    EXPECT_EQ(flash.loaded.otherMemories[0].memory, OtherMemory::Fuses);
    EXPECT_EQ(flash.loaded.otherMemories[0].section, ".fuse");
    EXPECT_EQ(flash.loaded.otherMemories[0].address, 0u);
    EXPECT_EQ(flash.loaded.otherMemories[0].bytes, (Bytes{0x62, 0xD9, 0xFF}));
    EXPECT_EQ(flash.loaded.otherMemories[1].memory, OtherMemory::LockBits);
    EXPECT_EQ(flash.loaded.otherMemories[1].bytes, Bytes{0xFC});

    const Load eeprom = LoadElf(SampleProgram(), MemoryKind::Eeprom, 8);
    ASSERT_TRUE(eeprom.ok) << eeprom.reason;
    EXPECT_EQ(eeprom.image, (Bytes{0xE1, 0xE2, 0xE3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(eeprom.loaded.defined, (std::vector<AddressRange>{{0, 3}}));
    EXPECT_EQ(eeprom.loaded.otherMemories.size(), 2u);
}

// Sections that hold nothing to program are passed over; a section outside every segment is
// stored at its own address; the signature memory is returned like the fuses.
TEST(ElfImage, TakesOnlyAllocatedSectionsWithContents) {
    const Load load = LoadElf(BuildElf({
                                  {".text", 0x00, 0x00, "\x01\x02"},
                                  {".bss", 0x800100, 0x800100, "\x00\x00", SHT_NOBITS},
                                  {".comment", 0, 0, "GCC", SHT_PROGBITS, 0},
                                  {".boot", 0x40, 0x40, "\x0B", SHT_PROGBITS, SHF_ALLOC, false},
                                  {".signature", 0x840000, 0x840000, "\x1E\x95\x0F"},
                              }),
                              MemoryKind::Flash, 0x80);
    ASSERT_TRUE(load.ok) << load.reason;
    EXPECT_EQ(load.loaded.defined, (std::vector<AddressRange>{{0, 2}, {0x40, 0x41}}));
    EXPECT_EQ(load.image[0x40], 0x0B);
    EXPECT_EQ(load.image[2], 0xFF);
    ASSERT_EQ(load.loaded.otherMemories.size(), 1u);
    EXPECT_EQ(load.loaded.otherMemories[0].memory, OtherMemory::Signature);
    EXPECT_EQ(load.loaded.otherMemories[0].bytes, (Bytes{0x1E, 0x95, 0x0F}));
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

TEST(ElfImage, RefusesWhatItCannotProgramAndKeepsTheImage) {
    const std::string sample = SampleProgram();
    const struct {
        const char* name;
        std::string contents;
        MemoryKind memory;
        std::size_t imageSize;
        std::string reason; // the start of it
    } cases[] = {
        {"machine x86-64", Patched(sample, 18, EM_X86_64), MemoryKind::Flash, 0x100,
         "ELF file for machine 62, not AVR"},
        {"64-bit", testing::Elf64Header(), MemoryKind::Flash, 0x100, "64-bit ELF file"},
        {"object file", Patched(sample, 16, ET_REL), MemoryKind::Flash, 0x100,
         "ELF file is not a linked program"},
        {"inside the header", sample.substr(0, 30), MemoryKind::Flash, 0x100, "damaged ELF file"},
        {"no section headers", sample.substr(0, 0x4F8), MemoryKind::Flash, 0x100,
         "damaged ELF file"},
        {"last section header cut", sample.substr(0, sample.size() - 20), MemoryKind::Flash, 0x100,
         "damaged ELF file"},
        {"data beyond the flash image", sample, MemoryKind::Flash, 8,
         "section .data: address 0x8 lies beyond the image (0x8 bytes)"},
        {"text beyond the flash image", sample, MemoryKind::Flash, 4,
         "section .text: address 0x4 lies beyond the image (0x4 bytes)"},
        {"beyond the EEPROM image", sample, MemoryKind::Eeprom, 2,
         "section .eeprom: address 0x2 lies beyond the image (0x2 bytes)"},
        {"stored in RAM", BuildElf({{".data", 0x800100, 0x800100, "\x01"}}), MemoryKind::Flash,
         0x100, "section .data has its load address 0x800100 in RAM"},
        {"outside every memory", BuildElf({{".far", 0x900000, 0x900000, "\x01"}}),
         MemoryKind::Eeprom, 0x100, "section .far has its load address 0x900000 outside"},
        {"overlapping sections",
         BuildElf({{".text", 0, 0, "\x01\x02\x03\x04"}, {".data", 0x800100, 2, "\x05"}}),
         MemoryKind::Flash, 0x100, "section .data: address 0x2 is also given"},
        {"section data past the end of the file",
         MovedSectionData(BuildElf({{".text", 0, 0, std::string(16, '\x01')}}), 1, 0x10000),
         MemoryKind::Flash, 0x100,
         "section .text: damaged ELF file: its data lies past the end of the file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Load load = LoadElf(c.contents, c.memory, c.imageSize);
        EXPECT_FALSE(load.ok);
        EXPECT_TRUE(load.reason.starts_with(c.reason)) << load.reason;
        EXPECT_EQ(load.image, Bytes(c.imageSize, 0x11));
    }
}

} // namespace
} // namespace zelk
