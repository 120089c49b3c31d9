// Serial numbering: writes the stored serial number as zero-padded ASCII digits into the
// target's EEPROM and reads the EEPROM back into its image; the caller stores the next number.
#pragma once

#include "engine/programmer.h"
#include "engine/target_ui.h"
#include "memory/target_images.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelk {

// The value of a stored serial number: empty reads as 0; anything but decimal digits, or a
// number whose successor does not fit 32 bits, gives nullopt.
std::optional<std::uint32_t> ParseSerialNumber(std::string_view text);

// The digits written: `text` padded with "0" in front to `length` characters, cut to `length`.
std::string SerialDigits(std::string_view text, int length);

// The stored "SerialNumber", "Length" and "Location".
struct SerialNumberSettings {
    std::string number;
    int length = 0;
    int location = 0;
};

// Why the settings cannot be used, before the target is touched: a number that is none, a
// Length of 0, a number with more digits than Length, a negative Location.
std::optional<std::string> SerialNumberProblem(const SerialNumberSettings& settings);

// The number to store next, once the digits were written and read back. Nullopt, after
// telling the user, when the settings are not usable or the digits pass the end of the
// device's EEPROM (nothing is written), the target was not ready, or the digits did not read
// back ("Serial number write failed at %08X !"): the stored number must then stay.
std::optional<std::uint32_t> SerialNumbering(Programmer& programmer, TargetImages& images,
                                             TargetUi& ui, const SerialNumberSettings& settings);

} // namespace zelk
