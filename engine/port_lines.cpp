#include "engine/port_lines.h"

#include "engine/port_claim.h"
#include "engine/port_io.h"
#include "platform/busy_wait.h"

#include <atomic>
#include <optional>

namespace zelk {
namespace {

EngineState engineState;
std::atomic<std::uint64_t> requestedDelay{0};

// Status-register masks of the lines the cable recognition reads.
constexpr std::uint8_t StatusError = 0x08;
constexpr std::uint8_t StatusAck = 0x40;
constexpr std::uint8_t StatusPaperEnd = 0x20;

// Type 2 drives its lines through buffers enabled by AUTOFEED alone; the other value leaves
// every control bit but AUTOFEED set, bit 5 included, which turns the data lines into inputs.
constexpr std::uint8_t AlteraDriversOn = 0x02;
constexpr std::uint8_t AlteraDriversOff = 0xFD;
// Type 3 enables its buffers with D2 and D3 low.
constexpr std::uint8_t Stk200DriverBits = 0x0C;

std::uint16_t Base() {
    return PortBaseAddress(engineState.portIndex);
}

void WriteData() {
    DlPortWritePortUchar(Base(), engineState.dataShadow);
}

void WriteControl(std::uint8_t value) {
    DlPortWritePortUchar(static_cast<std::uint16_t>(Base() + 2), value);
}

// The pin map of a cable type; none for "<AutoDetect>" and unlisted values, which keep the
// map in place.
std::optional<PinMap> PinMapOf(int type) {
    switch (type) {
    case CableKestan:
    case CableAltera:
        return PinMap{.miso = 0x80, .mosi = 0x40, .sck = 0x01, .reset = 0x02, .reset2 = 0x04};
    case CableStk200:
        return PinMap{.miso = 0x40, .mosi = 0x20, .sck = 0x10, .reset = 0x80, .reset2 = 0x40};
    case CableSp12:
        return PinMap{.miso = 0x80, .mosi = 0x80, .sck = 0x01, .reset = 0x02, .reset2 = 0x40};
    case CableUsb:
        return PinMap{.miso = 0x10, .mosi = 0x01, .sck = 0x02, .reset = 0x04, .reset2 = 0x08};
    case CableNone:
        return PinMap{};
    default:
        return std::nullopt;
    }
}

// True when clearing `dataMask` reads 0 on the status line and setting it reads 1: a wire
// joins the two pins.
bool LoopBackFound(std::uint8_t dataMask, std::uint8_t statusMask) {
    SetLine(dataMask, 0);
    if (ReadStatusLine(statusMask) != 0) {
        return false;
    }
    SetLine(dataMask, 1);
    return ReadStatusLine(statusMask) == 1;
}

} // namespace

EngineState& Engine() {
    return engineState;
}

void ResetEngineState() {
    engineState = EngineState{};
}

void DelayUs(std::int32_t n) {
    if (n <= 0) {
        return;
    }
    requestedDelay.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
    if (PortIo* port = CurrentPort()) {
        port->Wait(n);
    } else {
        BusyWaitUs(n);
    }
}

std::uint64_t RequestedDelayMicroseconds() {
    return requestedDelay.load(std::memory_order_relaxed);
}

void SetLine(std::uint8_t mask, std::uint8_t level) {
    if (level != 0) {
        engineState.dataShadow = static_cast<std::uint8_t>(engineState.dataShadow | mask);
    } else {
        engineState.dataShadow = static_cast<std::uint8_t>(engineState.dataShadow & ~mask);
    }
    WriteData();
    DelayUs(1);
}

int ReadStatusLine(std::uint8_t mask) {
    const std::uint8_t status = DlPortReadPortUchar(static_cast<std::uint16_t>(Base() + 1));
    const int bit = (status & mask) != 0 ? 1 : 0;
    return engineState.cableType == CableStk200 ? bit : 1 - bit;
}

void PulseSck() {
    SetLine(engineState.pinMap.sck, 1);
    DelayUs(10);
    SetLine(engineState.pinMap.sck, 0);
    DelayUs(10);
}

void AssertReset() {
    SetLine(engineState.pinMap.reset, 0);
    SetLine(engineState.pinMap.reset2, 0);
}

void ReleaseReset() {
    SetLine(engineState.pinMap.reset, 1);
    SetLine(engineState.pinMap.reset2, 1);
}

void EnableDrivers() {
    if (engineState.cableType == CableAltera) {
        WriteControl(AlteraDriversOn);
    } else if (engineState.cableType == CableStk200) {
        engineState.dataShadow =
            static_cast<std::uint8_t>(engineState.dataShadow & ~Stk200DriverBits);
        WriteData();
    }
}

void DisableDrivers() {
    if (engineState.cableType == CableAltera) {
        WriteControl(AlteraDriversOff);
    } else if (engineState.cableType == CableStk200) {
        engineState.dataShadow =
            static_cast<std::uint8_t>(engineState.dataShadow | Stk200DriverBits);
        WriteData();
    }
}

bool SelectPort(int index) {
    if (PortClaimed()) {
        return false;
    }
    if (index != engineState.portIndex) {
        ClosePort();
    }
    engineState.portIndex = index;
    return true;
}

bool SelectCable(int type) {
    if (PortClaimed()) {
        return false;
    }
    engineState.cableType = type;
    if (const std::optional<PinMap> map = PinMapOf(type)) {
        engineState.pinMap = *map;
    }
    return true;
}

int DetectCable() {
    // Type 3 reads the status register as it stands, which the loop-back tests need.
    engineState.cableType = CableStk200;
    if (LoopBackFound(0x08, StatusError)) {
        return CableKestan;
    }
    if (LoopBackFound(0x20, StatusAck)) {
        return CableAltera;
    }
    SetLine(0x01, 0);
    if (ReadStatusLine(StatusPaperEnd) == 1) {
        return CableSp12;
    }
    SetLine(0x01, 1);
    return ReadStatusLine(StatusPaperEnd) == 1 ? CableStk200 : CableSp12;
}

void ResetAndRun() {
    DelayUs(10);
    EnableDrivers();
    engineState.dataShadow = 0;
    WriteData();
    DelayUs(10000);
    ReleaseReset();
    DelayUs(30000);
}

} // namespace zelk
