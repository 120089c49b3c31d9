// The parameters of the simulated chip, as the device database describes the part.
#pragma once

#include <cstdint>
#include <string>

namespace zelk {

struct SimDevice {
    std::string name;
    std::uint32_t signature = 0; // the three signature bytes, 0x1E950F
    std::uint32_t programSize = 0;
    std::int32_t dataSize = 0;
    std::uint8_t algorithm = 0; // 0, 1: byte writes; 2, 3: page writes and the lock/fuse forms
    std::uint16_t pageSize = 0;
    // The part's lock and fuse patterns; an empty fuse pattern means the chip has no such byte.
    std::string lockBits;
    std::string fuses;
    std::string fusesHi;
    std::string fusesExt;
};

} // namespace zelk
