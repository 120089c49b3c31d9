#include "engine/port_claim.h"

#include <atomic>

namespace zelk {
namespace {
std::atomic<bool> claimed{false};
} // namespace

bool TryClaimPort() {
    return !claimed.exchange(true, std::memory_order_acq_rel);
}

void ReleasePortClaim() {
    claimed.store(false, std::memory_order_release);
}

bool PortClaimed() {
    return claimed.load(std::memory_order_acquire);
}

} // namespace zelk
