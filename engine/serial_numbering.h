// Serial numbering: writes the stored serial number as zero-padded ASCII digits into the
// target's EEPROM, reads the EEPROM back into its image and advances the stored number.
#pragma once

#include "app/app_state.h"
#include "engine/target_ui.h"

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

// True when the digits were written and the next number stored. A stored number that is not
// usable writes nothing and does not advance.
bool SerialNumbering(AppState& app, TargetUi& ui);

} // namespace zelk
