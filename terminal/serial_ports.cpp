// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal/serial_ports.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string_view>

namespace zelk {
namespace {

constexpr int ComPortCount = 16;

bool SameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

bool IsUsbSerialName(const std::string& name) {
    return name.starts_with("ttyUSB") || name.starts_with("ttyACM");
}

} // namespace

std::vector<SerialPortEntry> SerialPortList::Entries() const {
    const std::filesystem::path& devRoot = root;
    std::vector<SerialPortEntry> ports;
    for (int number = 1; number <= ComPortCount; ++number) {
        ports.push_back({"COM" + std::to_string(number),
                         (devRoot / ("ttyS" + std::to_string(number - 1))).string()});
    }

    std::error_code ec;
    std::vector<SerialPortEntry> usb;
    std::set<std::filesystem::path> named;
    for (const auto& link : std::filesystem::directory_iterator(devRoot / "serial" / "by-id", ec)) {
        std::error_code linkError;
        const std::filesystem::path target = std::filesystem::canonical(link.path(), linkError);
        if (!linkError && IsUsbSerialName(target.filename().string())) {
            usb.push_back({link.path().string(), link.path().string()});
            named.insert(target.filename());
        }
    }
    for (const auto& device : std::filesystem::directory_iterator(devRoot, ec)) {
        const std::string name = device.path().filename().string();
        if (IsUsbSerialName(name) && !named.contains(name)) {
            usb.push_back({device.path().string(), device.path().string()});
        }
    }
    std::ranges::sort(usb, {}, &SerialPortEntry::name);
    ports.insert(ports.end(), usb.begin(), usb.end());

    ports.insert(ports.end(), added.begin(), added.end());
    return ports;
}

std::string SerialDevicePath(const std::string& name, const std::vector<SerialPortEntry>& ports) {
    for (const SerialPortEntry& port : ports) {
        if (SameName(port.name, name)) {
            return port.path;
        }
    }
    return name.starts_with('/') ? name : std::string{};
}

void SerialPortList::Remove(const std::string& name) {
    std::erase_if(added, [&](const SerialPortEntry& port) { return port.name == name; });
}

} // namespace zelk
