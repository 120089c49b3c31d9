// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gpio_chip.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <gpiod.h>
#include <utility>

namespace zelk {
namespace {

constexpr const char* Consumer = "zelk";
// Far above the lines of any GPIO chip; the chip's own count is checked when it is opened.
constexpr unsigned MaxGpioLine = 4095;

struct NamedLine {
    const char* name;
    unsigned offset;
};

std::vector<NamedLine> LinesOf(const GpioWiring& wiring) {
    std::vector<NamedLine> lines = {
        {"sck", wiring.sck}, {"mosi", wiring.mosi}, {"miso", wiring.miso}, {"reset", wiring.reset}};
    if (wiring.enable) {
        lines.push_back({"enable", wiring.enable->offset});
    }
    if (wiring.power) {
        lines.push_back({"power", wiring.power->offset});
    }
    return lines;
}

std::string OpenFailure(const std::string& chip, int error) {
    std::string reason = chip + ": " + std::strerror(error);
    if (error == ENOENT || error == ENODEV) {
        reason += ": there is no GPIO chip here (gpiodetect lists the chips)";
    } else if (error == EACCES || error == EPERM) {
        reason += ": add yourself to the gpio group (sudo adduser $USER gpio, then log in again) "
                  "or give the chip to a group of yours with a udev rule";
    } else if (error == ENOTTY) {
        reason += ": not a GPIO chip";
    }
    return reason;
}

class GpiodLines final : public GpioLines {
public:
    explicit GpiodLines(gpiod_chip* opened) : chip(opened) { gpiod_line_bulk_init(&isp); }
    ~GpiodLines() override {
        SwitchLines(false);
        gpiod_chip_close(chip); // releases every line it handed out
    }
    GpiodLines(const GpiodLines&) = delete;
    GpiodLines& operator=(const GpiodLines&) = delete;

    bool Request(const GpioWiring& wiring, std::string& reason) {
        for (const unsigned offset : {wiring.sck, wiring.mosi, wiring.reset}) {
            gpiod_line_bulk_add(&isp, gpiod_chip_get_line(chip, offset));
        }
        miso = gpiod_chip_get_line(chip, wiring.miso);
        if (gpiod_line_request_bulk_input(&isp, Consumer) != 0 ||
            gpiod_line_request_input(miso, Consumer) != 0) {
            reason = wiring.chip + ": cannot request the ISP lines: " + std::strerror(errno);
            return false;
        }
        for (const auto& [line, wired] :
             {std::pair{&enable, wiring.enable}, std::pair{&power, wiring.power}}) {
            if (!wired) {
                continue;
            }
            *line = gpiod_chip_get_line(chip, wired->offset);
            const int flags = wired->activeLow ? GPIOD_LINE_REQUEST_FLAG_ACTIVE_LOW : 0;
            if (gpiod_line_request_output_flags(*line, Consumer, flags, 0) != 0) {
                reason = wiring.chip + ": cannot request line " + std::to_string(wired->offset) +
                         ": " + std::strerror(errno);
                return false;
            }
        }
        return true;
    }

    void Drive(IspLevels levels) override {
        SwitchLines(true);
        const std::array<int, 3> values = Values(levels);
        gpiod_line_set_direction_output_bulk(&isp, values.data());
    }
    void Set(IspLevels levels) override {
        const std::array<int, 3> values = Values(levels);
        gpiod_line_set_value_bulk(&isp, values.data());
    }
    void Float() override {
        gpiod_line_set_direction_input_bulk(&isp);
        SwitchLines(false);
    }
    // A failed read (-1) counts as high, as a line nothing drives reads.
    bool Miso() override { return gpiod_line_get_value(miso) != 0; }

private:
    static std::array<int, 3> Values(IspLevels levels) {
        return {levels.sck ? 1 : 0, levels.mosi ? 1 : 0, levels.reset ? 1 : 0};
    }
    void SwitchLines(bool on) {
        for (gpiod_line* line : {enable, power}) {
            if (line != nullptr) {
                gpiod_line_set_value(line, on ? 1 : 0);
            }
        }
    }

    gpiod_chip* chip;
    gpiod_line_bulk isp;
    gpiod_line* miso = nullptr;
    gpiod_line* enable = nullptr;
    gpiod_line* power = nullptr;
};

} // namespace

bool ApplyGpioLines(std::string_view text, GpioWiring& wiring, std::string& error) {
    GpioWiring changed = wiring;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const std::size_t equals = item.find('=');
        const std::string_view key = item.substr(0, equals);
        const std::string_view number =
            equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1);
        unsigned offset = 0;
        const auto [end, problem] =
            std::from_chars(number.data(), number.data() + number.size(), offset);
        if (number.empty() || problem != std::errc{} || end != number.data() + number.size() ||
            offset > MaxGpioLine) {
            error = "\"" + std::string(item) + "\": give a line as NAME=NUMBER (0 to " +
                    std::to_string(MaxGpioLine) + ")";
            return false;
        }
        if (key == "sck") {
            changed.sck = offset;
        } else if (key == "mosi") {
            changed.mosi = offset;
        } else if (key == "miso") {
            changed.miso = offset;
        } else if (key == "reset") {
            changed.reset = offset;
        } else if (key == "enable" || key == "enable-low") {
            changed.enable = GpioSwitchLine{offset, key == "enable-low"};
        } else if (key == "power" || key == "power-low") {
            changed.power = GpioSwitchLine{offset, key == "power-low"};
        } else {
            error = "\"" + std::string(key) +
                    "\" is no GPIO signal (sck, mosi, miso, reset, enable, enable-low, power, "
                    "power-low)";
            return false;
        }
    }
    if (const auto shared = SharedGpioLine(changed)) {
        error = *shared;
        return false;
    }
    wiring = changed;
    return true;
}

std::string GpioLinesText(const GpioWiring& wiring) {
    std::string text =
        "sck=" + std::to_string(wiring.sck) + ",mosi=" + std::to_string(wiring.mosi) +
        ",miso=" + std::to_string(wiring.miso) + ",reset=" + std::to_string(wiring.reset);
    for (const auto& [name, line] :
         {std::pair{"enable", wiring.enable}, std::pair{"power", wiring.power}}) {
        if (line) {
            text += std::string(",") + name + (line->activeLow ? "-low=" : "=") +
                    std::to_string(line->offset);
        }
    }
    return text;
}

std::optional<std::string> SharedGpioLine(const GpioWiring& wiring) {
    const std::vector<NamedLine> lines = LinesOf(wiring);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
            if (lines[i].offset == lines[j].offset) {
                return std::string(lines[i].name) + " and " + lines[j].name + " are both line " +
                       std::to_string(lines[i].offset);
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string>
GpioWiringProblem(const GpioWiring& wiring, unsigned lineCount,
                  const std::function<std::optional<std::string>(unsigned offset)>& consumerOf) {
    if (auto shared = SharedGpioLine(wiring)) {
        return wiring.chip + ": " + *shared;
    }
    for (const NamedLine& line : LinesOf(wiring)) {
        if (line.offset >= lineCount) {
            return wiring.chip + ": " + line.name + " is line " + std::to_string(line.offset) +
                   ", but the chip has lines 0 to " + std::to_string(lineCount - 1);
        }
        if (const auto consumer = consumerOf(line.offset)) {
            return wiring.chip + ": line " + std::to_string(line.offset) + " (" + line.name +
                   ") is used by " + *consumer;
        }
    }
    return std::nullopt;
}

std::unique_ptr<GpioLines> OpenGpioChip(const GpioWiring& wiring, std::string& reason) {
    gpiod_chip* chip = gpiod_chip_open(wiring.chip.c_str());
    if (chip == nullptr) {
        reason = OpenFailure(wiring.chip, errno);
        return nullptr;
    }
    const auto consumerOf = [chip](unsigned offset) -> std::optional<std::string> {
        gpiod_line* line = gpiod_chip_get_line(chip, offset);
        if (line == nullptr || !gpiod_line_is_used(line)) {
            return std::nullopt;
        }
        const char* name = gpiod_line_consumer(line);
        return name != nullptr ? std::string(name) : std::string("the kernel");
    };
    if (const auto problem = GpioWiringProblem(wiring, gpiod_chip_num_lines(chip), consumerOf)) {
        gpiod_chip_close(chip);
        reason = *problem;
        return nullptr;
    }
    auto lines = std::make_unique<GpiodLines>(chip);
    if (!lines->Request(wiring, reason)) {
        return nullptr;
    }
    return lines;
}

std::vector<std::string> GpioChips(const std::filesystem::path& devices) {
    std::vector<std::string> chips;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(devices, error)) {
        if (entry.path().filename().string().starts_with("gpiochip")) {
            chips.push_back(entry.path().string());
        }
    }
    std::sort(chips.begin(), chips.end());
    return chips;
}

} // namespace zelk
