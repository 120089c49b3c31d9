// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/chip_state.h"

#include "memory/target_images.h"
#include "platform/atomic_file.h"
#include "platform/input_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace zelk {
namespace {

struct DefaultFuses {
    std::uint32_t signature;
    std::uint8_t low;
    std::uint8_t high;
    std::uint8_t ext;
};

// Factory settings from the data sheets; unused bits read 1.
constexpr std::array<DefaultFuses, 10> KnownDefaults = {{
    {0x1E9307, 0xE1, 0xD9, 0xFF}, // ATmega8
    {0x1E9306, 0xE1, 0xD9, 0xFF}, // ATmega8515
    {0x1E9308, 0xE1, 0xD9, 0xFF}, // ATmega8535
    {0x1E9403, 0xE1, 0x99, 0xFF}, // ATmega16
    {0x1E9502, 0xE1, 0x99, 0xFF}, // ATmega32
    {0x1E9602, 0xE1, 0x99, 0xFD}, // ATmega64
    {0x1E9702, 0xE1, 0x99, 0xFD}, // ATmega128
    {0x1E9406, 0x62, 0xDF, 0xF9}, // ATmega168
    {0x1E950F, 0x62, 0xD9, 0xFF}, // ATmega328P
    {0x1E910A, 0x64, 0xDF, 0xFF}, // ATtiny2313
}};

// File layout: magic, signature, program size, data size (32-bit little-endian each), the
// lock, fuse, fuse high and extended fuse bytes, then the flash and the EEPROM.
constexpr std::array<char, 8> Magic = {'Z', 'E', 'L', 'K', 'S', 'I', 'M', '1'};
constexpr std::size_t HeaderSize = Magic.size() + 3 * 4 + 4;
constexpr std::size_t MaxStateFileSize = HeaderSize + FlashImageSize + EepromImageSize;

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

std::uint32_t GetU32(std::string_view in, std::size_t at) {
    const auto byte = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(in[at + i]));
    };
    return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

std::string Serialize(const SimDevice& device, const ChipState& chip) {
    std::vector<std::uint8_t> bytes(Magic.begin(), Magic.end());
    bytes.reserve(HeaderSize + chip.flash.size() + chip.eeprom.size());
    PutU32(bytes, device.signature);
    PutU32(bytes, static_cast<std::uint32_t>(chip.flash.size()));
    PutU32(bytes, static_cast<std::uint32_t>(chip.eeprom.size()));
    bytes.insert(bytes.end(), {chip.lock, chip.fuseLow, chip.fuseHigh, chip.fuseExt});
    bytes.insert(bytes.end(), chip.flash.begin(), chip.flash.end());
    bytes.insert(bytes.end(), chip.eeprom.begin(), chip.eeprom.end());
    return {bytes.begin(), bytes.end()};
}

} // namespace

std::filesystem::path ChipStateLockFile(const std::filesystem::path& file) {
    constexpr int MaxLinks = 40;
    std::filesystem::path resolved = file;
    std::error_code ec;
    for (int link = 0; link < MaxLinks && std::filesystem::is_symlink(resolved, ec); ++link) {
        const std::filesystem::path target = std::filesystem::read_symlink(resolved, ec);
        if (ec) {
            break;
        }
        resolved = target.is_absolute() ? target : resolved.parent_path() / target;
    }
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(resolved, ec);
    if (!ec) {
        resolved = canonical;
    }
    return resolved.parent_path() / ("." + resolved.filename().string() + ".lock");
}

namespace {

std::string Hex(std::uint32_t value) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "0x%06X", value);
    return text.data();
}

} // namespace

std::optional<FuseBitMark> ParseFuseBitMark(std::string_view text) {
    if (text.empty()) {
        return FuseBitMark{};
    }
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos || text.size() != dot + 2 || text[dot + 1] < '0' ||
        text[dot + 1] > '7') {
        return std::nullopt;
    }
    const std::string_view key = text.substr(0, dot);
    const auto mask = static_cast<std::uint8_t>(1U << (text[dot + 1] - '0'));
    if (key == "Fuses") {
        return FuseBitMark{&ChipState::fuseLow, mask};
    }
    if (key == "FusesHi") {
        return FuseBitMark{&ChipState::fuseHigh, mask};
    }
    if (key == "FusesExt") {
        return FuseBitMark{&ChipState::fuseExt, mask};
    }
    return std::nullopt;
}

std::string SimDeviceProblem(const SimDevice& device) {
    if (device.programSize == 0 || device.programSize > FlashImageSize) {
        return "Device " + device.name + ": program size " + std::to_string(device.programSize) +
               " is not between 1 and " + std::to_string(FlashImageSize);
    }
    if (device.dataSize < 0 || static_cast<std::size_t>(device.dataSize) > EepromImageSize) {
        return "Device " + device.name + ": data size " + std::to_string(device.dataSize) +
               " is not between 0 and " + std::to_string(EepromImageSize);
    }
    const bool pageMode = device.algorithm == 2 || device.algorithm == 3;
    if (pageMode && (device.pageSize < 2 || device.pageSize > MaxSimPageSize ||
                     (device.pageSize & (device.pageSize - 1)) != 0 ||
                     device.programSize % device.pageSize != 0)) {
        return "Device " + device.name + ": page size " + std::to_string(device.pageSize) +
               " is not a power of two from 2 to " + std::to_string(MaxSimPageSize) +
               " that divides the flash into whole pages";
    }
    for (const std::string& mark : {device.resetDisableFuse, device.debugWireFuse}) {
        if (!ParseFuseBitMark(mark)) {
            return "Device " + device.name + ": fuse mark \"" + mark +
                   "\" is not Fuses, FusesHi or FusesExt, a dot and a bit from 0 to 7";
        }
    }
    return {};
}

ChipState FreshChip(const SimDevice& device) {
    ChipState chip;
    chip.flash.assign(device.programSize, ErasedByte);
    chip.eeprom.assign(static_cast<std::size_t>(device.dataSize), ErasedByte);
    for (const DefaultFuses& known : KnownDefaults) {
        if (known.signature == device.signature) {
            chip.fuseLow = known.low;
            chip.fuseHigh = known.high;
            chip.fuseExt = known.ext;
        }
    }
    return chip;
}

ChipStateFile::ChipStateFile(std::filesystem::path stateFile, int lock)
    : file(std::move(stateFile)), lockFd(lock) {}

ChipStateFile::~ChipStateFile() {
    ::close(lockFd); // releases the lock
}

std::shared_ptr<ChipStateFile> ChipStateFile::Open(const std::filesystem::path& file,
                                                   std::string& error) {
    const std::filesystem::path lockFile = ChipStateLockFile(file);
    const int fd =
        ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "Cannot lock the simulator state file " + file.string() + " with " +
                lockFile.string() + ": " + (fd < 0 ? std::strerror(errno) : "not a regular file");
        if (fd >= 0) {
            ::close(fd);
        }
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK
                    ? "The simulator state file " + file.string() + " is in use by another run"
                    : "Cannot lock the simulator state file " + file.string() + ": " +
                          std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return std::shared_ptr<ChipStateFile>(new ChipStateFile(file, fd));
}

bool ChipStateFile::Load(const SimDevice& device, ChipState& chip, std::string& error) {
    std::string bytes;
    std::string reason;
    const InputFile::Status status = ReadInputFile(file, MaxStateFileSize, bytes, reason);
    if (status == InputFile::Status::Missing) {
        return true;
    }
    if (status != InputFile::Status::Open) {
        error = "Cannot read the simulator state file " + file.string() + ": " + reason;
        return false;
    }
    if (bytes.size() < HeaderSize || !std::equal(Magic.begin(), Magic.end(), bytes.begin())) {
        error = "The simulator state file " + file.string() + " is not a zelk chip state";
        return false;
    }
    const std::uint32_t signature = GetU32(bytes, 8);
    const std::uint32_t programSize = GetU32(bytes, 12);
    const std::uint32_t dataSize = GetU32(bytes, 16);
    if (signature != device.signature || programSize != device.programSize ||
        dataSize != static_cast<std::uint32_t>(device.dataSize)) {
        error = "The simulator state file " + file.string() + " holds a chip with signature " +
                Hex(signature) + ", " + std::to_string(programSize) + " bytes of flash and " +
                std::to_string(dataSize) + " bytes of EEPROM, not " + device.name;
        return false;
    }
    if (bytes.size() != HeaderSize + programSize + dataSize) {
        error = "The simulator state file " + file.string() + " is cut short or too long";
        return false;
    }
    const auto flashBegin = bytes.begin() + static_cast<std::ptrdiff_t>(HeaderSize);
    const auto eepromBegin = flashBegin + static_cast<std::ptrdiff_t>(programSize);
    chip.flash.assign(flashBegin, eepromBegin);
    chip.eeprom.assign(eepromBegin, bytes.end());
    chip.lock = static_cast<std::uint8_t>(bytes[20]);
    chip.fuseLow = static_cast<std::uint8_t>(bytes[21]);
    chip.fuseHigh = static_cast<std::uint8_t>(bytes[22]);
    chip.fuseExt = static_cast<std::uint8_t>(bytes[23]);
    saved = std::move(bytes);
    return true;
}

bool ChipStateFile::Save(const SimDevice& device, const ChipState& chip, std::string& error) {
    std::string bytes = Serialize(device, chip);
    if (bytes == saved) {
        return true;
    }
    std::string reason;
    if (!ReplaceFileAtomically(file, bytes, reason)) {
        error = "Cannot save the simulator state file " + file.string() + ": " + reason;
        return false;
    }
    saved = std::move(bytes);
    return true;
}

} // namespace zelk
