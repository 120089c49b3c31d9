// SPDX-License-Identifier: GPL-3.0-or-later
// The lines of a GPIO chip (/dev/gpiochipN) through libgpiod, checked before anything is
// requested: four distinct lines, each on the chip, none used by another consumer.
#pragma once

#include "platform/gpio_lines.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zelk {

// Two signals on one line ("sck and mosi are both line 11"), or nothing.
std::optional<std::string> SharedGpioLine(const GpioWiring& wiring);

// Sets the lines a text names: "sck=11,mosi=10,miso=9,reset=25", any of them, with the optional
// "enable=N" or "enable-low=N" (a buffer enable, on while high or low) and "power=N" or
// "power-low=N" (the target's supply). False, with the reason and `wiring` unchanged, for
// anything else or for two signals on one line.
bool ApplyGpioLines(std::string_view text, GpioWiring& wiring, std::string& error);
// The text of `wiring`'s lines, as ApplyGpioLines reads it.
std::string GpioLinesText(const GpioWiring& wiring);

// Why `wiring` cannot be used on its chip, which has `lineCount` lines and whose line at an
// offset is held by the consumer `consumerOf` names (nothing when it is free); or nothing.
std::optional<std::string>
GpioWiringProblem(const GpioWiring& wiring, unsigned lineCount,
                  const std::function<std::optional<std::string>(unsigned offset)>& consumerOf);

// Requests the lines of `wiring` for zelk: SCK, MOSI and RESET as inputs until they are
// driven, MISO as an input, the switch lines as outputs that are off. Null, with the reason
// (the chip, and what to do about it), when the chip or a line cannot be had.
std::unique_ptr<GpioLines> OpenGpioChip(const GpioWiring& wiring, std::string& reason);

// The GPIO chips in `devices` (/dev), by path, in order.
std::vector<std::string> GpioChips(const std::filesystem::path& devices = "/dev");

} // namespace zelk
