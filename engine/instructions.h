// The AVR serial programming instructions, each four bytes on the cable's SPI lines.
#pragma once

#include <cstdint>

namespace zelk {

std::uint8_t SpiTransfer(std::uint8_t out);
std::uint8_t SpiTransferSlow(std::uint8_t out, std::int32_t extraMicroseconds);

bool ProgrammingEnable();
std::uint8_t ReadSignatureByte(std::uint8_t index);
void ChipErase();
std::uint8_t ReadProgramMemory(std::uint32_t address);
void WriteProgramMemory(std::uint32_t address, std::uint8_t data);
// False when the location still reads busy (0x7F) 50 ms after the write: the write failed.
bool WriteProgramMemoryPolled(std::uint32_t address, std::uint8_t data);
std::uint8_t ReadEepromMemory(std::uint32_t address);
void WriteEepromMemory(std::uint32_t address, std::uint8_t data);
void LoadProgramMemoryPage(std::uint32_t offset, std::uint8_t data);
void WriteProgramMemoryPage(std::uint32_t wordAddress);
std::uint8_t ReadLockBits();
void WriteLockBitsByte2(std::uint8_t value);
void WriteLockBitsByte4(std::uint8_t value);
std::uint8_t ReadFuseBits();
std::uint8_t ReadFuseHighBits();
std::uint8_t ReadExtendedFuseBits();
void WriteFuseBits(std::uint8_t value);
void WriteFuseBitsByte2(std::uint8_t value);
void WriteFuseHighBits(std::uint8_t value);
void WriteExtendedFuseBits(std::uint8_t value);

} // namespace zelk
