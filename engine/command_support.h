// SPDX-License-Identifier: GPL-3.0-or-later
// What every target command shares: the preparation of a known device, the progress bar
// arithmetic, the address messages and the lengths taken from the device.
#pragma once

#include "engine/programmer.h"
#include "engine/target_ui.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zelk {

// PrepareTarget, and true only when the device was found in zelk.ini as well (its sizes and
// algorithm drive every command, and an unknown chip must not get the last device's) and is
// every device the Programmer requires.
bool PrepareKnownTarget(Programmer& programmer, TargetUi& ui);
// The checks of PrepareKnownTarget after a PrepareTarget that succeeded.
bool TargetIsKnown(Programmer& programmer, TargetUi& ui);

// What the user is told of a chip that hides its signature because it is locked.
inline constexpr const char* LockedChipMessage =
    "The chip is locked: it answers signature 000102, as an AT90S does in lock mode 3. Its "
    "memories cannot be read; erase it to unlock.";

// One byte read twice with `read`; the reads must agree, else the user is told both values
// ("The lock byte read as FC and then as FD. ...") and nothing is returned.
std::optional<std::uint8_t> ReadByteTwice(Programmer& programmer, TargetUi& ui, const char* name,
                                          std::uint8_t (*read)(Programmer&));

// False, after telling the user, when the chip's lock bits stop its memories from being read
// ("The chip is read-protected (lock byte FC): ..."), so that a read does not hand the
// protection pattern to the user as data. Parts that cannot read their lock byte pass.
bool MemoriesReadable(Programmer& programmer, TargetUi& ui);

// "Verify failed at %08X !" and its kin: the address as eight upper-case hex digits.
std::string AddressMessage(const char* format, std::uint32_t address);

// Bytes of flash and EEPROM a command walks: the device's sizes, never beyond the images.
std::uint32_t FlashLength(const DeviceDescription& device);
std::uint32_t EepromLength(const DeviceDescription& device);

// ReleaseReset, then DisableDrivers: the target runs and the cable lets go of its lines.
void ReleaseTarget(Programmer& programmer);

// Moves the bar to position * 100 / length, telling the window only when the percentage
// changes so that a 128 KiB loop does not send 128 Ki updates.
class ProgressBar {
public:
    explicit ProgressBar(TargetUi& targetUi) : ui(targetUi) {}
    void Update(std::uint32_t position, std::uint32_t length);

private:
    TargetUi& ui;
    int shown = -1;
};

} // namespace zelk
