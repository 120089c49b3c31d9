#include "engine/serial_numbering.h"

#include "app/settings_store.h"
#include "engine/command_support.h"
#include "engine/instructions.h"
#include "engine/target_connection.h"

#include <cstdio>
#include <limits>

namespace zelk {
namespace {

constexpr const char* Section = "Preferences";

// The successor must fit too, or the stored next number would wrap to 0.
constexpr std::uint64_t LargestSerialNumber = std::numeric_limits<std::uint32_t>::max() - 1;

} // namespace

std::optional<std::uint32_t> ParseSerialNumber(std::string_view text) {
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > LargestSerialNumber) {
            return std::nullopt;
        }
    }
    return static_cast<std::uint32_t>(value);
}

std::string SerialDigits(std::string_view text, int length) {
    if (length <= 0) {
        return {};
    }
    const auto wanted = static_cast<std::size_t>(length);
    std::string digits(text.size() < wanted ? wanted - text.size() : 0, '0');
    digits += text;
    digits.resize(wanted);
    return digits;
}

bool SerialNumbering(AppState& app, TargetUi& ui) {
    if (RefusedWhileFlashWrites(ui)) {
        return false;
    }
    const std::string text = ReadSettingString(Section, "SerialNumber", "");
    const std::optional<std::uint32_t> number = ParseSerialNumber(text);
    if (!number) {
        char message[160];
        std::snprintf(message, sizeof message,
                      "Serial number \"%.64s\" is not a number from 0 to %llu.", text.c_str(),
                      static_cast<unsigned long long>(LargestSerialNumber));
        ui.ShowMessage(message);
        return false;
    }
    ui.ProgressOpen();
    if (!PrepareKnownTarget(app, ui)) {
        ui.ShowMessage("Detect failed");
        ui.ProgressClose();
        return false;
    }
    const int location = ReadSettingInt(Section, "Location", 0);
    const std::string digits = SerialDigits(text, ReadSettingInt(Section, "Length", 0));
    for (std::size_t k = 0; k < digits.size(); ++k) {
        WriteEepromMemory(static_cast<std::uint32_t>(location) + static_cast<std::uint32_t>(k),
                          static_cast<std::uint8_t>(digits[k]));
    }
    // The read-back refreshes the EEPROM view; the digits are not compared.
    ProgressBar bar(ui);
    const std::uint32_t length = EepromLength(app);
    for (std::uint32_t i = 0; i < length; ++i) {
        app.eepromImage[i] = ReadEepromMemory(i);
        bar.Update(i, length);
    }
    app.eepromShownLength = length;
    ui.ImageChanged(MemoryKind::Eeprom, length);
    if (app.autoProgramActive == 0) {
        ReleaseTarget();
    }
    char next[16];
    std::snprintf(next, sizeof next, "%u", static_cast<unsigned>(*number + 1));
    bool stored = WriteSettingString(Section, "SerialNumber", next);
    if (!stored) {
        // The next board would get the same number.
        ui.ShowMessage(std::string("The next serial number ") + next + " could not be stored in " +
                       SettingsFilePath().string() + ".\n" + SettingsWriteProblem());
    }
    ui.ProgressClose();
    return stored;
}

} // namespace zelk
