// What a fuse write would do that the cable cannot undo: programming RSTDISBL or DWEN, which
// end serial programming, or changing the CKSEL bits, which may give the chip a clock the
// board does not have. The lock and fuse dialog asks before such a write.
#pragma once

#include "engine/device_database.h"
#include "engine/lock_fuse.h"

#include <string>
#include <vector>

namespace zelk {

class FuseGuard {
public:
    // `fuseNames` is the [Fuses] section: the clock select bits are those whose label starts
    // with "CKSEL".
    FuseGuard(const DeviceEntry& device, const BitLabels& fuseNames);

    // The question to ask before `next` replaces `current` on the chip (bytes as the chip
    // holds them, 0 = programmed); empty when the write is harmless.
    std::string Question(const FuseBytes& current, const FuseBytes& next) const;

private:
    struct Bit {
        LockFuseByte byte;
        int bit;
        std::string name;
    };

    std::vector<Bit> endsSerialProgramming; // RSTDISBL, DWEN
    std::vector<Bit> clockSelect;
};

} // namespace zelk
