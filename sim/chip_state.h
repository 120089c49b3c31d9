// What a simulated chip keeps while unpowered: flash, EEPROM, lock and fuse bytes, and the
// state file that carries them from one run to the next.
#pragma once

#include "sim/sim_device.h"

#include <cstdint>
#include <filesystem>
#include <string>
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

// Why a device entry cannot be simulated (no flash, sizes beyond the images, a page size
// that is not a power of two tiling the flash), or empty when it can.
std::string SimDeviceProblem(const SimDevice& device);

// A new chip as shipped: memories erased, lock bits unprogrammed, the data sheets' default
// fuses for the parts we know and 0xFF for the others.
ChipState FreshChip(const SimDevice& device);

// Reads a state file written by SaveChipState for a device with this signature and these
// sizes. False, with the reason, when it cannot be read or belongs to another device; `chip`
// is then unchanged.
bool LoadChipState(const std::filesystem::path& file, const SimDevice& device, ChipState& chip,
                   std::string& error);

// Writes the state file atomically (temporary file, then rename).
bool SaveChipState(const std::filesystem::path& file, const SimDevice& device,
                   const ChipState& chip, std::string& error);

} // namespace zelk
