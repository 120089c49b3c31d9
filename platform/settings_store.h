// The per-user settings store: $XDG_CONFIG_HOME/Brasswick/zelk.conf (default
// ~/.config/Brasswick/zelk.conf). Absent values give the caller's default; reading never
// writes; a corrupt or unreadable file reads as defaults.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelk {

std::filesystem::path SettingsFilePath();

int ReadSettingInt(std::string_view section, std::string_view name, int defaultValue);
std::string ReadSettingString(std::string_view section, std::string_view name,
                              std::string_view defaultValue);
// False when the store could not be written (the old file stays as it was); the reason is
// kept for SettingsWriteProblem and TakeSettingsWriteProblem.
bool WriteSettingInt(std::string_view section, std::string_view name, int value);
bool WriteSettingString(std::string_view section, std::string_view name, std::string_view value);
bool ClearSettingSection(std::string_view section);
// Clears a section and writes the given values into it, in order, in one update of the
// store, so an interrupted write never leaves the section half written.
bool ReplaceSettingSection(std::string_view section,
                           const std::vector<std::pair<std::string, std::string>>& values);

// Why the last write failed, a sentence naming the file; empty after a write that succeeded.
std::string SettingsWriteProblem();
// The reason of a run of failing writes, once: a store the user made read-only fails every
// write with one reason, which is to be shown once, not per value. Nullopt when there is
// nothing new to report.
std::optional<std::string> TakeSettingsWriteProblem();

} // namespace zelk
