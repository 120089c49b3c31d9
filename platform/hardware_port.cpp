#include "platform/hardware_port.h"

#include "platform/direct_port.h"
#include "platform/ppdev_port.h"

#include <array>

namespace zelk {
namespace {
constexpr std::array<std::uint16_t, 3> BaseAddresses = {0x378, 0x278, 0x3BC};
} // namespace

std::uint16_t PortBaseAddress(int portIndex) {
    if (portIndex < 0 || portIndex >= static_cast<int>(BaseAddresses.size())) {
        return 0;
    }
    return BaseAddresses[static_cast<std::size_t>(portIndex)];
}

std::unique_ptr<PortIo> OpenHardwarePort(std::uint16_t base, std::string& reason) {
    // A port the kernel drives is reached through ppdev alone: direct I/O beside the kernel's
    // driver would fight it, and a claim that failed or was interrupted must fail the command.
    std::string listing;
    if (KernelParportNumber(base, listing)) {
        return OpenPpdevPort(base, reason);
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
