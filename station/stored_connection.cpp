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
    } else if (name.starts_with("sim:") && name.size() > 4) {
        settings.port = PortKind::Simulator;
        settings.simulator.device = name.substr(4);
    } else {
        error = "must be lpt1, lpt2, lpt3, a /dev/parportN path or sim:DEVICE";
        return false;
    }
    return true;
}

} // namespace zelk
