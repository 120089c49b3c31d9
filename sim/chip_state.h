// What a simulated chip keeps while unpowered: flash, EEPROM, lock and fuse bytes, and the
// state file that carries them from one run to the next.
#pragma once

#include "engine/device_database.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelk {

// The largest flash page of the parts we simulate, in bytes.
inline constexpr std::uint16_t MaxSimPageSize = 512;

struct ChipState {
    std::vector<std::uint8_t> flash;
    std::vector<std::uint8_t> eeprom;
    std::uint8_t lock = 0xFF;
    std::uint8_t fuseLow = 0xFF;
    std::uint8_t fuseHigh = 0xFF;
    std::uint8_t fuseExt = 0xFF;
};

// A fuse bit as zelk.ini marks it: the key of its fuse byte, a dot and the bit number
// ("FusesHi.7"). No byte for an empty mark: the part has no such fuse.
struct FuseBitMark {
    std::uint8_t ChipState::*byte = nullptr;
    std::uint8_t mask = 0;
    // True when the bit is programmed (0) in `chip`.
    bool ProgrammedIn(const ChipState& chip) const {
        return byte != nullptr && (chip.*byte & mask) == 0;
    }
};
// The mark of `text`, or none when it is not of that form.
std::optional<FuseBitMark> ParseFuseBitMark(std::string_view text);

// Why a device entry cannot be simulated (no flash, sizes beyond the images, a page size
// that is not a power of two tiling the flash, a fuse mark that names no fuse bit), or empty
// when it can.
std::string SimDeviceProblem(const DeviceEntry& device);

// A new chip as shipped: memories erased, lock bits unprogrammed, the data sheets' default
// fuses for the parts we know and 0xFF for the others.
ChipState FreshChip(const DeviceEntry& device);

// Reads a state file written by SaveChipState for a device with this signature and these
// sizes. False, with the reason, when it cannot be read or belongs to another device; `chip`
// is then unchanged.
bool LoadChipState(const std::filesystem::path& file, const DeviceEntry& device, ChipState& chip,
                   std::string& error);

// Writes the state file atomically (temporary file, then rename).
bool SaveChipState(const std::filesystem::path& file, const DeviceEntry& device,
                   const ChipState& chip, std::string& error);

} // namespace zelk
