// The device database zelk.ini: the [Devices] list, one section per device, and the lookup
// of a signature.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zelk {

// How a device's flash, lock bits and fuses are written: the "Algorithm" number of zelk.ini.
// Other numbers are kept as they are; the flash write writes nothing for them.
enum class Algorithm : std::uint8_t {
    TimedBytes = 0,     // one byte at a time with a fixed wait
    PolledBytes = 1,    // one byte at a time, polling until the byte reads back
    PagesFuseByte2 = 2, // page writes; fuses written in the second-byte form
    PagesLockByte4 = 3, // page writes; lock bits written in the fourth-byte form
};

struct DeviceEntry {
    std::string name;            // the section name
    std::uint32_t signature = 0; // "Signature": the three signature bytes, 0x1E950F
    std::uint32_t programSize = 0;
    std::int32_t dataSize = 0;
    Algorithm algorithm = Algorithm::TimedBytes;
    std::uint16_t pageSize = 0;
    std::string lockBits; // "LockBits": mode character and 8 bit characters
    std::string fuses;    // "Fuses", "FusesHi", "FusesExt": 8 bit characters each
    std::string fusesHi;
    std::string fusesExt;
};

// zelk.ini beside the running executable, else ../share/zelk/zelk.ini relative to it.
std::filesystem::path FindDeviceDatabase();
// The same search from a given executable folder: the first candidate that exists, else the
// first candidate.
std::filesystem::path FindDeviceDatabaseFrom(const std::filesystem::path& executableDir);

// Every device named in [Devices], in file order (for tests and the simulator).
std::vector<DeviceEntry> ReadDeviceList(const std::filesystem::path& ini);

struct DeviceLookup {
    enum class Result { Matched, NotFound, Invalid };
    Result result = Result::NotFound;
    DeviceEntry entry;  // the matched (or refused) entry
    std::string reason; // why an Invalid entry would drive the target wrongly
};

// The first [Devices] entry whose "Signature" has these low 16 bits. An entry whose sizes
// exceed the images, or that writes pages with page size 0, is refused as Invalid.
// An entry whose section has no "Signature" never matches: it cannot identify a device.
DeviceLookup LookupDevice(const std::filesystem::path& ini, std::uint16_t deviceCode);

// The keys of one device section (the lock and fuse dialog reads its patterns by the name
// the lookup found); missing keys read as 0 or empty.
DeviceEntry ReadDeviceSection(const std::filesystem::path& ini, std::string_view name);

// Labels of lock or fuse bits: the [LockBits] or [Fuses] section, single-character keys
// compared with case (so "a" and "A" are different bits), labels cut to BitLabelLimit
// characters. The first of two equal keys wins; a missing file or section gives no labels.
inline constexpr std::size_t BitLabelLimit = 29;
using BitLabels = std::map<char, std::string>;
BitLabels ReadBitLabels(const std::filesystem::path& ini, std::string_view section);

} // namespace zelk
