// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/instructions.h"

namespace zelk {
namespace {

constexpr std::uint8_t ProgrammingEnableEcho = 0x53;
// A location being programmed reads 0x7F until the write has finished.
constexpr std::uint8_t BusyByte = 0x7F;
constexpr std::uint8_t ErasedFlashByte = 0xFF;

constexpr std::int32_t ProgrammingEnableWaitUs = 10000;
constexpr std::int32_t ChipEraseWaitUs = 50000;
constexpr std::int32_t FlashByteWaitUs = 4500;
constexpr std::int32_t FlashBusyByteWaitUs = 14000;
constexpr std::int32_t EepromByteWaitUs = 15000;
constexpr std::int32_t FlashPageWaitUs = 25000;
// A polled write that still reads busy after this long has failed; a sound part needs a few
// milliseconds.
constexpr std::int32_t PollLimitUs = 50000;
constexpr std::int32_t PollIntervalUs = 100;
// Short, so that a polled write ends close to the chip's own write time.
constexpr std::int32_t ReadyPollIntervalUs = 10;
constexpr std::uint8_t PollReadyBusyInstruction = 0xF0;

std::uint8_t Low(std::uint32_t value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

// One byte, most significant bit first; SCK stays high after its last bit. SCK falls together
// with the next bit on MOSI, so a bit takes one SCK period: the target samples MOSI on the
// rising edge, half a period after it was set.
std::uint8_t Exchange(Programmer& programmer, std::uint8_t out, std::int32_t extraMicroseconds) {
    std::uint8_t in = 0;
    for (int bit = 7; bit >= 0; --bit) {
        const bool one = ((out >> bit) & 1) != 0;
        in = static_cast<std::uint8_t>((in << 1) | programmer.ClockBit(one, extraMicroseconds));
    }
    return in;
}

// A byte whose answer nobody reads: each bit costs two port writes and no read.
void ShiftOut(Programmer& programmer, std::uint8_t out) {
    for (int bit = 7; bit >= 0; --bit) {
        programmer.ClockBitOut(((out >> bit) & 1) != 0, 0);
    }
}

// Four bytes in a row, SCK back low at the end; the result is the byte received with the
// fourth. The answers to the first three are not read: they only echo what was sent.
std::uint8_t Query(Programmer& programmer, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3,
                   std::uint8_t b4) {
    ShiftOut(programmer, b1);
    ShiftOut(programmer, b2);
    ShiftOut(programmer, b3);
    const std::uint8_t answer = Exchange(programmer, b4, 0);
    programmer.LowerSckNow();
    return answer;
}

// An instruction whose answer is not used.
void Send(Programmer& programmer, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3,
          std::uint8_t b4) {
    ShiftOut(programmer, b1);
    ShiftOut(programmer, b2);
    ShiftOut(programmer, b3);
    ShiftOut(programmer, b4);
    programmer.LowerSckNow();
}

// Bit 3 of the first byte selects the high byte of the word at address >> 1.
std::uint8_t WithHighByteFlag(std::uint8_t opcode, std::uint32_t address) {
    return (address & 1) != 0 ? static_cast<std::uint8_t>(opcode | 0x08) : opcode;
}

void SendProgramMemoryWrite(Programmer& programmer, std::uint32_t address, std::uint8_t data) {
    Send(programmer, WithHighByteFlag(0x40, address), Low(address >> 9), Low(address >> 1), data);
}

} // namespace

std::uint8_t SpiTransfer(Programmer& programmer, std::uint8_t out) {
    return SpiTransferSlow(programmer, out, 0);
}

std::uint8_t SpiTransferSlow(Programmer& programmer, std::uint8_t out,
                             std::int32_t extraMicroseconds) {
    const std::uint8_t in = Exchange(programmer, out, extraMicroseconds);
    programmer.LowerSckNow();
    return in;
}

bool ProgrammingEnable(Programmer& programmer) {
    // The third byte comes back as the echo of the second once the target is in step.
    ShiftOut(programmer, 0xAC);
    ShiftOut(programmer, 0x53);
    const std::uint8_t echo = Exchange(programmer, 0x00, 0);
    ShiftOut(programmer, 0x00);
    programmer.LowerSckNow();
    if (echo != ProgrammingEnableEcho) {
        return false;
    }
    programmer.DelayUs(ProgrammingEnableWaitUs);
    return true;
}

bool WaitWriteDone(Programmer& programmer, std::int32_t worstCaseUs) {
    if (!programmer.device.pollReadyBusy || programmer.fixedWaits) {
        programmer.DelayUs(worstCaseUs);
        return true;
    }
    // Only the waits between polls count towards the bound, so a write is never given up
    // before its worst case has passed.
    std::int32_t waited = 0;
    while ((Query(programmer, PollReadyBusyInstruction, 0x00, 0x00, 0x00) & 0x01) != 0) {
        if (waited >= worstCaseUs) {
            return false;
        }
        programmer.DelayUs(ReadyPollIntervalUs);
        waited += ReadyPollIntervalUs;
    }
    return true;
}

std::uint8_t ReadSignatureByte(Programmer& programmer, std::uint8_t index) {
    return Query(programmer, 0x30, 0x00, index, 0x00);
}

bool ChipErase(Programmer& programmer) {
    Send(programmer, 0xAC, 0x80, 0x00, 0x00);
    return WaitWriteDone(programmer, ChipEraseWaitUs);
}

std::uint8_t ReadProgramMemory(Programmer& programmer, std::uint32_t address) {
    return Query(programmer, WithHighByteFlag(0x20, address), Low(address >> 9), Low(address >> 1),
                 0x00);
}

void WriteProgramMemory(Programmer& programmer, std::uint32_t address, std::uint8_t data) {
    if (data == ErasedFlashByte) {
        return;
    }
    SendProgramMemoryWrite(programmer, address, data);
    programmer.DelayUs(FlashByteWaitUs);
}

bool WriteProgramMemoryPolled(Programmer& programmer, std::uint32_t address, std::uint8_t data) {
    if (data == ErasedFlashByte) {
        return true;
    }
    SendProgramMemoryWrite(programmer, address, data);
    if (data == BusyByte) {
        // The value itself reads like busy, so polling cannot see the end of the write.
        programmer.DelayUs(FlashBusyByteWaitUs);
        return true;
    }
    // The byte reads 0x7F while it is written and its value once done; any other value means
    // the write was lost (the chip was still busy) or met unerased bits, and waiting longer
    // cannot mend either. Only the waits between polls count towards the limit, so the limit
    // is never reached early, on hardware or on a simulated clock.
    std::int32_t waited = 0;
    for (;;) {
        const std::uint8_t read = ReadProgramMemory(programmer, address);
        if (read == data) {
            return true;
        }
        if (read != BusyByte || waited >= PollLimitUs) {
            return false;
        }
        programmer.DelayUs(PollIntervalUs);
        waited += PollIntervalUs;
    }
}

std::uint8_t ReadEepromMemory(Programmer& programmer, std::uint32_t address) {
    return Query(programmer, 0xA0, Low(address >> 8), Low(address), 0x00);
}

bool WriteEepromMemory(Programmer& programmer, std::uint32_t address, std::uint8_t data) {
    Send(programmer, 0xC0, Low(address >> 8), Low(address), data);
    return WaitWriteDone(programmer, EepromByteWaitUs);
}

void LoadProgramMemoryPage(Programmer& programmer, std::uint32_t offset, std::uint8_t data) {
    Send(programmer, WithHighByteFlag(0x40, offset), 0x00, Low((offset & 0xFF) >> 1), data);
}

bool WriteProgramMemoryPage(Programmer& programmer, std::uint32_t wordAddress) {
    Send(programmer, 0x4C, Low(wordAddress >> 8), Low(wordAddress), 0x00);
    return WaitWriteDone(programmer, FlashPageWaitUs);
}

std::uint8_t ReadLockBits(Programmer& programmer) {
    return Query(programmer, 0x58, 0x00, 0x00, 0x00);
}

void WriteLockBitsByte2(Programmer& programmer, std::uint8_t value) {
    Send(programmer, 0xAC, static_cast<std::uint8_t>(value | 0xF9), 0xFF, 0xFF);
}

void WriteLockBitsByte4(Programmer& programmer, std::uint8_t value) {
    Send(programmer, 0xAC, 0xFF, 0xFF, value);
}

std::uint8_t ReadFuseBits(Programmer& programmer) {
    return Query(programmer, 0x50, 0x00, 0x00, 0xFF);
}

std::uint8_t ReadFuseHighBits(Programmer& programmer) {
    return Query(programmer, 0x58, 0x08, 0x00, 0xFF);
}

std::uint8_t ReadExtendedFuseBits(Programmer& programmer) {
    return Query(programmer, 0x50, 0x08, 0x00, 0xFF);
}

void WriteFuseBits(Programmer& programmer, std::uint8_t value) {
    Send(programmer, 0xAC, 0xA0, 0x00, value);
}

void WriteFuseBitsByte2(Programmer& programmer, std::uint8_t value) {
    Send(programmer, 0xAC, value, 0xFF, 0xFF);
}

void WriteFuseHighBits(Programmer& programmer, std::uint8_t value) {
    Send(programmer, 0xAC, 0xA8, 0x00, value);
}

void WriteExtendedFuseBits(Programmer& programmer, std::uint8_t value) {
    Send(programmer, 0xAC, 0xA4, 0x00, value);
}

} // namespace zelk
