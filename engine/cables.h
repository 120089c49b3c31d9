// SPDX-License-Identifier: GPL-3.0-or-later
// The programming cables: one row per cable type, read by cable recognition, the line
// operations, the driver switching, zelk-cli's --cable names and the Preferences list.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace zelk {

// The stored "Interface" values: 0 lets PrepareTarget take the cable it recognises.
inline constexpr int CableAutoDetect = 0;
inline constexpr int CableKestan = 1;
inline constexpr int CableAltera = 2;
inline constexpr int CableStk200 = 3;
inline constexpr int CableSp12 = 4;
inline constexpr int CableUsb = 5;
// The GPIO header of a single-board computer, reached with a "gpio:" port only.
inline constexpr int CableGpio = 6;
// No usable cable: every line mask is 0.
inline constexpr int CableNone = 0xFFFF;

struct PinMap {
    std::uint8_t miso = 0; // status register bit
    std::uint8_t mosi = 0; // data register bits from here on
    std::uint8_t sck = 0;
    std::uint8_t reset = 0;
    std::uint8_t reset2 = 0;
};

// A wire that joins a data pin to a status pin, by which the cable is recognised.
struct LoopBack {
    std::uint8_t data = 0; // none when 0
    std::uint8_t status = 0;
};

// How the cable's line drivers are switched.
enum class DriverSwitch : std::uint8_t {
    None,            // always on
    ControlRegister, // absolute values written to the control register
    DataBitsLow,     // on while the data bits of `driverBits` are low
};

enum class MisoPolarity : std::uint8_t { Inverted, AsRead };

// What a cable hangs on.
enum class CableMedium : std::uint8_t { ParallelPort, Gpio };

struct CableInfo {
    int type;
    std::string_view name;    // the Preferences text
    std::string_view cliName; // zelk-cli's --cable value; empty when it cannot be chosen
    PinMap pins;
    LoopBack loopBack;
    // Recognised when no loop-back of another cable is found (a cable without loop-backs).
    bool recognisedWithoutLoopBack;
    DriverSwitch drivers;
    std::uint8_t controlOn;  // ControlRegister
    std::uint8_t controlOff; // ControlRegister
    std::uint8_t driverBits; // DataBitsLow
    MisoPolarity miso;
    CableMedium medium = CableMedium::ParallelPort;
};

// Every cable type 1 to 6 in the order recognition tries their loop-backs, then CableNone.
std::span<const CableInfo> Cables();
// The row of a cable type; null for "<AutoDetect>" and values not in the table.
const CableInfo* FindCable(int type);
// The row of a --cable name; null for "auto" and unknown names.
const CableInfo* FindCableByCliName(std::string_view name);

} // namespace zelk
