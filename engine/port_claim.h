// One user of the port at a time. The flash write worker holds the claim while it runs;
// every other target command, the SPI terminal and a port or cable change are refused then.
#pragma once

namespace zelk {

// True when the claim was free and is now held by the caller.
bool TryClaimPort();
void ReleasePortClaim();
bool PortClaimed();

// The message shown to a user whose command was refused because the port is in use.
inline constexpr const char* PortBusyMessage =
    "The flash is being written. Wait until the write has finished.";

} // namespace zelk
