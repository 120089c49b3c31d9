// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/sim_faults.h"

#include <charconv>
#include <cmath>

namespace zelk {
namespace {

constexpr const char* FaultForms = "none-connected, wrong-cable=N, no-echo=N, stuck-busy, "
                                   "bit-error=N, noise=N, remove-after=N, slow=FACTOR, clock=HZ";
constexpr double LargestSlowFactor = 100.0;
// From a watch crystal to well above any AVR's clock.
constexpr std::uint64_t SlowestClockHz = 1000;
constexpr std::uint64_t FastestClockHz = 1000000000;

bool ParseCount(std::string_view text, std::uint64_t& value) {
    const char* end = text.data() + text.size();
    const auto [next, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && next == end;
}

bool ParseFactor(std::string_view text, double& value) {
    const char* end = text.data() + text.size();
    const auto [next, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    return !text.empty() && ec == std::errc() && next == end && std::isfinite(value);
}

} // namespace

bool ParseSimFault(std::string_view faultText, SimFaults& faults, std::string& error) {
    const std::size_t equals = faultText.find('=');
    const std::string_view name = faultText.substr(0, equals);
    const bool hasValue = equals != std::string_view::npos;
    const std::string_view valueText = hasValue ? faultText.substr(equals + 1) : std::string_view();

    if (name == "none-connected" || name == "stuck-busy") {
        if (hasValue) {
            error = "Simulator fault \"" + std::string(name) + "\" takes no value";
            return false;
        }
        (name == "none-connected" ? faults.noneConnected : faults.stuckBusy) = true;
        return true;
    }
    if (name == "slow") {
        double factor = 0;
        if (!hasValue || !ParseFactor(valueText, factor) || factor < 1.0 ||
            factor > LargestSlowFactor) {
            error = "slow takes a factor from 1 to 100, such as slow=1.5: \"" +
                    std::string(faultText) + "\"";
            return false;
        }
        faults.slowFactor = factor;
        return true;
    }
    if (name != "wrong-cable" && name != "no-echo" && name != "bit-error" && name != "noise" &&
        name != "remove-after" && name != "clock") {
        error = "Unknown simulator fault \"" + std::string(faultText) + "\" (" + FaultForms + ")";
        return false;
    }
    std::uint64_t value = 0;
    if (!hasValue || !ParseCount(valueText, value)) {
        error = "Simulator fault \"" + std::string(name) + "\" needs a whole number: \"" +
                std::string(faultText) + "\"";
        return false;
    }
    if (name == "wrong-cable") {
        if (value < 1 || value > 5) {
            error = "wrong-cable takes a cable type from 1 to 5";
            return false;
        }
        faults.wrongCable = static_cast<int>(value);
    } else if (name == "no-echo") {
        if (value < 1 || value > 1000) {
            error = "no-echo takes a number of attempts from 1 to 1000";
            return false;
        }
        faults.noEchoAttempts = static_cast<int>(value);
    } else if (name == "bit-error") {
        if (value < 1) {
            error = "bit-error counts bytes from 1";
            return false;
        }
        faults.bitErrorAtByte = value;
    } else if (name == "noise") {
        if (value < 1) {
            error = "noise takes the distance in bytes between two flipped bits, from 1";
            return false;
        }
        faults.noiseEveryBytes = value;
    } else if (name == "clock") {
        if (value < SlowestClockHz || value > FastestClockHz) {
            error = "clock takes the target's clock in Hz, from 1000 to 1000000000";
            return false;
        }
        faults.clockHz = value;
    } else {
        faults.removeAfterBytes = value;
    }
    return true;
}

} // namespace zelk
