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

// COM1..COM16, then /dev/ttyUSB* and /dev/ttyACM* (each under its /dev/serial/by-id name
// where it has one, which stays the same when adapters are plugged in another order), then
// the added ports.
std::vector<SerialPortEntry> ListSerialPorts(const std::filesystem::path& devRoot = "/dev");

// The device of a listed name (letter case ignored), a name that is itself an absolute path,
// or empty when the name means nothing.
std::string SerialDevicePath(const std::string& name, const std::vector<SerialPortEntry>& ports);

// Offers a port for the rest of the process.
void AddSerialPort(SerialPortEntry entry);
void RemoveSerialPort(const std::string& name);

} // namespace zelk
