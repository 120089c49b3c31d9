#include "engine/target_connection.h"

#include "app/settings_store.h"
#include "engine/device_database.h"
#include "engine/instructions.h"
#include "engine/port_claim.h"
#include "engine/port_io.h"
#include "engine/port_lines.h"

#include <string>

namespace zelk {
namespace {

constexpr int ProgrammingEnableAttempts = 32;
constexpr std::uint16_t NoAnswer = 0xFFFF;

std::uint16_t DeviceCode(std::uint8_t high, std::uint8_t low) {
    return static_cast<std::uint16_t>((high << 8) | low);
}

// The device bar's text for a freshly read signature; fills the description on a match.
std::string IdentifyDevice(AppState& app, TargetUi& ui) {
    const std::uint8_t high = ReadSignatureByte(1);
    const std::uint8_t low = ReadSignatureByte(2);
    Engine().deviceCode = DeviceCode(high, low);
    if (Engine().deviceCode == NoAnswer) {
        return "Error";
    }
    const std::filesystem::path database =
        app.deviceDatabase.empty() ? FindDeviceDatabase() : app.deviceDatabase;
    const DeviceLookup lookup = LookupDevice(database, Engine().deviceCode);
    if (lookup.result == DeviceLookup::Result::Matched) {
        app.device = {lookup.entry.name, lookup.entry.programSize, lookup.entry.dataSize,
                      lookup.entry.algorithm, lookup.entry.pageSize};
        return lookup.entry.name;
    }
    if (lookup.result == DeviceLookup::Result::Unreadable) {
        ui.ShowMessage(lookup.reason);
    }
    if (lookup.result == DeviceLookup::Result::Invalid) {
        // Sizes beyond the images or pages of size 0 would drive the target wrongly.
        app.targetReady = 0;
        ui.ShowMessage("Device \"" + lookup.entry.name +
                       "\" in zelk.ini is invalid: " + lookup.reason);
    }
    return "Error";
}

int PrepareWithCursor(AppState& app, TargetUi& ui) {
    app.targetReady = 1;
    app.device.name.clear();

    std::string reason;
    if (!OpenSelectedPort(reason)) {
        ui.ShowMessage("Cannot find any supported interface on the selected LPT port.\n" + reason);
        app.targetReady = 0;
        SelectCable(CableNone);
        return 0;
    }

    // A cable chosen for one run (zelk-cli --cable) wins over the stored choice.
    const int configured =
        app.cableOverride.value_or(ReadSettingInt("Preferences", "Interface", CableAutoDetect)) &
        0xFFFF;
    const int detected = DetectCable();
    if (configured != CableAutoDetect && configured != detected) {
        ui.ShowMessage("Cannot find the selected interface on the selected port.");
        app.targetReady = 0;
        SelectCable(CableNone);
        return 0;
    }
    SelectCable(configured == CableAutoDetect ? detected : configured);

    if (!EnterProgrammingMode()) {
        ui.ShowMessage("Init failed. Is target connected and powered on ?");
        app.targetReady = 0;
    }
    ui.SetDeviceText(IdentifyDevice(app, ui));
    return app.targetReady;
}

} // namespace

std::uint16_t ReadSignature() {
    ReadSignatureByte(0); // the manufacturer byte says nothing about the device
    const std::uint8_t high = ReadSignatureByte(1);
    const std::uint8_t low = ReadSignatureByte(2);
    Engine().deviceCode = DeviceCode(high, low);
    return Engine().deviceCode;
}

bool EnterProgrammingMode() {
    DelayUs(10);
    Engine().dataShadow = 0;
    EnableDrivers();
    // With the shadow at 0 the first write drives every data line low, SCK and MOSI included,
    // so the reset pulse below happens while SCK is low.
    AssertReset();
    DelayUs(10000);
    ReleaseReset();
    DelayUs(5000);
    AssertReset();
    DelayUs(30000);
    for (int attempt = 0; attempt < ProgrammingEnableAttempts; ++attempt) {
        if (ProgrammingEnable() && ReadSignature() != NoAnswer) {
            return true;
        }
        // One extra clock brings a target whose byte framing is out of step one bit closer.
        PulseSck();
    }
    ReadSignature();
    return false;
}

int PrepareTarget(AppState& app, TargetUi& ui) {
    if (PortClaimed()) {
        ui.ShowMessage(PortBusyMessage);
        return 0;
    }
    ui.BeginWaitCursor();
    const int ready = PrepareWithCursor(app, ui);
    ui.EndWaitCursor();
    return ready;
}

void DetectDevice(AppState& app, TargetUi& ui) {
    if (PortClaimed()) {
        ui.ShowMessage(PortBusyMessage);
        return;
    }
    PrepareTarget(app, ui);
    ReleaseReset();
    DisableDrivers();
}

void ResetDevice(AppState& app, TargetUi& ui) {
    if (PortClaimed()) {
        ui.ShowMessage(PortBusyMessage);
        return;
    }
    // A port that cannot be opened gets no pulse; DetectDevice then says why.
    std::string reason;
    if (OpenSelectedPort(reason)) {
        EnableDrivers();
        AssertReset();
        DelayUs(20000);
        ReleaseReset();
    }
    DetectDevice(app, ui);
}

} // namespace zelk
