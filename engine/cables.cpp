// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/cables.h"

#include "platform/gpio_port.h"

#include <array>

namespace zelk {
namespace {

// Type 2 drives its lines through buffers enabled by AUTOFEED alone; turning them off sets
// every other control bit except bit 5. Bit 5 would turn a bidirectional port's data lines
// into inputs, and the next command's cable recognition, which runs before the drivers are
// switched on again, would then see no loop-back and refuse the cable.
constexpr std::uint8_t AlteraDriversOn = 0x02;
constexpr std::uint8_t AlteraDriversOff = 0xDD;

constexpr PinMap KestanPins{.miso = 0x80, .mosi = 0x40, .sck = 0x01, .reset = 0x02, .reset2 = 0x04};

constexpr std::array<CableInfo, 7> CableTable = {{
    {CableKestan,
     "Kestan's Original",
     "kestan",
     KestanPins,
     {.data = 0x08, .status = 0x08},
     false,
     DriverSwitch::None,
     0,
     0,
     0,
     MisoPolarity::Inverted},
    {CableAltera,
     "Altera Compatible",
     "altera",
     KestanPins,
     {.data = 0x20, .status = 0x40},
     false,
     DriverSwitch::ControlRegister,
     AlteraDriversOn,
     AlteraDriversOff,
     0,
     MisoPolarity::Inverted},
    {CableStk200,
     "STK200/300 Dongle",
     "stk200",
     {.miso = 0x40, .mosi = 0x20, .sck = 0x10, .reset = 0x80, .reset2 = 0x40},
     {.data = 0x01, .status = 0x20},
     false,
     DriverSwitch::DataBitsLow,
     0,
     0,
     0x0C,
     MisoPolarity::AsRead},
    {CableSp12,
     "SP12",
     "sp12",
     {.miso = 0x80, .mosi = 0x80, .sck = 0x01, .reset = 0x02, .reset2 = 0x40},
     {},
     true,
     DriverSwitch::None,
     0,
     0,
     0,
     MisoPolarity::Inverted},
    {CableUsb,
     "USB",
     "usb",
     {.miso = 0x10, .mosi = 0x01, .sck = 0x02, .reset = 0x04, .reset2 = 0x08},
     {},
     false,
     DriverSwitch::None,
     0,
     0,
     0,
     MisoPolarity::Inverted},
    // No loop-back wires: it is used as chosen. The port turns the data bits into line
    // requests and reads MISO as it is.
    {CableGpio,
     "GPIO header",
     "gpio",
     {.miso = GpioMisoBit, .mosi = GpioMosiBit, .sck = GpioSckBit, .reset = GpioResetBit},
     {},
     false,
     DriverSwitch::DataBitsLow,
     0,
     0,
     GpioDriverBits,
     MisoPolarity::AsRead,
     CableMedium::Gpio},
    {CableNone, "", "", {}, {}, false, DriverSwitch::None, 0, 0, 0, MisoPolarity::Inverted},
}};

} // namespace

std::span<const CableInfo> Cables() {
    return CableTable;
}

const CableInfo* FindCable(int type) {
    for (const CableInfo& cable : CableTable) {
        if (cable.type == type) {
            return &cable;
        }
    }
    return nullptr;
}

const CableInfo* FindCableByCliName(std::string_view name) {
    for (const CableInfo& cable : CableTable) {
        if (!cable.cliName.empty() && cable.cliName == name) {
            return &cable;
        }
    }
    return nullptr;
}

} // namespace zelk
