#include "terminal/engine_spi_link.h"

#include "engine/instructions.h"
#include "engine/port_claim.h"
#include "engine/port_io.h"
#include "engine/port_lines.h"

namespace zelk {

bool EngineSpiLink::Acquire(std::string& reason) {
    if (!TryClaimPort()) {
        reason = PortBusyMessage;
        return false;
    }
    if (!OpenSelectedPort(reason)) {
        ReleasePortClaim();
        return false;
    }
    return true;
}

void EngineSpiLink::ResetAndRun() {
    zelk::ResetAndRun();
}

std::uint8_t EngineSpiLink::Exchange(std::uint8_t out, std::int32_t bitWaitUs) {
    return SpiTransferSlow(out, bitWaitUs);
}

void EngineSpiLink::Release() {
    ReleasePortClaim();
}

} // namespace zelk
