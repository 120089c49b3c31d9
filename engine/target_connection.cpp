// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/target_connection.h"

#include "engine/device_database.h"
#include "engine/instructions.h"

#include <cstdio>
#include <optional>
#include <string>

namespace zelk {
namespace {

constexpr int ProgrammingEnableAttempts = 32;
constexpr std::uint16_t NoAnswer = 0xFFFF;

std::uint16_t DeviceCode(std::uint8_t high, std::uint8_t low) {
    return static_cast<std::uint16_t>((high << 8) | low);
}

// Two reads that agree, else two more; a bit error in one read would name another device,
// with other sizes, and the command would write the wrong amount.
std::optional<std::uint32_t> ReadAgreedSignature(Programmer& programmer, TargetUi& ui) {
    std::uint32_t first = ReadFullSignature(programmer);
    std::uint32_t second = ReadFullSignature(programmer);
    if (first != second) {
        first = ReadFullSignature(programmer);
        second = ReadFullSignature(programmer);
    }
    if (first == second) {
        return first;
    }
    char text[200];
    std::snprintf(text, sizeof text,
                  "The signature read as %06X and then as %06X. Check the cable and the "
                  "target's power supply.",
                  static_cast<unsigned>(first), static_cast<unsigned>(second));
    ui.ShowMessage(MessageKind::Failure, text);
    return std::nullopt;
}

// The device bar's text for a freshly read signature; fills the description on a match.
std::string IdentifyDevice(Programmer& programmer, TargetUi& ui) {
    const std::optional<std::uint32_t> signature = ReadAgreedSignature(programmer, ui);
    if (!signature) {
        programmer.targetReady = 0;
        return "Error";
    }
    programmer.signature = *signature;
    programmer.deviceCode = static_cast<std::uint16_t>(*signature & 0xFFFF);
    if (programmer.deviceCode == NoAnswer) {
        // The target answered Programming Enable and is gone now: nothing may be done to a
        // chip that is not there.
        if (programmer.targetReady != 0) {
            ui.ShowMessage(MessageKind::Failure,
                           "Init failed. Is target connected and powered on ?");
        }
        programmer.targetReady = 0;
        return "Error";
    }
    const DeviceLookup lookup = LookupSignature(programmer.DeviceDatabase(), *signature);
    if (lookup.result == DeviceLookup::Result::Matched) {
        const DeviceEntry& entry = lookup.entry;
        programmer.device = {entry.name,
                             entry.programSize,
                             entry.dataSize,
                             entry.algorithm,
                             entry.pageSize,
                             entry.pollReadyBusy,
                             !entry.lockBits.empty() && entry.lockBits.front() != 'W',
                             lookup.lockBit1,
                             lookup.lockBit2,
                             entry.lockHidesSignature};
        return entry.name;
    }
    if (lookup.result == DeviceLookup::Result::HiddenByLock) {
        programmer.signatureHiddenByLock = true;
        return LockedDeviceText;
    }
    if (lookup.result == DeviceLookup::Result::Unreadable) {
        // Without the device list nothing knows the sizes or the write algorithm.
        programmer.targetReady = 0;
        ui.ShowMessage(MessageKind::Failure, lookup.reason);
    }
    if (lookup.result == DeviceLookup::Result::Invalid) {
        // Sizes beyond the images or pages of size 0 would drive the target wrongly.
        programmer.targetReady = 0;
        ui.ShowMessage(MessageKind::Failure, "Device \"" + lookup.entry.name +
                                                 "\" in zelk.ini is invalid: " + lookup.reason);
    }
    return "Error";
}

int PrepareWithCursor(Programmer& programmer, TargetUi& ui) {
    programmer.targetReady = 1;
    programmer.device.name.clear();
    programmer.signatureHiddenByLock = false;

    std::string reason;
    if (!programmer.OpenPort(reason)) {
        ui.ShowMessage(MessageKind::Failure,
                       ((programmer.ConfiguredCable() & 0xFFFF) == CableGpio
                            ? "Cannot use the lines of the GPIO header.\n"
                            : "Cannot find any supported interface on the selected LPT port.\n") +
                           reason);
        programmer.targetReady = 0;
        programmer.SelectCable(CableNone);
        return 0;
    }

    const int configured = programmer.ConfiguredCable() & 0xFFFF;
    const CableInfo* chosen = FindCable(configured);
    // A cable without loop-back wires cannot be recognised; it is used as chosen.
    const bool recognisable = chosen == nullptr || chosen->loopBack.data != 0 ||
                              chosen->recognisedWithoutLoopBack || configured == CableNone;
    const int detected = recognisable ? programmer.DetectCable() : configured;
    if (configured != CableAutoDetect && configured != detected) {
        ui.ShowMessage(MessageKind::Failure,
                       "Cannot find the selected interface on the selected port.");
        programmer.targetReady = 0;
        programmer.SelectCable(CableNone);
        return 0;
    }
    programmer.SelectCable(configured == CableAutoDetect ? detected : configured);

    if (!EnterProgrammingMode(programmer)) {
        ui.ShowMessage(MessageKind::Failure, "Init failed. Is target connected and powered on ?");
        programmer.targetReady = 0;
    }
    ui.SetDeviceText(IdentifyDevice(programmer, ui));
    return programmer.targetReady;
}

} // namespace

std::uint32_t ReadFullSignature(Programmer& programmer) {
    std::uint32_t signature = 0;
    for (std::uint8_t index = 0; index < 3; ++index) {
        signature = (signature << 8) | ReadSignatureByte(programmer, index);
    }
    return signature;
}

std::uint16_t ReadSignature(Programmer& programmer) {
    ReadSignatureByte(programmer, 0); // the manufacturer byte says nothing about the device
    const std::uint8_t high = ReadSignatureByte(programmer, 1);
    const std::uint8_t low = ReadSignatureByte(programmer, 2);
    programmer.deviceCode = DeviceCode(high, low);
    return programmer.deviceCode;
}

bool EnterProgrammingMode(Programmer& programmer) {
    programmer.DelayUs(10);
    programmer.ClearDataShadow();
    programmer.EnableDrivers();
    // With the shadow at 0 the first write drives every data line low, SCK and MOSI included,
    // so the reset pulse below happens while SCK is low.
    programmer.AssertReset();
    programmer.DelayUs(10000);
    programmer.ReleaseReset();
    programmer.DelayUs(5000);
    programmer.AssertReset();
    programmer.DelayUs(30000);
    for (int attempt = 0; attempt < ProgrammingEnableAttempts; ++attempt) {
        if (ProgrammingEnable(programmer) && ReadSignature(programmer) != NoAnswer) {
            return true;
        }
        // One extra clock brings a target whose byte framing is out of step one bit closer.
        programmer.PulseSck();
    }
    ReadSignature(programmer);
    return false;
}

int PrepareTarget(Programmer& programmer, TargetUi& ui) {
    ui.BeginWaitCursor();
    const int ready = PrepareWithCursor(programmer, ui);
    ui.EndWaitCursor();
    return ready;
}

void DetectDevice(Programmer& programmer, TargetUi& ui) {
    PrepareTarget(programmer, ui);
    programmer.ReleaseReset();
    programmer.DisableDrivers();
}

void ResetDevice(Programmer& programmer, TargetUi& ui) {
    // A port that cannot be opened gets no pulse; DetectDevice then says why.
    std::string reason;
    if (programmer.OpenPort(reason)) {
        programmer.EnableDrivers();
        programmer.AssertReset();
        programmer.DelayUs(20000);
        programmer.ReleaseReset();
    }
    DetectDevice(programmer, ui);
}

} // namespace zelk
