// SPDX-License-Identifier: GPL-3.0-or-later
// Serial numbering: writes the stored serial number as zero-padded ASCII digits into the
// target's EEPROM and reads the EEPROM back into its image; the caller stores the next number.
#pragma once

#include "engine/programmer.h"
#include "engine/target_ui.h"
#include "memory/target_images.h"
#include "platform/settings_store.h"

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

// The stored "SerialNumber", "Length" and "Location" of the "Preferences" section.
struct SerialNumberSettings {
    std::string number;
    int length = 0;
    int location = 0;
};

SerialNumberSettings LoadSerialNumberSettings(const SettingsStore& store);
// The values given, stored in one update; false, with the store's problem, when they were not.
bool StoreSerialNumberSettings(SettingsStore& store, const SerialNumberSettings& settings);

// Why the settings cannot be used, before the target is touched: a number that is none, a
// Length of 0, a number with more digits than Length, a negative Location.
std::optional<std::string> SerialNumberProblem(const SerialNumberSettings& settings);

// Writes the stored number into the target's EEPROM, reads the digits back, stores the next
// number and reads the EEPROM into its image; tells the user which number went where ("Serial
// number 0041 written at 00000010; next 42"). The store is locked from reading the number to
// storing the next one, so two runs at once never write the same number; the lock is taken
// only once the target was identified. Nullopt, after telling the user, when the settings are
// not usable or the digits pass the end of the device's EEPROM (nothing is written), the target
// was not ready, the digits did not read back ("Serial number write failed at %08X !") or the
// next number could not be stored: the stored number then stays. Nullopt too when the EEPROM
// cannot be read into the image afterwards; the number is used up then, as it is on the chip.
// Else the number written.
std::optional<std::uint32_t> SerialNumbering(Programmer& programmer, TargetImages& images,
                                             TargetUi& ui, SettingsStore& store);

} // namespace zelk
