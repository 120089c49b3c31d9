#include "engine/command_support.h"

#include "engine/port_claim.h"
#include "engine/port_lines.h"
#include "engine/target_connection.h"

#include <algorithm>
#include <cstdio>

namespace zelk {

bool RefusedWhileFlashWrites(TargetUi& ui) {
    if (!PortClaimed()) {
        return false;
    }
    ui.ShowMessage(PortBusyMessage);
    return true;
}

bool PrepareKnownTarget(AppState& app, TargetUi& ui) {
    if (PrepareTarget(app, ui) == 0) {
        return false;
    }
    if (app.device.name.empty()) {
        char text[96];
        std::snprintf(text, sizeof text, "The device with signature %04X is not in zelk.ini.",
                      static_cast<unsigned>(Engine().deviceCode));
        ui.ShowMessage(text);
        return false;
    }
    return true;
}

std::string AddressMessage(const char* format, std::uint32_t address) {
    char text[64];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(address));
    return text;
}

std::uint32_t FlashLength(const AppState& app) {
    return std::min<std::uint32_t>(app.device.programSize, FlashImageSize);
}

std::uint32_t EepromLength(const AppState& app) {
    // A negative size walks no address.
    if (app.device.dataSize <= 0) {
        return 0;
    }
    return std::min<std::uint32_t>(static_cast<std::uint32_t>(app.device.dataSize),
                                   EepromImageSize);
}

void ReleaseTarget() {
    ReleaseReset();
    DisableDrivers();
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
