#include "app/serial_number_run.h"

#include "engine/serial_numbering.h"
#include "platform/settings_store.h"

#include <cstdio>

namespace zelk {
namespace {
constexpr const char* Section = "Preferences";
} // namespace

bool RunSerialNumbering(Programmer& programmer, TargetImages& images, TargetUi& ui) {
    const SerialNumberSettings settings{ReadSettingString(Section, "SerialNumber", ""),
                                        ReadSettingInt(Section, "Length", 0),
                                        ReadSettingInt(Section, "Location", 0)};
    const std::optional<std::uint32_t> next = SerialNumbering(programmer, images, ui, settings);
    if (!next) {
        return false;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(*next));
    if (!WriteSettingString(Section, "SerialNumber", text)) {
        // The next board would get the same number.
        ui.ShowMessage(MessageKind::Failure,
                       std::string("The next serial number ") + text + " could not be stored in " +
                           SettingsFilePath().string() + ".\n" + SettingsWriteProblem());
        return false;
    }
    return true;
}

} // namespace zelk
