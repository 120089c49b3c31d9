// The program's copies of the target's two memories.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelk {

// The largest memories the system handles, not the size of the attached device.
inline constexpr std::size_t FlashImageSize = 0x20000;
inline constexpr std::size_t EepromImageSize = 0x8000;

// 0xFF is what an erased AVR memory reads; the flash write skips bytes and pages that hold it.
inline constexpr std::uint8_t ErasedByte = 0xFF;

enum class MemoryKind { Flash, Eeprom };

} // namespace zelk
