// SPDX-License-Identifier: GPL-3.0-or-later
// The AVR serial programming instructions, each four bytes on the cable's SPI lines.
#pragma once

#include "engine/programmer.h"

#include <cstdint>

namespace zelk {

std::uint8_t SpiTransfer(Programmer& programmer, std::uint8_t out);
std::uint8_t SpiTransferSlow(Programmer& programmer, std::uint8_t out,
                             std::int32_t extraMicroseconds);

// The data sheets' worst case of a fuse or lock byte write.
inline constexpr std::int32_t FuseWriteWaitUs = 10000;

bool ProgrammingEnable(Programmer& programmer);
// Ends a write: a part that answers Poll RDY/BSY is polled until ready, unless the Programmer
// asks for fixed waits; others get `worstCaseUs`. False when the part still reads busy after
// the worst case: the write failed.
bool WaitWriteDone(Programmer& programmer, std::int32_t worstCaseUs);
std::uint8_t ReadSignatureByte(Programmer& programmer, std::uint8_t index);
// The writes below answer WaitWriteDone.
bool ChipErase(Programmer& programmer);
std::uint8_t ReadProgramMemory(Programmer& programmer, std::uint32_t address);
void WriteProgramMemory(Programmer& programmer, std::uint32_t address, std::uint8_t data);
// False when the location does not read back as `data`: still busy (0x7F) 50 ms after the
// write, or holding another value at once (the write was lost, or the byte was not erased).
bool WriteProgramMemoryPolled(Programmer& programmer, std::uint32_t address, std::uint8_t data);
std::uint8_t ReadEepromMemory(Programmer& programmer, std::uint32_t address);
bool WriteEepromMemory(Programmer& programmer, std::uint32_t address, std::uint8_t data);
void LoadProgramMemoryPage(Programmer& programmer, std::uint32_t offset, std::uint8_t data);
bool WriteProgramMemoryPage(Programmer& programmer, std::uint32_t wordAddress);
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
