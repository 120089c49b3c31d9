#include "engine/serial_numbering.h"

#include "engine/command_support.h"
#include "engine/instructions.h"
#include "engine/target_connection.h"

#include <cstdio>
#include <limits>

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

std::optional<std::uint32_t> SerialNumbering(Programmer& programmer, TargetImages& images,
                                             TargetUi& ui, const SerialNumberSettings& settings) {
    const std::optional<std::uint32_t> number = ParseSerialNumber(settings.number);
    if (!number) {
        char message[160];
        std::snprintf(
            message, sizeof message, "Serial number \"%.64s\" is not a number from 0 to %llu.",
            settings.number.c_str(), static_cast<unsigned long long>(LargestSerialNumber));
        ui.ShowMessage(MessageKind::Failure, message);
        return std::nullopt;
    }
    ui.ProgressOpen();
    if (!PrepareKnownTarget(programmer, ui)) {
        ui.ShowMessage(MessageKind::Failure, "Detect failed");
        ui.ProgressClose();
        return std::nullopt;
    }
    const std::string digits = SerialDigits(settings.number, settings.length);
    for (std::size_t k = 0; k < digits.size(); ++k) {
        WriteEepromMemory(programmer,
                          static_cast<std::uint32_t>(settings.location) +
                              static_cast<std::uint32_t>(k),
                          static_cast<std::uint8_t>(digits[k]));
    }
    // The read-back refreshes the EEPROM view; the digits are not compared.
    ProgressBar bar(ui);
    const std::uint32_t length = EepromLength(programmer.device);
    for (std::uint32_t i = 0; i < length; ++i) {
        images.eepromImage[i] = ReadEepromMemory(programmer, i);
        bar.Update(i, length);
    }
    images.eepromShownLength = length;
    ui.ImageChanged(MemoryKind::Eeprom, length);
    if (programmer.autoProgramActive == 0) {
        ReleaseTarget(programmer);
    }
    ui.ProgressClose();
    return *number + 1;
}

} // namespace zelk
