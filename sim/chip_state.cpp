#include "sim/chip_state.h"

#include "memory/target_images.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

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

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

std::uint32_t GetU32(const std::vector<std::uint8_t>& in, std::size_t at) {
    return static_cast<std::uint32_t>(in[at]) | static_cast<std::uint32_t>(in[at + 1]) << 8 |
           static_cast<std::uint32_t>(in[at + 2]) << 16 |
           static_cast<std::uint32_t>(in[at + 3]) << 24;
}

std::string Hex(std::uint32_t value) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "0x%06X", value);
    return text.data();
}

} // namespace

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

bool LoadChipState(const std::filesystem::path& file, const SimDevice& device, ChipState& chip,
                   std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "Cannot read the simulator state file " + file.string();
        return false;
    }
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    if (in.bad() || bytes.size() < HeaderSize ||
        !std::equal(Magic.begin(), Magic.end(), bytes.begin())) {
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
    chip.lock = bytes[20];
    chip.fuseLow = bytes[21];
    chip.fuseHigh = bytes[22];
    chip.fuseExt = bytes[23];
    return true;
}

bool SaveChipState(const std::filesystem::path& file, const SimDevice& device,
                   const ChipState& chip, std::string& error) {
    std::vector<std::uint8_t> bytes(Magic.begin(), Magic.end());
    bytes.reserve(HeaderSize + chip.flash.size() + chip.eeprom.size());
    PutU32(bytes, device.signature);
    PutU32(bytes, static_cast<std::uint32_t>(chip.flash.size()));
    PutU32(bytes, static_cast<std::uint32_t>(chip.eeprom.size()));
    bytes.insert(bytes.end(), {chip.lock, chip.fuseLow, chip.fuseHigh, chip.fuseExt});
    bytes.insert(bytes.end(), chip.flash.begin(), chip.flash.end());
    bytes.insert(bytes.end(), chip.eeprom.begin(), chip.eeprom.end());

    std::filesystem::path temporary = file;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            error = "Cannot write the simulator state file " + temporary.string();
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        error = "Cannot replace the simulator state file " + file.string() + ": " + ec.message();
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

} // namespace zelk
