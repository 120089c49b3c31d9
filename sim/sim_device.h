// SPDX-License-Identifier: GPL-3.0-or-later
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
    // Data-sheet write times in microseconds; 0 takes the simulator's conservative default.
    std::int32_t flashWriteUs = 0; // a flash byte, or a page in page mode
    std::int32_t eepromWriteUs = 0;
    std::int32_t chipEraseUs = 0;
    std::int32_t fuseWriteUs = 0;    // a fuse or lock byte
    bool pollReadyBusy = false;      // answers Poll RDY/BSY (0xF0)
    bool lockHidesSignature = false; // reads signature 00 01 02 when locked
    // The RSTDISBL and DWEN fuse bits as "FusesHi.7"; empty when the part has none.
    std::string resetDisableFuse{};
    std::string debugWireFuse{};
};

} // namespace zelk
