// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/connection.h"

#include "platform/gpio_chip.h"
#include "platform/gpio_port.h"
#include "platform/ini_document.h"
#include "platform/ppdev_port.h"
#include "sim/simulated_gpio_lines.h"
#include "sim/simulated_port.h"

#include <utility>

namespace zelk {
namespace {

// The [Devices] entry named `name`, compared without regard to case.
bool FindDevice(const std::filesystem::path& ini, std::string_view name, DeviceEntry& out,
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

bool SimulatorOpener(const ConnectionSettings& settings, const std::filesystem::path& database,
                     PortOpener& opener, std::string& error) {
    DeviceEntry entry;
    if (!FindDevice(database, settings.simulator.device, entry, error)) {
        return false;
    }
    SimConfig config;
    config.device = SimDeviceOf(entry);
    config.cableType = FindCable(settings.cable) != nullptr && settings.cable != CableNone
                           ? settings.cable
                           : CableKestan;
    config.virtualTime = settings.simulator.virtualTime;
    config.stateFile = settings.simulator.stateFile;
    config.faults = settings.simulator.faults;
    opener = config.cableType == CableGpio ? MakeSimulatedGpioOpener(std::move(config))
                                           : MakeSimulatedPortOpener(std::move(config));
    return true;
}

PortOpener LptOpener(int index, const HardwarePortOpener& openHardware) {
    return [index, openHardware](std::string& reason) -> std::unique_ptr<PortIo> {
        const std::uint16_t base = PortBaseAddress(index);
        if (base == 0) {
            reason = "port index " + std::to_string(index) + " is not 0, 1 or 2";
            return nullptr;
        }
        return openHardware(base, reason);
    };
}

} // namespace

SimDevice SimDeviceOf(const DeviceEntry& entry) {
    return {entry.name,
            entry.signature,
            entry.programSize,
            entry.dataSize,
            static_cast<std::uint8_t>(entry.algorithm),
            entry.pageSize,
            entry.lockBits,
            entry.fuses,
            entry.fusesHi,
            entry.fusesExt,
            entry.flashWriteUs,
            entry.eepromWriteUs,
            entry.chipEraseUs,
            entry.fuseWriteUs,
            entry.pollReadyBusy,
            entry.lockHidesSignature,
            entry.resetDisableFuse,
            entry.debugWireFuse};
}

std::unique_ptr<Programmer> MakeProgrammer(const ConnectionSettings& settings, std::string& error,
                                           const HardwarePortOpener& openHardware) {
    if (!settings.storedPortProblem.empty()) {
        error = settings.storedPortProblem;
        return nullptr;
    }
    if (settings.port == PortKind::Gpio && !settings.storedGpioProblem.empty()) {
        error = settings.storedGpioProblem;
        return nullptr;
    }
    const bool gpioCable = settings.cable == CableGpio;
    if (gpioCable && (settings.port == PortKind::Lpt || settings.port == PortKind::Parport)) {
        error = "the GPIO header is reached through a gpio: port, not a parallel port";
        return nullptr;
    }
    if (settings.sckHalfPeriodUs < 1) {
        error = "the SCK half period must be at least 1 microsecond";
        return nullptr;
    }
    const std::filesystem::path database =
        settings.deviceDatabase.empty() ? FindDeviceDatabase() : settings.deviceDatabase;
    PortOpener opener;
    switch (settings.port) {
    case PortKind::Lpt:
        opener = LptOpener(settings.lptIndex, openHardware);
        break;
    case PortKind::Parport:
        opener = [path = settings.parportPath](std::string& reason) {
            return OpenPpdevDevice(path, reason);
        };
        break;
    case PortKind::Gpio:
        opener = [wiring = settings.gpio](std::string& reason) -> std::unique_ptr<PortIo> {
            std::unique_ptr<GpioLines> lines = OpenGpioChip(wiring, reason);
            return lines ? std::make_unique<GpioPort>(std::move(lines)) : nullptr;
        };
        break;
    case PortKind::Simulator:
        if (!SimulatorOpener(settings, database, opener, error)) {
            return nullptr;
        }
        break;
    }
    const int cable = settings.port == PortKind::Gpio ? CableGpio : settings.cable;
    auto programmer =
        std::make_unique<Programmer>(std::move(opener), cable, database, settings.sckHalfPeriodUs);
    programmer->fixedWaits = settings.fixedWaits;
    programmer->confirmReads = settings.confirmReads;
    return programmer;
}

} // namespace zelk
