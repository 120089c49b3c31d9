#include "engine/instructions.h"

#include "engine/port_lines.h"

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

std::uint8_t Low(std::uint32_t value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

std::uint8_t TransferBits(std::uint8_t out, std::int32_t extraMicroseconds) {
    const PinMap& pins = Engine().pinMap;
    std::uint8_t in = 0;
    for (int bit = 7; bit >= 0; --bit) {
        SetLine(pins.mosi, static_cast<std::uint8_t>((out >> bit) & 1));
        SetLine(pins.sck, 1);
        const int miso = ReadStatusLine(pins.miso);
        SetLine(pins.sck, 0);
        DelayUs(extraMicroseconds);
        in = static_cast<std::uint8_t>((in << 1) | miso);
    }
    return in;
}

// Four bytes in a row; the result is the byte received with the fourth.
std::uint8_t Instruction(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4) {
    SpiTransfer(b1);
    SpiTransfer(b2);
    SpiTransfer(b3);
    return SpiTransfer(b4);
}

// Bit 3 of the first byte selects the high byte of the word at address >> 1.
std::uint8_t WithHighByteFlag(std::uint8_t opcode, std::uint32_t address) {
    return (address & 1) != 0 ? static_cast<std::uint8_t>(opcode | 0x08) : opcode;
}

void SendProgramMemoryWrite(std::uint32_t address, std::uint8_t data) {
    Instruction(WithHighByteFlag(0x40, address), Low(address >> 9), Low(address >> 1), data);
}

} // namespace

std::uint8_t SpiTransfer(std::uint8_t out) {
    return TransferBits(out, 0);
}

std::uint8_t SpiTransferSlow(std::uint8_t out, std::int32_t extraMicroseconds) {
    return TransferBits(out, extraMicroseconds);
}

bool ProgrammingEnable() {
    SpiTransfer(0xAC);
    SpiTransfer(0x53);
    const std::uint8_t echo = SpiTransfer(0x00);
    SpiTransfer(0x00);
    if (echo != ProgrammingEnableEcho) {
        return false;
    }
    DelayUs(ProgrammingEnableWaitUs);
    return true;
}

std::uint8_t ReadSignatureByte(std::uint8_t index) {
    return Instruction(0x30, 0x00, index, 0x00);
}

void ChipErase() {
    Instruction(0xAC, 0x80, 0x00, 0x00);
    DelayUs(ChipEraseWaitUs);
}

std::uint8_t ReadProgramMemory(std::uint32_t address) {
    return Instruction(WithHighByteFlag(0x20, address), Low(address >> 9), Low(address >> 1), 0x00);
}

void WriteProgramMemory(std::uint32_t address, std::uint8_t data) {
    if (data == ErasedFlashByte) {
        return;
    }
    SendProgramMemoryWrite(address, data);
    DelayUs(FlashByteWaitUs);
}

bool WriteProgramMemoryPolled(std::uint32_t address, std::uint8_t data) {
    if (data == ErasedFlashByte) {
        return true;
    }
    SendProgramMemoryWrite(address, data);
    if (data == BusyByte) {
        // The value itself reads like busy, so polling cannot see the end of the write.
        DelayUs(FlashBusyByteWaitUs);
        return true;
    }
    // Only the waits between polls count towards the limit, so the limit is never reached
    // early, on hardware or on a simulated clock.
    std::int32_t waited = 0;
    while (ReadProgramMemory(address) == BusyByte) {
        if (waited >= PollLimitUs) {
            return false;
        }
        DelayUs(PollIntervalUs);
        waited += PollIntervalUs;
    }
    return true;
}

std::uint8_t ReadEepromMemory(std::uint32_t address) {
    return Instruction(0xA0, Low(address >> 8), Low(address), 0x00);
}

void WriteEepromMemory(std::uint32_t address, std::uint8_t data) {
    Instruction(0xC0, Low(address >> 8), Low(address), data);
    DelayUs(EepromByteWaitUs);
}

void LoadProgramMemoryPage(std::uint32_t offset, std::uint8_t data) {
    Instruction(WithHighByteFlag(0x40, offset), 0x00, Low((offset & 0xFF) >> 1), data);
}

void WriteProgramMemoryPage(std::uint32_t wordAddress) {
    Instruction(0x4C, Low(wordAddress >> 8), Low(wordAddress), 0x00);
    DelayUs(FlashPageWaitUs);
}

std::uint8_t ReadLockBits() {
    return Instruction(0x58, 0x00, 0x00, 0x00);
}

void WriteLockBitsByte2(std::uint8_t value) {
    Instruction(0xAC, static_cast<std::uint8_t>(value | 0xF9), 0xFF, 0xFF);
}

void WriteLockBitsByte4(std::uint8_t value) {
    Instruction(0xAC, 0xFF, 0xFF, value);
}

std::uint8_t ReadFuseBits() {
    return Instruction(0x50, 0x00, 0x00, 0xFF);
}

std::uint8_t ReadFuseHighBits() {
    return Instruction(0x58, 0x08, 0x00, 0xFF);
}

std::uint8_t ReadExtendedFuseBits() {
    return Instruction(0x50, 0x08, 0x00, 0xFF);
}

void WriteFuseBits(std::uint8_t value) {
    Instruction(0xAC, 0xA0, 0x00, value);
}

void WriteFuseBitsByte2(std::uint8_t value) {
    Instruction(0xAC, value, 0xFF, 0xFF);
}

void WriteFuseHighBits(std::uint8_t value) {
    Instruction(0xAC, 0xA8, 0x00, value);
}

void WriteExtendedFuseBits(std::uint8_t value) {
    Instruction(0xAC, 0xA4, 0x00, value);
}

} // namespace zelk
