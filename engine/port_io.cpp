#include "engine/port_io.h"

#include "engine/port_lines.h"
#include "platform/busy_wait.h"
#include "platform/hardware_port.h"

#include <array>
#include <utility>

namespace zelk {
namespace {

struct OpenPort {
    PortOpener opener = OpenHardwarePort;
    std::unique_ptr<PortIo> port;
    int index = -1;
};

OpenPort& State() {
    static OpenPort state;
    return state;
}

constexpr std::array<std::uint16_t, 3> BaseAddresses = {0x378, 0x278, 0x3BC};

} // namespace

void PortIo::Wait(std::int32_t microseconds) {
    BusyWaitUs(microseconds);
}

void SetPortOpener(PortOpener opener) {
    ClosePort();
    State().opener = std::move(opener);
}

bool OpenSelectedPort(std::string& reason) {
    OpenPort& state = State();
    const int index = Engine().portIndex;
    if (state.port && state.index == index) {
        return true;
    }
    state.port.reset();
    state.index = -1;
    state.port = state.opener(index, reason);
    if (!state.port) {
        return false;
    }
    state.index = index;
    return true;
}

void ClosePort() {
    State().port.reset();
    State().index = -1;
}

PortIo* CurrentPort() {
    return State().port.get();
}

std::uint16_t PortBaseAddress(int portIndex) {
    if (portIndex < 0 || portIndex >= static_cast<int>(BaseAddresses.size())) {
        return 0;
    }
    return BaseAddresses[static_cast<std::size_t>(portIndex)];
}

void DlPortWritePortUchar(std::uint16_t port, std::uint8_t value) {
    PortIo* io = CurrentPort();
    const std::uint16_t base = PortBaseAddress(State().index);
    if (io == nullptr || port < base || port > base + 2) {
        return;
    }
    io->Write(static_cast<PortRegister>(port - base), value);
}

std::uint8_t DlPortReadPortUchar(std::uint16_t port) {
    PortIo* io = CurrentPort();
    const std::uint16_t base = PortBaseAddress(State().index);
    if (io == nullptr || port < base || port > base + 2) {
        return 0xFF;
    }
    return io->Read(static_cast<PortRegister>(port - base));
}

} // namespace zelk
