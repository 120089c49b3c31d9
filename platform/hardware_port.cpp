// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/hardware_port.h"

#include "platform/direct_port.h"
#include "platform/ppdev_port.h"

#include <array>
#include <cstdio>

namespace zelk {
namespace {
constexpr std::array<std::uint16_t, 3> BaseAddresses = {0x378, 0x278, 0x3BC};
constexpr const char* ParportProcDir = "/proc/sys/dev/parport";
} // namespace

std::uint16_t PortBaseAddress(int portIndex) {
    if (portIndex < 0 || portIndex >= static_cast<int>(BaseAddresses.size())) {
        return 0;
    }
    return BaseAddresses[static_cast<std::size_t>(portIndex)];
}

PortPlan PlanHardwarePort(std::uint16_t base, const std::filesystem::path& procDir) {
    std::string listing;
    if (const std::optional<int> number = FindParportNumber(procDir, base, listing)) {
        return {PortPlan::Backend::Ppdev, "/dev/parport" + std::to_string(*number), {}};
    }
    return {PortPlan::Backend::Direct, {}, listing};
}

std::unique_ptr<PortIo> OpenHardwarePort(std::uint16_t base, std::string& reason) {
    const PortPlan plan = PlanHardwarePort(base, ParportProcDir);
    if (plan.backend == PortPlan::Backend::Ppdev) {
        return OpenPpdevDevice(plan.device, reason);
    }
    std::string directReason;
    if (auto port = OpenDirectPort(base, directReason)) {
        return port;
    }
    char address[8];
    std::snprintf(address, sizeof address, "0x%x", static_cast<unsigned>(base));
    reason = std::string("no parallel port with base address ") + address + " (" + ParportProcDir +
             " lists " + plan.listing + "; is the parport_pc module loaded?); " + directReason;
    return nullptr;
}

} // namespace zelk
