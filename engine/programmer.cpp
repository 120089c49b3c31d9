// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/programmer.h"

#include "platform/busy_wait.h"

#include <utility>

namespace zelk {

Programmer::Programmer(PortOpener opener, int configured, std::filesystem::path database,
                       std::int32_t sckHalfPeriodUs)
    : openPort(std::move(opener)), configuredCable(configured), deviceDatabase(std::move(database)),
      sckHalfPeriod(sckHalfPeriodUs) {}

bool Programmer::OpenPort(std::string& reason) {
    if (port) {
        return true;
    }
    port = openPort(reason);
    portData.reset();
    return port != nullptr;
}

void Programmer::WriteData() {
    if (port && portData != dataShadow) {
        port->Write(PortRegister::Data, dataShadow);
        portData = dataShadow;
    }
}

void Programmer::WriteControl(std::uint8_t value) {
    if (port) {
        port->Write(PortRegister::Control, value);
    }
}

void Programmer::DelayUs(std::int32_t n) {
    if (n <= 0) {
        return;
    }
    requestedDelay += static_cast<std::uint64_t>(n);
    if (port) {
        port->Wait(n);
    } else {
        BusyWaitUs(n);
    }
}

void Programmer::SetLine(std::uint8_t mask, std::uint8_t level) {
    if (level != 0) {
        dataShadow = static_cast<std::uint8_t>(dataShadow | mask);
    } else {
        dataShadow = static_cast<std::uint8_t>(dataShadow & ~mask);
    }
    WriteData();
    DelayUs(sckHalfPeriod);
}

void Programmer::SetLines(std::uint8_t high, std::uint8_t low) {
    dataShadow = static_cast<std::uint8_t>((dataShadow | high) & ~low);
    WriteData();
    DelayUs(sckHalfPeriod);
}

void Programmer::RaiseSck() {
    dataShadow = static_cast<std::uint8_t>(dataShadow | pinMap.sck);
    WriteData();
}

int Programmer::ClockBit(bool one, std::int32_t extraUs) {
    SetLines(one ? pinMap.mosi : std::uint8_t{0},
             static_cast<std::uint8_t>(pinMap.sck | (one ? 0 : pinMap.mosi)));
    DelayUs(extraUs);
    RaiseSck();
    // The target shifted this bit out when SCK fell and holds it until SCK falls again, so
    // it is read at the rising edge, as an SPI master samples, within the high half period.
    const int in = ReadStatusLine(pinMap.miso);
    DelayUs(sckHalfPeriod);
    return in;
}

void Programmer::ClockBitOut(bool one, std::int32_t extraUs) {
    SetLines(one ? pinMap.mosi : std::uint8_t{0},
             static_cast<std::uint8_t>(pinMap.sck | (one ? 0 : pinMap.mosi)));
    DelayUs(extraUs);
    RaiseSck();
    DelayUs(sckHalfPeriod);
}

void Programmer::LowerSckNow() {
    dataShadow = static_cast<std::uint8_t>(dataShadow & ~pinMap.sck);
    WriteData();
}

int Programmer::ReadStatusLine(std::uint8_t mask) {
    const std::uint8_t status = port ? port->Read(PortRegister::Status) : std::uint8_t{0xFF};
    const int bit = (status & mask) != 0 ? 1 : 0;
    return misoAsRead ? bit : 1 - bit;
}

void Programmer::PulseSck() {
    SetLine(pinMap.sck, 1);
    DelayUs(10);
    SetLine(pinMap.sck, 0);
    DelayUs(10);
}

void Programmer::AssertReset() {
    SetLine(pinMap.reset, 0);
    SetLine(pinMap.reset2, 0);
}

void Programmer::ReleaseReset() {
    SetLine(pinMap.reset, 1);
    SetLine(pinMap.reset2, 1);
}

void Programmer::EnableDrivers() {
    const CableInfo* cable = FindCable(cableType);
    if (cable == nullptr) {
        return;
    }
    if (cable->drivers == DriverSwitch::ControlRegister) {
        WriteControl(cable->controlOn);
    } else if (cable->drivers == DriverSwitch::DataBitsLow) {
        dataShadow = static_cast<std::uint8_t>(dataShadow & ~cable->driverBits);
        WriteData();
    }
}

void Programmer::DisableDrivers() {
    const CableInfo* cable = FindCable(cableType);
    if (cable == nullptr) {
        return;
    }
    if (cable->drivers == DriverSwitch::ControlRegister) {
        WriteControl(cable->controlOff);
    } else if (cable->drivers == DriverSwitch::DataBitsLow) {
        dataShadow = static_cast<std::uint8_t>(dataShadow | cable->driverBits);
        WriteData();
    }
}

// The polarity follows the stored type, so "<AutoDetect>" reads inverted whatever map it kept.
void Programmer::SetCableType(int type) {
    cableType = type;
    const CableInfo* cable = FindCable(type);
    misoAsRead = cable != nullptr && cable->miso == MisoPolarity::AsRead;
}

void Programmer::SelectCable(int type) {
    SetCableType(type);
    if (const CableInfo* cable = FindCable(type)) {
        pinMap = cable->pins;
    }
}

// True when clearing the data pin reads 0 on the status pin and setting it reads 1: a wire
// joins the two.
bool Programmer::LoopBackFound(const LoopBack& wire) {
    SetLine(wire.data, 0);
    if (ReadStatusLine(wire.status) != 0) {
        return false;
    }
    SetLine(wire.data, 1);
    return ReadStatusLine(wire.status) == 1;
}

int Programmer::DetectCable() {
    // Type 3 reads the status register as it stands, which the loop-back tests need.
    SetCableType(CableStk200);
    int withoutLoopBack = CableNone;
    for (const CableInfo& cable : Cables()) {
        if (cable.loopBack.data != 0 && LoopBackFound(cable.loopBack)) {
            return cable.type;
        }
        if (cable.recognisedWithoutLoopBack) {
            withoutLoopBack = cable.type;
        }
    }
    return withoutLoopBack;
}

void Programmer::ResetAndRun() {
    DelayUs(10);
    EnableDrivers();
    dataShadow = 0;
    WriteData();
    DelayUs(10000);
    ReleaseReset();
    DelayUs(30000);
}

} // namespace zelk
