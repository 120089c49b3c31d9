// A minimal host for tests of the simulated port: it drives the cable's lines bit by bit
// the way the programming engine does, so the simulator is checked at the pins.
#pragma once

#include "engine/port_io.h"
#include "engine/port_lines.h"

#include <array>
#include <cstdint>

namespace zelk::test {

class SimBitBanger {
public:
    SimBitBanger(PortIo& simPort, int cable) : port(simPort), cableType(cable) {
        switch (cableType) {
        case CableStk200:
            lines = {0x40, 0x20, 0x10, 0x80, false};
            break;
        case CableSp12:
            lines = {0x80, 0x80, 0x01, 0x02, true};
            break;
        case CableUsb:
            lines = {0x10, 0x01, 0x02, 0x04, true};
            break;
        default:
            lines = {0x80, 0x40, 0x01, 0x02, true};
            break;
        }
    }

    void SetData(std::uint8_t mask, bool level) {
        shadow = static_cast<std::uint8_t>(level ? shadow | mask : shadow & ~mask);
        port.Write(PortRegister::Data, shadow);
        port.Wait(1);
    }
    bool StatusBit(std::uint8_t mask) { return (port.Read(PortRegister::Status) & mask) != 0; }
    bool Miso() { return StatusBit(lines.miso) != lines.misoInverted; }

    void EnableDrivers() {
        if (cableType == CableAltera) {
            port.Write(PortRegister::Control, 0x02);
        } else if (cableType == CableStk200) {
            shadow &= 0xF3;
            port.Write(PortRegister::Data, shadow);
        }
    }

    std::uint8_t Transfer(std::uint8_t out, std::int32_t extraMicroseconds = 0) {
        std::uint8_t in = 0;
        for (int bit = 7; bit >= 0; --bit) {
            SetData(lines.mosi, ((out >> bit) & 1) != 0);
            SetData(lines.sck, true);
            in = static_cast<std::uint8_t>(in << 1 | (Miso() ? 1 : 0));
            SetData(lines.sck, false);
            if (extraMicroseconds > 0) {
                port.Wait(extraMicroseconds);
            }
        }
        return in;
    }

    void PulseSck() {
        SetData(lines.sck, true);
        port.Wait(10);
        SetData(lines.sck, false);
        port.Wait(10);
    }

    void DisableDrivers() {
        if (cableType == CableAltera) {
            port.Write(PortRegister::Control, 0x00);
        } else if (cableType == CableStk200) {
            shadow |= 0x0C;
            port.Write(PortRegister::Data, shadow);
        }
    }

    // Every line low, a positive reset pulse, then reset held.
    void EnterReset(bool withDrivers = true) {
        shadow = 0;
        if (withDrivers) {
            EnableDrivers();
        } else {
            DisableDrivers();
        }
        SetData(lines.reset, false);
        port.Wait(10000);
        SetData(lines.reset, true);
        port.Wait(5000);
        SetData(lines.reset, false);
        port.Wait(30000);
    }

    std::array<std::uint8_t, 4> Instruction(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3,
                                            std::uint8_t b4) {
        return {Transfer(b1), Transfer(b2), Transfer(b3), Transfer(b4)};
    }
    std::uint8_t Read(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4 = 0) {
        return Instruction(b1, b2, b3, b4)[3];
    }
    bool ProgrammingEnable() { return Instruction(0xAC, 0x53, 0x00, 0x00)[2] == 0x53; }

    // Reset and Programming Enable, with one SCK pulse after each failed attempt. Returns
    // the attempt that got the echo (1 for the first), 0 when none of `attempts` did.
    int EnterProgrammingMode(int attempts = 32) {
        EnterReset();
        for (int attempt = 1; attempt <= attempts; ++attempt) {
            if (ProgrammingEnable()) {
                return attempt;
            }
            PulseSck();
        }
        return 0;
    }

    std::uint8_t ReadFlash(std::uint32_t address) {
        return Read(address % 2 != 0 ? 0x28 : 0x20, static_cast<std::uint8_t>(address >> 9),
                    static_cast<std::uint8_t>(address >> 1));
    }
    void WriteFlashByte(std::uint32_t address, std::uint8_t value) {
        Instruction(address % 2 != 0 ? 0x48 : 0x40, static_cast<std::uint8_t>(address >> 9),
                    static_cast<std::uint8_t>(address >> 1), value);
    }
    std::uint8_t ReadEeprom(std::uint32_t address) {
        return Read(0xA0, static_cast<std::uint8_t>(address >> 8),
                    static_cast<std::uint8_t>(address));
    }
    void WriteEeprom(std::uint32_t address, std::uint8_t value) {
        Instruction(0xC0, static_cast<std::uint8_t>(address >> 8),
                    static_cast<std::uint8_t>(address), value);
    }
    void ReleaseReset() { SetData(lines.reset, true); }

private:
    struct Lines {
        std::uint8_t miso;
        std::uint8_t mosi;
        std::uint8_t sck;
        std::uint8_t reset;
        bool misoInverted;
    };
    PortIo& port;
    int cableType;
    Lines lines{};
    std::uint8_t shadow = 0;
};

} // namespace zelk::test
