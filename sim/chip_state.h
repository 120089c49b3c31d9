// SPDX-License-Identifier: GPL-3.0-or-later
// What a simulated chip keeps while unpowered: flash, EEPROM, lock and fuse bytes, and the
// state file that carries them from one run to the next.
#pragma once

#include "sim/sim_device.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelk {

// The largest flash page of the parts we simulate, in bytes.
inline constexpr std::uint16_t MaxSimPageSize = 512;

class ChipStateFile;

struct ChipState {
    std::vector<std::uint8_t> flash;
    std::vector<std::uint8_t> eeprom;
    std::uint8_t lock = 0xFF;
    std::uint8_t fuseLow = 0xFF;
    std::uint8_t fuseHigh = 0xFF;
    std::uint8_t fuseExt = 0xFF;
    // The locked file the chip is kept in between runs; null for none.
    std::shared_ptr<ChipStateFile> stateFile;
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
std::string SimDeviceProblem(const SimDevice& device);

// A new chip as shipped: memories erased, lock bits unprogrammed, the data sheets' default
// fuses for the parts we know and 0xFF for the others.
ChipState FreshChip(const SimDevice& device);

// The lock file of a state file: beside the file its links lead to, whether it exists yet or
// not, so that two names of one state file share one lock.
std::filesystem::path ChipStateLockFile(const std::filesystem::path& file);

// The state file of a simulated chip, locked for as long as this object lives (an exclusive
// flock on a lock file beside it, ".NAME.lock", which stays), so that two runs on one state
// file never overwrite each other's changes. The file is replaced as every user file is.
class ChipStateFile {
public:
    // Takes the lock. Null, with the reason, when another run holds it or it cannot be taken.
    static std::shared_ptr<ChipStateFile> Open(const std::filesystem::path& file,
                                               std::string& error);
    ~ChipStateFile();
    ChipStateFile(const ChipStateFile&) = delete;
    ChipStateFile& operator=(const ChipStateFile&) = delete;

    // Reads the chip saved for a device with this signature and these sizes; a file that does
    // not exist yet leaves `chip` as it is. False, with the reason, when the file cannot be
    // read or belongs to another device; `chip` is then unchanged.
    bool Load(const SimDevice& device, ChipState& chip, std::string& error);
    // Writes the chip unless the file already holds exactly this. False, with the reason, when
    // the file cannot be replaced.
    bool Save(const SimDevice& device, const ChipState& chip, std::string& error);

    const std::filesystem::path& Path() const { return file; }

private:
    ChipStateFile(std::filesystem::path stateFile, int lock);

    std::filesystem::path file;
    int lockFd = -1;
    std::string saved; // the file's contents as last read or written
};

} // namespace zelk
