// The state every command shares: images, identified device, project and flags.
#pragma once

#include "memory/target_images.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zelk {

// The device found by the last successful lookup of its signature in zelk.ini. The name is
// cleared by every PrepareTarget; the numbers change only when a device matches.
struct DeviceDescription {
    std::string name;
    std::uint32_t programSize = 0;
    std::int32_t dataSize = 0;
    std::uint8_t algorithm = 0;
    std::uint16_t pageSize = 0;
};

struct AppState {
    // Fixed-size buffers, never resized: views and the flash write worker hold spans into them.
    std::vector<std::uint8_t> flashImage = std::vector<std::uint8_t>(FlashImageSize, ErasedByte);
    std::vector<std::uint8_t> eepromImage = std::vector<std::uint8_t>(EepromImageSize, ErasedByte);
    // How many bytes of each image the memory views show (and Load File pre-fills with 0xFF).
    std::uint32_t flashShownLength = FlashImageSize;
    std::uint32_t eepromShownLength = EepromImageSize;

    DeviceDescription device;
    int targetReady = 0;
    int projectOpen = 0;
    int autoProgramActive = 0;

    std::string projectName;
    std::string comment;
    std::string flashFile;
    std::string eepromFile;

    // The device database (zelk.ini) in use; found beside the executable unless set.
    std::filesystem::path deviceDatabase;

    // A cable type chosen for this run only (zelk-cli --cable); when set, PrepareTarget uses
    // it instead of the stored "Interface" setting, which stays untouched.
    std::optional<int> cableOverride;
};

} // namespace zelk
