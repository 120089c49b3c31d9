// SPDX-License-Identifier: GPL-3.0-or-later
// Everything a Programmer is built from, and the one function that builds it for the GUI,
// zelk-cli and the tests: a hardware port by LPT index or ppdev path, a GPIO chip's lines, or
// the simulator.
#pragma once

#include "engine/cables.h"
#include "engine/programmer.h"
#include "platform/gpio_lines.h"
#include "platform/hardware_port.h"
#include "sim/sim_device.h"
#include "sim/sim_faults.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace zelk {

enum class PortKind { Lpt, Parport, Gpio, Simulator };

struct SimulatorSettings {
    std::string device; // a [Devices] name of the device database, any case
    // Where the chip keeps its memories between runs; empty for none.
    std::filesystem::path stateFile;
    SimFaults faults;
    bool virtualTime = true;
};

struct ConnectionSettings {
    PortKind port = PortKind::Lpt;
    int lptIndex = 0;        // Lpt: 0, 1, 2 for 0x378, 0x278, 0x3BC
    std::string parportPath; // Parport: "/dev/parport0"
    GpioWiring gpio;         // Gpio: the chip and the lines of each signal
    SimulatorSettings simulator;
    // The stored "Interface" choice; the simulator attaches this cable ("Kestan's Original"
    // for "<AutoDetect>" and values that name no cable), and CableGpio puts it behind the
    // GPIO header's code path. A Gpio port always has the GPIO header's wiring.
    int cable = CableAutoDetect;
    // Why the stored port, or the stored GPIO lines of a Gpio port, cannot be used: nothing is
    // built from them.
    std::string storedPortProblem;
    std::string storedGpioProblem;
    // Empty: zelk.ini beside the executable.
    std::filesystem::path deviceDatabase;
    std::int32_t sckHalfPeriodUs = 1;
    // Wait the worst case after every write instead of polling the part for ready.
    bool fixedWaits = false;
    // Read what is kept twice and compare.
    bool confirmReads = true;
};

// The Programmer for `settings`; the port is opened when a command first needs it, through
// `openHardware` for an LPT index. Null, with the reason, when the settings cannot be put to
// use (a device the database does not list, a bit timing below 1 us).
std::unique_ptr<Programmer>
MakeProgrammer(const ConnectionSettings& settings, std::string& error,
               const HardwarePortOpener& openHardware = OpenHardwarePort);

// The simulated chip's parameters from a device database entry.
SimDevice SimDeviceOf(const DeviceEntry& entry);

} // namespace zelk
