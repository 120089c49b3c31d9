// The three registers of a parallel port and the backend that reaches them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zelk {

enum class PortRegister : std::uint8_t { Data = 0, Status = 1, Control = 2 };

// One parallel port: hardware (ppdev, direct I/O) or the simulated cable and target.
class PortIo {
public:
    virtual ~PortIo() = default;
    // Data and Control are written; every write reaches the pins at once, in call order.
    virtual void Write(PortRegister reg, std::uint8_t value) = 0;
    // Status is read; the value is the pin levels of this moment.
    virtual std::uint8_t Read(PortRegister reg) = 0;
    // Lets `microseconds` (> 0) pass. Hardware busy-waits on the monotonic clock; a simulated
    // port on virtual time advances its own clock instead.
    virtual void Wait(std::int32_t microseconds);
};

// Opens the port with the given index (0, 1, 2 for 0x378, 0x278, 0x3BC). On failure it
// returns null and says why in `reason` (device path and cause, one line).
using PortOpener = std::function<std::unique_ptr<PortIo>(int portIndex, std::string& reason)>;

// Replaces how ports are opened (the simulator and tests install their own); the port that
// is open now is closed. The default opener reaches the hardware.
void SetPortOpener(PortOpener opener);
// Opens the selected port unless it is already open. False, with the reason, when it cannot.
bool OpenSelectedPort(std::string& reason);
// Closes the open port, if any; the next OpenSelectedPort opens it afresh.
void ClosePort();
// The open port, or null.
PortIo* CurrentPort();

// Base I/O address of a port index, 0 for an index outside 0..2.
std::uint16_t PortBaseAddress(int portIndex);

// Raw register access by I/O address (base, base+1, base+2 of the selected port). Without an
// open port a write does nothing and a read gives 0xFF.
void DlPortWritePortUchar(std::uint16_t port, std::uint8_t value);
std::uint8_t DlPortReadPortUchar(std::uint16_t port);

} // namespace zelk
