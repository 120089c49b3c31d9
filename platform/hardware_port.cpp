#include "platform/hardware_port.h"

#include "platform/direct_port.h"
#include "platform/ppdev_port.h"

namespace zelk {

std::unique_ptr<PortIo> OpenHardwarePort(int portIndex, std::string& reason) {
    const std::uint16_t base = PortBaseAddress(portIndex);
    if (base == 0) {
        reason = "port index " + std::to_string(portIndex) + " is not 0, 1 or 2";
        return nullptr;
    }
    std::string ppdevReason;
    if (auto port = OpenPpdevPort(base, ppdevReason)) {
        return port;
    }
    std::string directReason;
    if (auto port = OpenDirectPort(base, directReason)) {
        return port;
    }
    reason = ppdevReason + "; " + directReason;
    return nullptr;
}

} // namespace zelk
