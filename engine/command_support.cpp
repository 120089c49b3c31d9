#include "engine/command_support.h"

#include "engine/target_connection.h"
#include "memory/target_images.h"

#include <algorithm>
#include <cstdio>

namespace zelk {

bool PrepareKnownTarget(Programmer& programmer, TargetUi& ui) {
    if (PrepareTarget(programmer, ui) == 0) {
        return false;
    }
    if (programmer.device.name.empty()) {
        char text[96];
        std::snprintf(text, sizeof text, "The device with signature %04X is not in zelk.ini.",
                      static_cast<unsigned>(programmer.deviceCode));
        ui.ShowMessage(MessageKind::Failure, text);
        return false;
    }
    return true;
}

std::string AddressMessage(const char* format, std::uint32_t address) {
    char text[64];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(address));
    return text;
}

std::uint32_t FlashLength(const DeviceDescription& device) {
    return std::min<std::uint32_t>(device.programSize, FlashImageSize);
}

std::uint32_t EepromLength(const DeviceDescription& device) {
    // A negative size walks no address.
    if (device.dataSize <= 0) {
        return 0;
    }
    return std::min<std::uint32_t>(static_cast<std::uint32_t>(device.dataSize), EepromImageSize);
}

void ReleaseTarget(Programmer& programmer) {
    programmer.ReleaseReset();
    programmer.DisableDrivers();
}

void ProgressBar::Update(std::uint32_t position, std::uint32_t length) {
    if (length == 0) {
        return;
    }
    const int percent = static_cast<int>(std::uint64_t{position} * 100 / length);
    if (percent != shown) {
        shown = percent;
        ui.ProgressSet(percent);
    }
}

} // namespace zelk
