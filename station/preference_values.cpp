// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/preference_values.h"

#include "platform/settings_store.h"
#include "station/state_folder.h"
#include "station/stored_connection.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <system_error>

namespace zelk {
namespace {

constexpr const char* Section = "Preferences";
constexpr const char* AutoProgramSection = "AutoProgram";
constexpr std::array<unsigned, 3> LptBases{0x378, 0x278, 0x3BC};
constexpr std::array<const char*, 3> LptTexts{"0x378 (LPT1:)", "0x278 (LPT2:)",
                                              "0x3BC (Alternate LPT1:)"};

struct OptionKey {
    const char* name;
    bool AutoProgramSteps::*member;
};
constexpr std::array<OptionKey, 8> OptionKeys{{
    {"FlashReload", &AutoProgramSteps::flashReload},
    {"FlashErase", &AutoProgramSteps::flashErase},
    {"FlashProgram", &AutoProgramSteps::flashProgram},
    {"FlashVerify", &AutoProgramSteps::flashVerify},
    {"EepromReload", &AutoProgramSteps::eepromReload},
    {"EepromKeep", &AutoProgramSteps::eepromKeep},
    {"EepromProgram", &AutoProgramSteps::eepromProgram},
    {"EepromVerify", &AutoProgramSteps::eepromVerify},
}};

// The leading decimal digits of a stored number, as a signed 32-bit conversion reads them;
// text that is no number gives 0.
std::uint32_t LeadingNumber(std::string_view text) {
    std::int32_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && value > 0 ? static_cast<std::uint32_t>(value) : 0;
}

std::uint32_t Unsigned(int stored) {
    return stored > 0 ? static_cast<std::uint32_t>(stored) : 0;
}

} // namespace

AutoProgramSteps LoadAutoProgramSteps(const SettingsStore& store) {
    AutoProgramSteps options;
    for (const OptionKey& key : OptionKeys) {
        options.*key.member = store.ReadInt(AutoProgramSection, key.name, 1) != 0;
    }
    return options;
}

PreferenceValues LoadPreferences(const SettingsStore& store) {
    PreferenceValues values;
    values.portPosition = store.ReadInt(Section, "PortBase", 0);
    values.portName = store.ReadString(Section, "Port", "");
    values.cablePosition = store.ReadInt(Section, "Interface", 0);
    values.gpioLines = store.ReadString(Section, "GpioLines", values.gpioLines);
    values.sckHalfPeriodUs = store.ReadInt(Section, "SckHalfPeriod", 1);
    values.fixedWaits = store.ReadInt(Section, "FixedWaits", 0) != 0;
    values.verifyWrites = store.ReadInt(Section, "VerifyWrites", 1) != 0;
    values.singleRead = store.ReadInt(Section, "SingleRead", 0) != 0;
    values.serialNumber = LeadingNumber(store.ReadString(Section, "SerialNumber", ""));
    values.numberLength = Unsigned(store.ReadInt(Section, "Length", 0));
    values.eepromLocation = Unsigned(store.ReadInt(Section, "Location", 0));
    values.autoProgram = LoadAutoProgramSteps(store);
    return values;
}

bool StorePreferences(SettingsStore& store, const PreferenceValues& values) {
    const std::pair<const char*, std::string> preferences[] = {
        {"PortBase", std::to_string(values.portPosition & 0xFFFF)},
        {"Port", values.portName},
        {"Interface", std::to_string(values.cablePosition & 0xFFFF)},
        {"GpioLines", values.gpioLines},
        {"SckHalfPeriod", std::to_string(values.sckHalfPeriodUs)},
        {"FixedWaits", values.fixedWaits ? "1" : "0"},
        {"VerifyWrites", values.verifyWrites ? "1" : "0"},
        {"SingleRead", values.singleRead ? "1" : "0"},
        {"SerialNumber", std::to_string(values.serialNumber)},
        {"Length", std::to_string(values.numberLength & 0xFFFF)},
        {"Location", std::to_string(values.eepromLocation & 0xFFFF)},
    };
    return store.Update([&](ProfileFile& file) {
        for (const auto& [name, value] : preferences) {
            if (!file.Set(Section, name, value)) {
                return false;
            }
        }
        for (const OptionKey& key : OptionKeys) {
            if (!file.Set(AutoProgramSection, key.name,
                          values.autoProgram.*key.member ? "1" : "0")) {
                return false;
            }
        }
        return true;
    });
}

ConnectionSettings ConnectionOf(const PreferenceValues& values) {
    ConnectionSettings settings;
    settings.lptIndex = values.portPosition;
    settings.cable = values.cablePosition;
    settings.sckHalfPeriodUs = values.sckHalfPeriodUs;
    settings.fixedWaits = values.fixedWaits;
    settings.confirmReads = !values.singleRead;
    std::string error;
    if (!ApplyGpioLines(values.gpioLines, settings.gpio, error)) {
        settings.storedGpioProblem = "the stored GPIO lines \"" + values.gpioLines + "\": " + error;
    }
    if (!values.portName.empty() && !ApplyPortName(values.portName, settings, error)) {
        settings.storedPortProblem = "the stored port \"" + values.portName + "\" " + error;
        return settings;
    }
    if (settings.port == PortKind::Simulator) {
        settings.simulator.virtualTime = false;
        std::error_code noFolder;
        std::filesystem::create_directories(StateFolder(), noFolder);
        settings.simulator.stateFile =
            StateFolder() / ("sim-" + settings.simulator.device + ".bin");
    }
    return settings;
}

PreferenceValues WithSessionPort(PreferenceValues stored, const std::string& sessionPort) {
    if (!sessionPort.empty()) {
        stored.portPosition = -1;
        stored.portName = sessionPort;
    }
    return stored;
}

PreferenceValues WithoutSessionPort(PreferenceValues chosen, const PreferenceValues& stored,
                                    const std::string& sessionPort) {
    if (!sessionPort.empty() && chosen.portName == sessionPort) {
        chosen.portPosition = stored.portPosition;
        chosen.portName = stored.portName;
    }
    return chosen;
}

std::vector<PortChoice> PortChoices(const std::filesystem::path& parportProc,
                                    const std::vector<std::string>& gpioChips,
                                    const std::vector<std::string>& simulatedDevices) {
    std::vector<PortChoice> choices;
    for (std::size_t i = 0; i < LptTexts.size(); ++i) {
        choices.push_back({LptTexts[i], static_cast<int>(i), {}});
    }
    std::vector<std::pair<unsigned, PortChoice>> others;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(parportProc, error)) {
        const std::string name = entry.path().filename().string();
        unsigned number = 0;
        if (!name.starts_with("parport") ||
            std::from_chars(name.data() + 7, name.data() + name.size(), number).ec != std::errc()) {
            continue;
        }
        std::ifstream file(entry.path() / "base-addr");
        unsigned base = 0;
        if (!(file >> base) || std::ranges::find(LptBases, base) != LptBases.end()) {
            continue;
        }
        char address[16];
        const auto written = std::to_chars(address, address + sizeof address, base, 16);
        std::string hex(address, written.ptr);
        std::ranges::transform(hex, hex.begin(), [](char c) { return c >= 'a' ? c - 32 : c; });
        others.push_back({number, {"0x" + hex + " (/dev/" + name + ")", -1, "/dev/" + name}});
    }
    std::ranges::sort(others, {}, &std::pair<unsigned, PortChoice>::first);
    for (auto& other : others) {
        choices.push_back(std::move(other.second));
    }
    for (const std::string& chip : gpioChips) {
        choices.push_back({"GPIO header: " + chip, -1, "gpio:" + chip});
    }
    for (const std::string& device : simulatedDevices) {
        choices.push_back({"Simulated target: " + device, -1, "sim:" + device});
    }
    return choices;
}

int FindPortChoice(const std::vector<PortChoice>& choices, const PreferenceValues& values) {
    for (std::size_t i = 0; i < choices.size(); ++i) {
        const PortChoice& choice = choices[i];
        const bool matches = values.portName.empty() ? choice.portPosition == values.portPosition
                                                     : choice.portName == values.portName;
        if (matches) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::optional<std::string> CheckNumberField(std::string_view text, NumberField field,
                                            std::uint32_t& value) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    std::uint64_t number = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || result.ptr != text.data() + text.size()) {
        return "Please enter a positive integer.";
    }
    if (result.ec != std::errc() || number < field.lowest || number > field.highest) {
        return "Please enter an integer between " + std::to_string(field.lowest) + " and " +
               std::to_string(field.highest) + ".";
    }
    value = static_cast<std::uint32_t>(number);
    return std::nullopt;
}

} // namespace zelk
