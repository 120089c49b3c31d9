// SPDX-License-Identifier: GPL-3.0-or-later
// The values of the Preferences sheet: where they are stored, which ports the "Port" page
// offers, and what the numeric fields accept.
#pragma once

#include "engine/connection.h"
#include "platform/gpio_chip.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelk {

class SettingsStore;

// The steps of an AutoProgram run, each one a box on the "AutoProgram" page.
struct AutoProgramSteps {
    bool flashReload = true;
    bool flashErase = true;
    bool flashProgram = true;
    bool flashVerify = true;
    bool eepromReload = true;
    // The target's EEPROM is read before the erase and written back unless a file replaces it.
    bool eepromKeep = true;
    bool eepromProgram = true;
    bool eepromVerify = true;
    bool operator==(const AutoProgramSteps&) const = default;
};

struct PreferenceValues {
    // "PortBase": 0 to 2 for the LPT entries; -1 (stored as 65535) for none of them.
    int portPosition = 0;
    // "Port": another port by its command-line name ("/dev/parport4", "sim:ATmega328P"); empty
    // when an LPT entry is chosen.
    std::string portName;
    // "Interface": the cable list's position, 0 "<AutoDetect>" to 5.
    int cablePosition = 0;
    // "GpioLines": the lines of a GPIO port ("sck=11,mosi=10,miso=9,reset=25"), as zelk-cli's
    // --gpio takes them.
    std::string gpioLines = GpioLinesText(GpioWiring{});
    std::int32_t sckHalfPeriodUs = 1;
    // "FixedWaits": every write waits the data sheets' worst case, even where the part could
    // be polled for ready.
    bool fixedWaits = false;
    // "VerifyWrites": every write is verified (zelk-cli's --no-verify turns it off there).
    bool verifyWrites = true;
    // "SingleRead": reads are read once instead of twice and compared (zelk-cli --single-read).
    bool singleRead = false;
    std::uint32_t serialNumber = 0;
    std::uint32_t numberLength = 0;
    std::uint32_t eepromLocation = 0;
    AutoProgramSteps autoProgram;
    // Not stored: the sheet's request to start the production count afresh.
    bool resetProductionCount = false;
};

PreferenceValues LoadPreferences(const SettingsStore& store);
// All values in one update of the store; false, with nothing more to say than the store's own
// problem, when they were not written.
bool StorePreferences(SettingsStore& store, const PreferenceValues& values);
AutoProgramSteps LoadAutoProgramSteps(const SettingsStore& store);

// The connection the values choose. A simulated target keeps its memories in the state
// folder and runs in real time, as on hardware.
ConnectionSettings ConnectionOf(const PreferenceValues& values);

// What the sheet shows while this session runs on `sessionPort` ("sim:DEVICE" from zelk
// --simulate), not on the stored port; an empty `sessionPort` changes nothing.
PreferenceValues WithSessionPort(PreferenceValues stored, const std::string& sessionPort);
// What OK stores: the session's port is the session's alone, so a sheet left on it keeps the
// stored port as it was; a port the user picked is stored.
PreferenceValues WithoutSessionPort(PreferenceValues chosen, const PreferenceValues& stored,
                                    const std::string& sessionPort);

struct PortChoice {
    std::string text;
    int portPosition = -1; // 0 to 2 for the LPT entries
    std::string portName;  // the others
};

// The "Port" list: the three LPT entries, every other parallel port the kernel lists under
// `parportProc` (/proc/sys/dev/parport) with its base address, the GPIO chips, then one
// simulated target per device.
std::vector<PortChoice> PortChoices(const std::filesystem::path& parportProc,
                                    const std::vector<std::string>& gpioChips,
                                    const std::vector<std::string>& simulatedDevices);
// The entry the values choose; -1 when none does (a "PortBase" beyond the list, a port gone).
int FindPortChoice(const std::vector<PortChoice>& choices, const PreferenceValues& values);

struct NumberField {
    std::uint32_t lowest;
    std::uint32_t highest;
};
inline constexpr NumberField SerialNumberField{0, 999999};
inline constexpr NumberField NumberLengthField{1, 8};
inline constexpr NumberField EepromLocationField{0, 120};
inline constexpr NumberField SckHalfPeriodField{1, 1000};

// The value of an edit field, or the message that refuses its text: "Please enter a positive
// integer." or "Please enter an integer between 1 and 8.".
std::optional<std::string> CheckNumberField(std::string_view text, NumberField field,
                                            std::uint32_t& value);

} // namespace zelk
