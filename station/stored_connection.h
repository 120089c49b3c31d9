// SPDX-License-Identifier: GPL-3.0-or-later
// The connection the user chose, read from the settings store: the port ("PortBase", or
// "Port" for the others), the cable ("Interface") and the bit timing of the Preferences. The GUI
// and zelk-cli start from it.
#pragma once

#include "engine/connection.h"

#include <string>
#include <string_view>

namespace zelk {

class SettingsStore;

ConnectionSettings StoredConnection(const SettingsStore& store);

// A port named on the command line: "lpt1" to "lpt3", a ppdev path ("/dev/parport0"), a GPIO
// chip ("gpio:/dev/gpiochip0", or "gpio:0" for the same) or "sim:DEVICE". False, with the
// reason and `settings` unchanged, for anything else.
bool ApplyPortName(std::string_view name, ConnectionSettings& settings, std::string& error);

} // namespace zelk
