// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulated_port.h"

#include "platform/busy_wait.h"
#include "platform/gpio_port.h"
#include "sim/simulated_gpio_lines.h"

#include <utility>

namespace zelk {
namespace {

std::shared_ptr<ChipState> LoadChip(const SimConfig& config, std::string& reason) {
    reason = SimDeviceProblem(config.device);
    if (!reason.empty()) {
        return nullptr;
    }
    auto chip = std::make_shared<ChipState>(FreshChip(config.device));
    if (!config.stateFile.empty()) {
        chip->stateFile = ChipStateFile::Open(config.stateFile, reason);
        if (!chip->stateFile || !chip->stateFile->Load(config.device, *chip, reason)) {
            return nullptr;
        }
    }
    return chip;
}

} // namespace

std::optional<SimulatedPort::Cable> SimulatedPort::CableOfType(int type) {
    using Drivers = Cable::Drivers;
    switch (type) {
    case 0: // what "<AutoDetect>" finds on a desk without hardware
    case 1: // "Kestan's Original"
        return Cable{0x80, false, 0x40, 0x01, 0x02, 0x04, 0x08, 0x08, Drivers::None};
    case 2: // "Altera Compatible"
        return Cable{0x80, false, 0x40, 0x01, 0x02, 0x04, 0x20, 0x40, Drivers::ControlRegister};
    case 3: // "STK200/300 Dongle"
        return Cable{0x40, false, 0x20, 0x10, 0x80, 0x40, 0x01, 0x20, Drivers::DataD2D3};
    case 4: // "SP12"
        return Cable{0x80, false, 0x80, 0x01, 0x02, 0x40, 0x00, 0x00, Drivers::None};
    case 5: // "USB"
        // SELECT is not inverted by the port, so this cable inverts MISO itself: the host
        // reads every MISO bit but STK200's as the complement.
        return Cable{0x10, true, 0x01, 0x02, 0x04, 0x08, 0x00, 0x00, Drivers::None};
    case SimulatedGpioCable: // the lines as SimulatedGpioLines shows them on the data bits
        return Cable{GpioMisoBit, false, GpioMosiBit, GpioSckBit,       GpioResetBit,
                     0x00,        0x00,  0x00,        Drivers::DataD2D3};
    default:
        return std::nullopt;
    }
}

SimulatedPort::SimulatedPort(const SimConfig& simConfig, std::shared_ptr<ChipState> memories)
    : config(simConfig), clock(simConfig.virtualTime), chip(std::move(memories)) {
    if (!config.faults.noneConnected) {
        cable = CableOfType(config.faults.wrongCable != 0 ? config.faults.wrongCable
                                                          : config.cableType);
    }
    target = std::make_unique<AvrTarget>(config.device, chip, config.faults, clock);
    Update();
}

SimulatedPort::~SimulatedPort() {
    target->Settle(); // a write whose time is up belongs to the chip the next port sees
    std::string ignored;
    SaveState(ignored);
}

void SimulatedPort::Write(PortRegister reg, std::uint8_t value) {
    if (reg == PortRegister::Data) {
        data = value;
    } else if (reg == PortRegister::Control) {
        control = value;
    }
    Update();
}

void SimulatedPort::Update() {
    // Control bit 5 turns a bidirectional port's data lines into inputs: nothing drives
    // them and the cable's pull-ups hold them high.
    pins = (control & 0x20) != 0 ? 0xFF : data;
    if (!cable) {
        return;
    }
    switch (cable->drivers) {
    case Cable::Drivers::None:
        driversOn = true;
        break;
    case Cable::Drivers::ControlRegister:
        driversOn = (control & 0x02) != 0; // AUTOFEED, inverted by the port: pin 14 low
        break;
    case Cable::Drivers::DataD2D3:
        driversOn = (pins & 0x0C) == 0;
        break;
    }
    if (driversOn) {
        target->SetPins((pins & (cable->reset | cable->reset2)) != 0, (pins & cable->sck) != 0,
                        (pins & cable->mosi) != 0);
    } else {
        // Undriven, RESET is pulled up (the target runs) and SCK and MOSI rest low.
        target->SetPins(true, false, false);
    }
}

std::uint8_t SimulatedPort::Read(PortRegister reg) {
    if (reg == PortRegister::Data) {
        return data;
    }
    if (reg == PortRegister::Control) {
        return control;
    }
    if (!cable) {
        return IdleStatus;
    }
    std::uint8_t levels = 0xFF;
    if (cable->loopFrom != 0 && (pins & cable->loopFrom) == 0) {
        levels = static_cast<std::uint8_t>(levels & ~cable->loopTo);
    }
    if (driversOn && target->Miso() == cable->misoInverter) {
        levels = static_cast<std::uint8_t>(levels & ~cable->miso);
    }
    return static_cast<std::uint8_t>(levels ^ 0x80); // the port inverts BUSY
}

void SimulatedPort::Wait(std::int32_t microseconds) {
    if (clock.IsVirtual()) {
        clock.Advance(microseconds);
    } else {
        BusyWaitUs(microseconds);
    }
}

const ChipState& SimulatedPort::Chip() {
    target->Settle();
    return *chip;
}

bool SimulatedPort::SaveState(std::string& error) {
    if (chip->stateFile == nullptr) {
        return true;
    }
    target->Settle();
    return chip->stateFile->Save(config.device, *chip, error);
}

std::unique_ptr<SimulatedPort> MakeSimulatedPort(const SimConfig& config, std::string& reason) {
    std::shared_ptr<ChipState> chip = LoadChip(config, reason);
    if (!chip) {
        return nullptr;
    }
    return std::make_unique<SimulatedPort>(config, std::move(chip));
}

std::unique_ptr<SimulatedPort> MakeSimulatedPort(const SimConfig& config) {
    std::string ignored;
    return MakeSimulatedPort(config, ignored);
}

PortOpener MakeSimulatedPortOpener(SimConfig config) {
    auto sharedChip = std::make_shared<std::shared_ptr<ChipState>>();
    return
        [config = std::move(config), sharedChip](std::string& reason) -> std::unique_ptr<PortIo> {
            if (!*sharedChip) {
                *sharedChip = LoadChip(config, reason);
                if (!*sharedChip) {
                    return nullptr;
                }
            }
            return std::make_unique<SimulatedPort>(config, *sharedChip);
        };
}

bool SaveSimulatedChip(PortIo* port, std::string& error) {
    if (auto* gpio = dynamic_cast<GpioPort*>(port)) {
        auto* lines = dynamic_cast<SimulatedGpioLines*>(&gpio->Lines());
        return lines == nullptr || lines->Port().SaveState(error);
    }
    auto* simulated = dynamic_cast<SimulatedPort*>(port);
    return simulated == nullptr || simulated->SaveState(error);
}

} // namespace zelk
