// SPDX-License-Identifier: GPL-3.0-or-later
// The serial ports offered by name: COM1..COM16 as the first sixteen on-board ports, the USB
// serial adapters present, and ports the process adds itself (the simulated board).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zelk {

struct SerialPortEntry {
    std::string name; // what the user picks and the settings store keeps
    std::string path; // the device opened
};

// The ports a serial terminal offers: those of the machine and those the program adds (the
// simulated board).
class SerialPortList {
public:
    explicit SerialPortList(std::filesystem::path devRoot = "/dev") : root(std::move(devRoot)) {}

    // COM1..COM16, then /dev/ttyUSB* and /dev/ttyACM* (each under its /dev/serial/by-id name
    // where it has one, which stays the same when adapters are plugged in another order), then
    // the added ports.
    std::vector<SerialPortEntry> Entries() const;
    void Add(SerialPortEntry entry) { added.push_back(std::move(entry)); }
    void Remove(const std::string& name);

private:
    std::filesystem::path root;
    std::vector<SerialPortEntry> added;
};

// The device of a listed name (letter case ignored), a name that is itself an absolute path,
// or empty when the name means nothing.
std::string SerialDevicePath(const std::string& name, const std::vector<SerialPortEntry>& ports);

} // namespace zelk
