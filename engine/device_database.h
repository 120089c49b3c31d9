// The device database zelk.ini: the [Devices] list, one section per device, and the lookup
// of a signature.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zelk {

struct DeviceEntry {
    std::string name;            // the section name
    std::uint32_t signature = 0; // "Signature": the three signature bytes, 0x1E950F
    std::uint32_t programSize = 0;
    std::int32_t dataSize = 0;
    std::uint8_t algorithm = 0;
    std::uint16_t pageSize = 0;
    std::string lockBits; // "LockBits": mode character and 8 bit characters
    std::string fuses;    // "Fuses", "FusesHi", "FusesExt": 8 bit characters each
    std::string fusesHi;
    std::string fusesExt;
};

// zelk.ini beside the running executable, else ../share/zelk/zelk.ini relative to it.
std::filesystem::path FindDeviceDatabase();

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
DeviceLookup LookupDevice(const std::filesystem::path& ini, std::uint16_t deviceCode);

} // namespace zelk
