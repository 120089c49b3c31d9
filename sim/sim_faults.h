// SPDX-License-Identifier: GPL-3.0-or-later
// Faults the simulated cable and target can be told to show, and their command-line form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelk {

struct SimFaults {
    // Nothing hangs on the port: no cable, no target; every status bit reads its idle level.
    bool noneConnected = false;
    // 1 to 5: the cable on the port is this type, not the one configured; 0: as configured.
    int wrongCable = 0;
    // The target ignores the first N Programming Enable attempts. For N below 32 it comes out
    // of reset N bits out of step until it has once entered programming mode, so a host that
    // pulses SCK once after each failed attempt gets the echo on attempt N + 1. From 32 on
    // its serial interface stays silent.
    int noEchoAttempts = 0;
    // Writes never finish: a programmed flash byte reads 0x7F for ever, page, EEPROM, erase,
    // lock and fuse writes never take effect, and every later write is lost as busy.
    bool stuckBusy = false;
    // Bit 0 of the n-th byte the target sends (counting from 1) is flipped.
    std::optional<std::uint64_t> bitErrorAtByte;
    // Bit 0 of every n-th byte the target sends is flipped: a cable that picks up noise.
    std::optional<std::uint64_t> noiseEveryBytes;
    // The target is gone (MISO floats, nothing answers) once this many bytes were exchanged.
    std::optional<std::uint64_t> removeAfterBytes;
    // Every write takes this many times its data-sheet time (a part at the edge of its specs).
    double slowFactor = 1.0;
    // The target's clock in Hz: SCK phases it cannot follow garble the bit. 0: no limit.
    std::uint64_t clockHz = 0;
};

// Adds one fault given as "none-connected", "wrong-cable=N", "no-echo=N", "stuck-busy",
// "bit-error=N", "noise=N", "remove-after=N", "slow=FACTOR" or "clock=HZ" to `faults`. False, with
// the reason, for anything else; `faults` is then unchanged.
bool ParseSimFault(std::string_view faultText, SimFaults& faults, std::string& error);

} // namespace zelk
