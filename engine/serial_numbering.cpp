// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/serial_numbering.h"

#include "engine/command_support.h"
#include "engine/instructions.h"
#include "engine/memory_steps.h"
#include "engine/target_connection.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

namespace zelk {
namespace {

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

namespace {

constexpr const char* Section = "Preferences";

SerialNumberSettings SettingsOf(const SettingsStore::Transaction& values) {
    const auto number = [&](const char* name) {
        return TryParseProfileInt(values.Get(Section, name).value_or("")).value_or(0);
    };
    return {values.Get(Section, "SerialNumber").value_or(""), number("Length"), number("Location")};
}

// The digits at their place in the EEPROM: written where they differ, then read back.
bool WriteDigits(Programmer& programmer, TargetUi& ui, const std::string& digits,
                 std::uint32_t location) {
    for (std::uint32_t k = 0; k < digits.size(); ++k) {
        const auto digit = static_cast<std::uint8_t>(digits[k]);
        if (ReadEepromMemory(programmer, location + k) != digit &&
            !WriteEepromMemory(programmer, location + k, digit)) {
            ui.ShowMessage(MessageKind::Failure,
                           AddressMessage("Serial number write failed at %08X !", location + k));
            return false;
        }
    }
    for (std::uint32_t k = 0; k < digits.size(); ++k) {
        if (ReadEepromMemory(programmer, location + k) != static_cast<std::uint8_t>(digits[k])) {
            ui.ShowMessage(MessageKind::Failure,
                           AddressMessage("Serial number write failed at %08X !", location + k));
            return false;
        }
    }
    return true;
}

// Under the store's lock: the number as stored now (another run may have taken one since the
// command began), the digits onto the chip, the next number stored.
std::optional<std::uint32_t> WriteNumber(Programmer& programmer, TargetUi& ui, SettingsStore& store,
                                         std::string& written) {
    std::string error;
    std::optional<SettingsStore::Transaction> values = store.Begin(error);
    if (!values) {
        ui.ShowMessage(MessageKind::Failure, "The serial number cannot be taken: " + error);
        return std::nullopt;
    }
    const SerialNumberSettings settings = SettingsOf(*values);
    if (const std::optional<std::string> problem = SerialNumberProblem(settings)) {
        ui.ShowMessage(MessageKind::Failure, *problem);
        return std::nullopt;
    }
    const std::uint32_t length = EepromLength(programmer.device);
    const auto location = static_cast<std::uint32_t>(settings.location);
    const auto count = static_cast<std::uint32_t>(settings.length);
    if (location > length || count > length - location) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "The serial number's %u digits at %08X pass the end of the %.40s's %u bytes "
                      "of EEPROM.",
                      static_cast<unsigned>(count), static_cast<unsigned>(location),
                      programmer.device.name.c_str(), static_cast<unsigned>(length));
        ui.ShowMessage(MessageKind::Failure, text);
        return std::nullopt;
    }
    const std::uint32_t number = *ParseSerialNumber(settings.number);
    written = SerialDigits(std::to_string(number), settings.length);
    if (!WriteDigits(programmer, ui, written, location)) {
        return std::nullopt;
    }
    const std::string next = std::to_string(number + 1);
    if (!values->Set(Section, "SerialNumber", next) || !values->Commit(error)) {
        // The next board would get the same number.
        ui.ShowMessage(MessageKind::Failure, "The next serial number " + next +
                                                 " could not be stored in " +
                                                 store.Path().string() + ".\n" + error);
        return std::nullopt;
    }
    written += AddressMessage(" written at %08X; next ", location) + next;
    return number;
}

} // namespace

SerialNumberSettings LoadSerialNumberSettings(const SettingsStore& store) {
    return {store.ReadString(Section, "SerialNumber", ""), store.ReadInt(Section, "Length", 0),
            store.ReadInt(Section, "Location", 0)};
}

bool StoreSerialNumberSettings(SettingsStore& store, const SerialNumberSettings& settings) {
    return store.Update([&](ProfileFile& values) {
        return values.Set(Section, "SerialNumber", settings.number) &&
               values.Set(Section, "Length", std::to_string(settings.length)) &&
               values.Set(Section, "Location", std::to_string(settings.location));
    });
}

std::optional<std::string> SerialNumberProblem(const SerialNumberSettings& settings) {
    const std::optional<std::uint32_t> number = ParseSerialNumber(settings.number);
    char message[200];
    if (!number) {
        std::snprintf(
            message, sizeof message, "Serial number \"%.64s\" is not a number from 0 to %llu.",
            settings.number.c_str(), static_cast<unsigned long long>(LargestSerialNumber));
        return message;
    }
    if (settings.length <= 0) {
        return "The serial number's length is 0: nothing would be written.";
    }
    const std::string digits = std::to_string(*number);
    if (digits.size() > static_cast<std::size_t>(settings.length)) {
        // Cut to its length, the number would repeat one an earlier board got.
        std::snprintf(message, sizeof message, "Serial number %s does not fit in %d digits.",
                      digits.c_str(), settings.length);
        return message;
    }
    if (settings.location < 0) {
        std::snprintf(message, sizeof message, "The serial number's location %d is negative.",
                      settings.location);
        return message;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> SerialNumbering(Programmer& programmer, TargetImages& images,
                                             TargetUi& ui, SettingsStore& store) {
    if (const std::optional<std::string> problem =
            SerialNumberProblem(LoadSerialNumberSettings(store))) {
        ui.ShowMessage(MessageKind::Failure, *problem);
        return std::nullopt;
    }
    ui.ProgressOpen();
    if (!PrepareKnownTarget(programmer, ui)) {
        ui.ShowMessage(MessageKind::Failure, "Detect failed");
        ui.ProgressClose();
        return std::nullopt;
    }
    std::string written;
    std::optional<std::uint32_t> number = WriteNumber(programmer, ui, store, written);
    if (number) {
        // The number is on the chip and used up; the image follows the chip for the view.
        const std::uint32_t length = EepromLength(programmer.device);
        std::vector<std::uint8_t> scratch(length);
        ProgressBar bar(ui);
        const StepOutcome read = ReadStep(programmer, MemoryKind::Eeprom, scratch, bar);
        std::string lost;
        if (!read.Done()) {
            ui.ShowMessage(MessageKind::Failure, OutcomeMessage(read, "Read failed at %08X !"));
            number.reset();
        } else if (!TargetStillAnswers(programmer, lost)) {
            ui.ShowMessage(MessageKind::Failure, lost);
            number.reset();
        } else {
            std::copy(scratch.begin(), scratch.end(), images.eepromImage.begin());
            images.eepromShownLength = length;
            ui.ImageChanged(MemoryKind::Eeprom, length);
            ui.ShowMessage(MessageKind::Success, "Serial number " + written);
        }
    }
    ReleaseTarget(programmer);
    ui.ProgressClose();
    return number;
}

} // namespace zelk
