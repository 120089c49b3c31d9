// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/command_support.h"

#include "engine/instructions.h"
#include "engine/target_connection.h"
#include "memory/target_images.h"
#include "platform/ini_document.h"

#include <algorithm>
#include <cstdio>

namespace zelk {

bool PrepareKnownTarget(Programmer& programmer, TargetUi& ui) {
    return PrepareTarget(programmer, ui) != 0 && TargetIsKnown(programmer, ui);
}

bool TargetIsKnown(Programmer& programmer, TargetUi& ui) {
    if (programmer.signatureHiddenByLock) {
        ui.ShowMessage(MessageKind::Failure, LockedChipMessage);
        return false;
    }
    if (programmer.device.name.empty()) {
        char text[96];
        std::snprintf(text, sizeof text, "The device with signature %04X is not in zelk.ini.",
                      static_cast<unsigned>(programmer.deviceCode));
        ui.ShowMessage(MessageKind::Failure, text);
        return false;
    }
    for (const DeviceRequirement& required : programmer.requiredDevices) {
        if (!SameIniName(required.device, programmer.device.name)) {
            ui.ShowMessage(MessageKind::Failure,
                           "The chip on the cable is an " + programmer.device.name + ", not the " +
                               required.device + " " + required.because + ".");
            return false;
        }
    }
    return true;
}

std::optional<std::uint8_t> ReadByteTwice(Programmer& programmer, TargetUi& ui, const char* name,
                                          std::uint8_t (*read)(Programmer&)) {
    const std::uint8_t first = read(programmer);
    const std::uint8_t second = read(programmer);
    if (first == second) {
        return first;
    }
    char text[160];
    std::snprintf(text, sizeof text,
                  "The %s read as %02X and then as %02X. Check the cable and the target's power "
                  "supply.",
                  name, static_cast<unsigned>(first), static_cast<unsigned>(second));
    ui.ShowMessage(MessageKind::Failure, text);
    return std::nullopt;
}

bool MemoriesReadable(Programmer& programmer, TargetUi& ui) {
    const DeviceDescription& device = programmer.device;
    if (!device.lockReadable || device.lockBit2 == 0) {
        return true;
    }
    const std::optional<std::uint8_t> lock =
        ReadByteTwice(programmer, ui, "lock byte", ReadLockBits);
    if (!lock) {
        return false;
    }
    // Lock mode 3 (LB2 programmed with LB1) disables reading; mode 2 only writing.
    if ((*lock & device.lockBit2) != 0) {
        return true;
    }
    char text[160];
    std::snprintf(text, sizeof text,
                  "The chip is read-protected (lock byte %02X): its memories cannot be read; "
                  "erase it to unlock.",
                  static_cast<unsigned>(*lock));
    ui.ShowMessage(MessageKind::Failure, text);
    return false;
}

std::string AddressMessage(const char* format, std::uint32_t address) {
    char text[256];
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
