#include "platform/ini_document.h"
#include "sim/simulated_port.h"

namespace zelk {

bool FindSimDevice(const std::filesystem::path& ini, std::string_view name, DeviceEntry& out,
                   std::string& error) {
    std::vector<DeviceEntry> devices;
    if (!ReadDeviceList(ini, devices, error)) {
        return false;
    }
    for (const DeviceEntry& device : devices) {
        if (SameIniName(device.name, name)) {
            out = device;
            return true;
        }
    }
    if (devices.empty()) {
        error = "No devices are listed in " + ini.string();
    } else {
        error = "Unknown device \"" + std::string(name) + "\": " + ini.string() +
                " lists no such device";
    }
    return false;
}

bool SaveSimulatedChip(std::string& error) {
    auto* port = dynamic_cast<SimulatedPort*>(CurrentPort());
    return port == nullptr || port->SaveState(error);
}

} // namespace zelk
