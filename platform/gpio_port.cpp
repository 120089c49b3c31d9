// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gpio_port.h"

namespace zelk {

GpioPort::GpioPort(std::unique_ptr<GpioLines> gpioLines) : lines(std::move(gpioLines)) {}

GpioPort::~GpioPort() {
    if (driving) {
        lines->Float();
    }
}

void GpioPort::Write(PortRegister reg, std::uint8_t value) {
    if (reg != PortRegister::Data) {
        return; // the header has no control lines
    }
    data = value;
    const IspLevels wanted{(value & GpioSckBit) != 0, (value & GpioMosiBit) != 0,
                           (value & GpioResetBit) != 0};
    const bool drive = (value & GpioDriverBits) == 0;
    if (drive != driving) {
        driving = drive;
        levels = wanted;
        if (drive) {
            lines->Drive(wanted);
        } else {
            lines->Float();
        }
    } else if (drive && wanted != levels) {
        levels = wanted;
        lines->Set(wanted);
    }
}

std::uint8_t GpioPort::Read(PortRegister reg) {
    if (reg == PortRegister::Status) {
        return lines->Miso() ? GpioMisoBit : std::uint8_t{0};
    }
    return reg == PortRegister::Data ? data : std::uint8_t{0};
}

void GpioPort::Wait(std::int32_t microseconds) {
    lines->Wait(microseconds);
}

} // namespace zelk
