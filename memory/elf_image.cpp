// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/elf_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <gelf.h>
#include <libelf.h>
#include <optional>
#include <string_view>

namespace zelk {
namespace {

// avr-gcc links every memory of the chip into one address space, each at its own offset.
constexpr std::uint64_t RamStart = 0x800000;
constexpr std::uint64_t EepromStart = 0x810000;
constexpr std::uint64_t FusesStart = 0x820000;
constexpr std::uint64_t LockBitsStart = 0x830000;
constexpr std::uint64_t SignatureStart = 0x840000;
constexpr std::uint64_t UserSignaturesStart = 0x850000;
constexpr std::uint64_t UserSignaturesEnd = 0x860000;

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string Describe(int code) {
    const char* reason = elf_errmsg(code);
    return std::string("damaged ELF file") + (reason != nullptr ? std::string(": ") + reason : "");
}

// libelf's reason for the last failure; reading it clears it.
std::string Damaged() {
    return Describe(elf_errno());
}

// elf_getdata and elf_nextscn answer null both at the end and on failure; only a pending
// error tells them apart.
std::string FailureIfAny() {
    const int code = elf_errno();
    return code == 0 ? std::string() : Describe(code);
}

class ElfHandle {
public:
    explicit ElfHandle(std::string& contents) {
        elf_version(EV_CURRENT);
        elf = elf_memory(contents.data(), contents.size());
    }
    ~ElfHandle() { elf_end(elf); }
    ElfHandle(const ElfHandle&) = delete;
    ElfHandle& operator=(const ElfHandle&) = delete;

    Elf* get() const { return elf; }

private:
    Elf* elf = nullptr;
};

// Where a section's bytes go in the chip: avr-gcc runs .data at a RAM address but stores it
// in flash after .text, and only the loadable segment that holds the section knows where.
// A section in no segment is stored at its own address.
std::uint64_t LoadAddress(const GElf_Shdr& section, const std::vector<GElf_Phdr>& segments) {
    for (const GElf_Phdr& segment : segments) {
        if (segment.p_type != PT_LOAD || section.sh_offset < segment.p_offset ||
            section.sh_addr < segment.p_vaddr) {
            continue;
        }
        const std::uint64_t intoFile = section.sh_offset - segment.p_offset;
        if (intoFile == section.sh_addr - segment.p_vaddr && intoFile <= segment.p_filesz &&
            section.sh_size <= segment.p_filesz - intoFile) {
            return segment.p_paddr + intoFile;
        }
    }
    return section.sh_addr;
}

// libelf takes a section table that lies past the end of the file for none at all, which
// would turn a cut-off file into an empty program.
std::string CheckTablesFit(const GElf_Ehdr& header, std::uint64_t fileSize) {
    const auto fits = [fileSize](std::uint64_t offset, std::uint64_t count, std::uint64_t size) {
        return offset <= fileSize && count <= (fileSize - offset) / size;
    };
    // With 0xFF00 sections or more the count is kept in the first entry, so one is there.
    const std::uint64_t sectionCount = std::max<std::uint64_t>(header.e_shnum, 1);
    if (header.e_shoff == 0 || !fits(header.e_shoff, sectionCount, sizeof(Elf32_Shdr))) {
        return "damaged ELF file: the section table is missing or cut off";
    }
    if (!fits(header.e_phoff, header.e_phnum, sizeof(Elf32_Phdr))) {
        return "damaged ELF file: the program header table is cut off";
    }
    return {};
}

struct Section {
    std::string name;
    std::uint64_t loadAddress = 0;
    std::vector<std::uint8_t> bytes;
};

std::string SectionBytes(Elf_Scn* scn, const GElf_Shdr& header, std::uint64_t fileSize,
                         std::vector<std::uint8_t>& bytes) {
    // Checked before anything is allocated: a damaged size could ask for gigabytes.
    if (header.sh_offset > fileSize || header.sh_size > fileSize - header.sh_offset) {
        return "damaged ELF file: its data lies past the end of the file";
    }
    bytes.assign(header.sh_size, 0);
    Elf_Data* data = nullptr;
    while ((data = elf_getdata(scn, data)) != nullptr) {
        if (data->d_buf == nullptr) {
            continue;
        }
        const auto offset = static_cast<std::uint64_t>(data->d_off);
        if (offset > bytes.size() || data->d_size > bytes.size() - offset) {
            return "damaged ELF file: section data runs past its size";
        }
        const auto* from = static_cast<const std::uint8_t*>(data->d_buf);
        std::copy(from, from + data->d_size, bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    return FailureIfAny();
}

// The sections that put bytes into the chip, in file order.
std::string LoadableSections(Elf* elf, std::uint64_t fileSize, std::vector<Section>& sections) {
    elf_errno(); // forget failures of earlier files
    std::size_t segmentCount = 0;
    std::size_t namesIndex = 0;
    if (elf_getphdrnum(elf, &segmentCount) != 0 || elf_getshdrstrndx(elf, &namesIndex) != 0) {
        return Damaged();
    }
    std::vector<GElf_Phdr> segments(segmentCount);
    for (std::size_t i = 0; i < segmentCount; ++i) {
        if (gelf_getphdr(elf, static_cast<int>(i), &segments[i]) == nullptr) {
            return Damaged();
        }
    }
    Elf_Scn* scn = nullptr;
    while ((scn = elf_nextscn(elf, scn)) != nullptr) {
        GElf_Shdr header;
        if (gelf_getshdr(scn, &header) == nullptr) {
            return Damaged();
        }
        // Debug information and symbols are not allocated; .bss and .noinit take room in RAM
        // but hold nothing to program.
        if (!(header.sh_flags & SHF_ALLOC) || header.sh_type == SHT_NOBITS || header.sh_size == 0) {
            continue;
        }
        Section section;
        const char* name = elf_strptr(elf, namesIndex, header.sh_name);
        section.name = name != nullptr ? name : "#" + std::to_string(elf_ndxscn(scn));
        section.loadAddress = LoadAddress(header, segments);
        if (std::string reason = SectionBytes(scn, header, fileSize, section.bytes);
            !reason.empty()) {
            return "section " + section.name + ": " + reason;
        }
        sections.push_back(std::move(section));
    }
    return FailureIfAny();
}

std::string Store(const Section& section, std::uint64_t address, std::span<std::uint8_t> image,
                  std::vector<bool>& defined) {
    const std::uint64_t size = section.bytes.size();
    if (address >= image.size() || size > image.size() - address) {
        return "section " + section.name + ": address " +
               Hex(std::max<std::uint64_t>(address, image.size())) + " lies beyond the image (" +
               Hex(image.size()) + " bytes)";
    }
    const auto begin = defined.begin() + static_cast<std::ptrdiff_t>(address);
    const auto taken = std::find(begin, begin + static_cast<std::ptrdiff_t>(size), true);
    if (taken != begin + static_cast<std::ptrdiff_t>(size)) {
        return "section " + section.name + ": address " +
               Hex(static_cast<std::uint64_t>(taken - defined.begin())) +
               " is also given by an earlier section";
    }
    std::fill(begin, begin + static_cast<std::ptrdiff_t>(size), true);
    std::copy(section.bytes.begin(), section.bytes.end(),
              image.begin() + static_cast<std::ptrdiff_t>(address));
    return {};
}

std::optional<OtherMemory> OtherMemoryAt(std::uint64_t address) {
    if (address >= FusesStart && address < LockBitsStart) {
        return OtherMemory::Fuses;
    }
    if (address >= LockBitsStart && address < SignatureStart) {
        return OtherMemory::LockBits;
    }
    if (address >= SignatureStart && address < UserSignaturesStart) {
        return OtherMemory::Signature;
    }
    if (address >= UserSignaturesStart && address < UserSignaturesEnd) {
        return OtherMemory::UserSignatures;
    }
    return std::nullopt;
}

std::uint64_t StartOf(OtherMemory memory) {
    switch (memory) {
    case OtherMemory::Fuses:
        return FusesStart;
    case OtherMemory::LockBits:
        return LockBitsStart;
    case OtherMemory::Signature:
        return SignatureStart;
    case OtherMemory::UserSignatures:
        break;
    }
    return UserSignaturesStart;
}

// avr-gcc's note of the chip a program was built for: "AVR", type 1, and a description of
// little-endian words (flash start and size, RAM start and size, EEPROM start and size, the
// length in bytes of an offset table that begins with that length word, the table) followed
// by a string table; the table's first entry is the offset of the chip's name.
constexpr const char* DeviceNoteSection = ".note.gnu.avr.deviceinfo";
constexpr std::size_t DeviceNoteTableAt = 24;

std::uint32_t LittleEndianWord(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// The chip's name in the note's description; empty when the description does not hold one.
std::string DeviceNameOfNote(std::span<const std::uint8_t> desc) {
    if (desc.size() < DeviceNoteTableAt + 8) {
        return {};
    }
    const std::uint32_t tableLength = LittleEndianWord(desc, DeviceNoteTableAt);
    const std::uint32_t nameOffset = LittleEndianWord(desc, DeviceNoteTableAt + 4);
    if (tableLength < 8 || tableLength > desc.size() - DeviceNoteTableAt) {
        return {};
    }
    const std::size_t strings = DeviceNoteTableAt + tableLength;
    if (nameOffset >= desc.size() - strings) {
        return {};
    }
    const auto name = desc.subspan(strings + nameOffset);
    const auto end = std::find(name.begin(), name.end(), std::uint8_t{0});
    return end == name.end() ? std::string() : std::string(name.begin(), end);
}

// The chip named by the device note, empty when the file has none.
std::string DeviceNameOf(Elf* elf, std::uint64_t fileSize) {
    std::size_t namesIndex = 0;
    if (elf_getshdrstrndx(elf, &namesIndex) != 0) {
        return {};
    }
    Elf_Scn* scn = nullptr;
    while ((scn = elf_nextscn(elf, scn)) != nullptr) {
        GElf_Shdr header;
        const char* name = nullptr;
        if (gelf_getshdr(scn, &header) == nullptr || header.sh_type != SHT_NOTE ||
            (name = elf_strptr(elf, namesIndex, header.sh_name)) == nullptr ||
            std::string_view(name) != DeviceNoteSection) {
            continue;
        }
        std::vector<std::uint8_t> bytes;
        if (!SectionBytes(scn, header, fileSize, bytes).empty()) {
            return {};
        }
        // Notes: name size, description size and type, then the name and the description,
        // each padded to four bytes.
        if (bytes.size() < 12) {
            return {};
        }
        const std::uint32_t nameSize = LittleEndianWord(bytes, 0);
        const std::uint32_t descSize = LittleEndianWord(bytes, 4);
        const std::size_t descAt = 12 + (static_cast<std::size_t>(nameSize) + 3) / 4 * 4;
        if (nameSize != 4 || std::memcmp(bytes.data() + 12, "AVR", 4) != 0 ||
            LittleEndianWord(bytes, 8) != 1 || descAt > bytes.size() ||
            descSize > bytes.size() - descAt) {
            return {};
        }
        return DeviceNameOfNote(std::span(bytes).subspan(descAt, descSize));
    }
    elf_errno(); // a damaged table was reported by the loadable sections already
    return {};
}

} // namespace

std::string ReadElfImage(std::string& contents, MemoryKind memory, std::span<std::uint8_t> image,
                         std::vector<bool>& defined, std::vector<OtherMemoryData>& otherMemories,
                         std::string& builtFor) {
    const ElfHandle handle(contents);
    Elf* elf = handle.get();
    if (elf == nullptr || elf_kind(elf) != ELF_K_ELF) {
        return contents.starts_with(ELFMAG) ? "damaged ELF file: its header is cut off"
                                            : "not an ELF file";
    }
    if (gelf_getclass(elf) == ELFCLASS64) {
        return "64-bit ELF file; AVR programs are 32-bit ELF";
    }
    GElf_Ehdr header;
    if (gelf_getehdr(elf, &header) == nullptr) {
        return Damaged();
    }
    if (header.e_machine != EM_AVR) {
        return "ELF file for machine " + std::to_string(header.e_machine) + ", not AVR (83)";
    }
    if (header.e_type != ET_EXEC) {
        return "ELF file is not a linked program";
    }
    if (std::string reason = CheckTablesFit(header, contents.size()); !reason.empty()) {
        return reason;
    }
    std::vector<Section> sections;
    if (std::string reason = LoadableSections(elf, contents.size(), sections); !reason.empty()) {
        return reason;
    }
    for (const Section& section : sections) {
        const std::uint64_t address = section.loadAddress;
        std::string reason;
        if (address < RamStart) {
            if (memory == MemoryKind::Flash) {
                reason = Store(section, address, image, defined);
            }
        } else if (address < EepromStart) {
            reason = "section " + section.name + " has its load address " + Hex(address) +
                     " in RAM, which is not programmed";
        } else if (address < FusesStart) {
            if (memory == MemoryKind::Eeprom) {
                reason = Store(section, address - EepromStart, image, defined);
            }
        } else if (const auto other = OtherMemoryAt(address)) {
            otherMemories.push_back({*other, section.name,
                                     static_cast<std::uint32_t>(address - StartOf(*other)),
                                     section.bytes});
        } else {
            reason = "section " + section.name + " has its load address " + Hex(address) +
                     " outside every AVR memory";
        }
        if (!reason.empty()) {
            return reason;
        }
    }
    builtFor = DeviceNameOf(elf, contents.size());
    return {};
}

} // namespace zelk
