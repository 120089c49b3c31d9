// SPDX-License-Identifier: GPL-3.0-or-later
// The program's copies of the target's two memories.
#pragma once

#include "memory/address_set.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelk {

// The largest memories the system handles, not the size of the attached device.
inline constexpr std::size_t FlashImageSize = 0x20000;
inline constexpr std::size_t EepromImageSize = 0x8000;

// 0xFF is what an erased AVR memory reads; the flash write skips bytes and pages that hold it.
inline constexpr std::uint8_t ErasedByte = 0xFF;

enum class MemoryKind { Flash, Eeprom };

// The flash and EEPROM images. Fixed-size buffers, never resized: the views hold pointers into
// them.
struct TargetImages {
    std::vector<std::uint8_t> flashImage = std::vector<std::uint8_t>(FlashImageSize, ErasedByte);
    std::vector<std::uint8_t> eepromImage = std::vector<std::uint8_t>(EepromImageSize, ErasedByte);
    // How many bytes of each image the memory views show (and Load File pre-fills with 0xFF).
    std::uint32_t flashShownLength = FlashImageSize;
    std::uint32_t eepromShownLength = EepromImageSize;
    // The addresses a load, a read of the chip or the user's typing gave a value: writes and
    // verifies touch these alone.
    AddressSet flashDefined;
    AddressSet eepromDefined;

    std::vector<std::uint8_t>& Image(MemoryKind memory) {
        return memory == MemoryKind::Flash ? flashImage : eepromImage;
    }
    const std::vector<std::uint8_t>& Image(MemoryKind memory) const {
        return memory == MemoryKind::Flash ? flashImage : eepromImage;
    }
    AddressSet& Defined(MemoryKind memory) {
        return memory == MemoryKind::Flash ? flashDefined : eepromDefined;
    }
    const AddressSet& Defined(MemoryKind memory) const {
        return memory == MemoryKind::Flash ? flashDefined : eepromDefined;
    }
    std::uint32_t& ShownLength(MemoryKind memory) {
        return memory == MemoryKind::Flash ? flashShownLength : eepromShownLength;
    }
};

} // namespace zelk
