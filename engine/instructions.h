// The AVR serial programming instructions, each four bytes on the cable's SPI lines.
#pragma once

#include "engine/programmer.h"

#include <cstdint>

namespace zelk {

std::uint8_t SpiTransfer(Programmer& programmer, std::uint8_t out);
std::uint8_t SpiTransferSlow(Programmer& programmer, std::uint8_t out,
                             std::int32_t extraMicroseconds);

bool ProgrammingEnable(Programmer& programmer);
std::uint8_t ReadSignatureByte(Programmer& programmer, std::uint8_t index);
void ChipErase(Programmer& programmer);
std::uint8_t ReadProgramMemory(Programmer& programmer, std::uint32_t address);
void WriteProgramMemory(Programmer& programmer, std::uint32_t address, std::uint8_t data);
// False when the location still reads busy (0x7F) 50 ms after the write: the write failed.
bool WriteProgramMemoryPolled(Programmer& programmer, std::uint32_t address, std::uint8_t data);
std::uint8_t ReadEepromMemory(Programmer& programmer, std::uint32_t address);
void WriteEepromMemory(Programmer& programmer, std::uint32_t address, std::uint8_t data);
void LoadProgramMemoryPage(Programmer& programmer, std::uint32_t offset, std::uint8_t data);
void WriteProgramMemoryPage(Programmer& programmer, std::uint32_t wordAddress);
std::uint8_t ReadLockBits(Programmer& programmer);
void WriteLockBitsByte2(Programmer& programmer, std::uint8_t value);
void WriteLockBitsByte4(Programmer& programmer, std::uint8_t value);
std::uint8_t ReadFuseBits(Programmer& programmer);
std::uint8_t ReadFuseHighBits(Programmer& programmer);
std::uint8_t ReadExtendedFuseBits(Programmer& programmer);
void WriteFuseBits(Programmer& programmer, std::uint8_t value);
void WriteFuseBitsByte2(Programmer& programmer, std::uint8_t value);
void WriteFuseHighBits(Programmer& programmer, std::uint8_t value);
void WriteExtendedFuseBits(Programmer& programmer, std::uint8_t value);

} // namespace zelk
