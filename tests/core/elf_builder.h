// SPDX-License-Identifier: GPL-3.0-or-later
// Small ELF files laid out by hand, for cases the toolchain does not make: each allocated
// section gets a loadable segment of its own that gives its run address and its load address.
#pragma once

#include <cstring>
#include <elf.h>
#include <string>
#include <vector>

namespace zelk::testing {

struct ElfSection {
    std::string name;
    Elf32_Addr address = 0;     // where it runs
    Elf32_Addr loadAddress = 0; // where it is stored
    std::string bytes;
    Elf32_Word type = SHT_PROGBITS;
    Elf32_Word flags = SHF_ALLOC;
    bool inSegment = true;
};

template <typename T> void Append(std::string& out, const T& value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

inline std::string BuildElf(const std::vector<ElfSection>& sections) {
    std::string names(1, '\0');
    std::vector<Elf32_Word> nameOffsets;
    for (const ElfSection& section : sections) {
        nameOffsets.push_back(static_cast<Elf32_Word>(names.size()));
        names += section.name + '\0';
    }
    const auto namesName = static_cast<Elf32_Word>(names.size());
    names += std::string(".shstrtab") + '\0';

    std::size_t segmentCount = 0;
    for (const ElfSection& section : sections) {
        segmentCount += section.inSegment ? 1 : 0;
    }
    const std::size_t dataStart = sizeof(Elf32_Ehdr) + segmentCount * sizeof(Elf32_Phdr);
    std::vector<Elf32_Off> offsets;
    std::string data;
    for (const ElfSection& section : sections) {
        offsets.push_back(static_cast<Elf32_Off>(dataStart + data.size()));
        if (section.type != SHT_NOBITS) {
            data += section.bytes;
        }
    }
    const auto namesOffset = static_cast<Elf32_Off>(dataStart + data.size());
    data += names;
    data.resize((data.size() + 3) / 4 * 4, '\0');

    Elf32_Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS32;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_EXEC;
    header.e_machine = EM_AVR;
    header.e_version = EV_CURRENT;
    header.e_phoff = segmentCount > 0 ? sizeof(Elf32_Ehdr) : 0;
    header.e_shoff = static_cast<Elf32_Off>(dataStart + data.size());
    header.e_ehsize = sizeof(Elf32_Ehdr);
    header.e_phentsize = sizeof(Elf32_Phdr);
    header.e_phnum = static_cast<Elf32_Half>(segmentCount);
    header.e_shentsize = sizeof(Elf32_Shdr);
    header.e_shnum = static_cast<Elf32_Half>(sections.size() + 2);
    header.e_shstrndx = static_cast<Elf32_Half>(sections.size() + 1);

    std::string file;
    Append(file, header);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const ElfSection& section = sections[i];
        if (!section.inSegment) {
            continue;
        }
        Elf32_Phdr segment{};
        segment.p_type = PT_LOAD;
        segment.p_offset = offsets[i];
        segment.p_vaddr = section.address;
        segment.p_paddr = section.loadAddress;
        const auto size = static_cast<Elf32_Word>(section.bytes.size());
        segment.p_filesz = section.type == SHT_NOBITS ? 0 : size;
        segment.p_memsz = size;
        segment.p_flags = PF_R;
        segment.p_align = 1;
        Append(file, segment);
    }
    file += data;
    Append(file, Elf32_Shdr{});
    for (std::size_t i = 0; i < sections.size(); ++i) {
        Elf32_Shdr entry{};
        entry.sh_name = nameOffsets[i];
        entry.sh_type = sections[i].type;
        entry.sh_flags = sections[i].flags;
        entry.sh_addr = sections[i].address;
        entry.sh_offset = offsets[i];
        entry.sh_size = static_cast<Elf32_Word>(sections[i].bytes.size());
        entry.sh_addralign = 1;
        Append(file, entry);
    }
    Elf32_Shdr namesEntry{};
    namesEntry.sh_name = namesName;
    namesEntry.sh_type = SHT_STRTAB;
    namesEntry.sh_offset = namesOffset;
    namesEntry.sh_size = static_cast<Elf32_Word>(names.size());
    namesEntry.sh_addralign = 1;
    Append(file, namesEntry);
    return file;
}

} // namespace zelk::testing
