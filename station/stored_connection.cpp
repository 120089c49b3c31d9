// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/stored_connection.h"

#include "platform/settings_store.h"
#include "station/preference_values.h"

namespace zelk {

ConnectionSettings StoredConnection(const SettingsStore& store) {
    return ConnectionOf(LoadPreferences(store));
}

bool ApplyPortName(std::string_view name, ConnectionSettings& settings, std::string& error) {
    if (name == "lpt1" || name == "lpt2" || name == "lpt3") {
        settings.port = PortKind::Lpt;
        settings.lptIndex = name.back() - '1';
    } else if (name.starts_with("/dev/")) {
        settings.port = PortKind::Parport;
        settings.parportPath = name;
    } else if (name.starts_with("gpio:") && name.size() > 5) {
        const std::string_view chip = name.substr(5);
        const bool number = chip.find_first_not_of("0123456789") == std::string_view::npos;
        settings.port = PortKind::Gpio;
        settings.gpio.chip = number ? "/dev/gpiochip" + std::string(chip) : std::string(chip);
    } else if (name.starts_with("sim:") && name.size() > 4) {
        settings.port = PortKind::Simulator;
        settings.simulator.device = name.substr(4);
    } else {
        error = "must be lpt1, lpt2, lpt3, a /dev/parportN path, gpio:/dev/gpiochipN (or gpio:N) "
                "or sim:DEVICE";
        return false;
    }
    return true;
}

} // namespace zelk
