// SPDX-License-Identifier: GPL-3.0-or-later
// What a fuse write would do that the cable cannot undo: programming RSTDISBL or DWEN, which
// end serial programming, or changing the CKSEL bits or CKDIV8, which may give the chip a
// clock the board does not have or one too slow for the bit timing. The lock and fuse dialog
// asks before such a write; zelk-cli refuses it without --force.
#pragma once

#include "engine/device_database.h"
#include "engine/lock_fuse.h"

#include <string>
#include <vector>

namespace zelk {

class FuseGuard {
public:
    // `fuseNames` is the [Fuses] section: the clock bits are those whose label starts with
    // "CKSEL" or "CKDIV8".
    FuseGuard(const DeviceEntry& device, const BitLabels& fuseNames);

    // What writing `next` over `current` (bytes as the chip holds them, 0 = programmed) would
    // do, naming the bits; empty when the write is harmless.
    std::string Warning(const FuseBytes& current, const FuseBytes& next) const;
    // The warning and "Write the fuses all the same?"; empty when the write is harmless.
    std::string Question(const FuseBytes& current, const FuseBytes& next) const;

private:
    struct Bit {
        LockFuseByte byte;
        int bit;
        std::string name;
    };

    std::vector<Bit> endsSerialProgramming; // RSTDISBL, DWEN
    std::vector<Bit> clock;
};

} // namespace zelk
