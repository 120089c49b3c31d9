// SPDX-License-Identifier: GPL-3.0-or-later
// The production record: how many boards passed and failed since start and in total (kept in
// the settings store, resettable), and one line per run appended to a log in the state folder.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zelk {

class SettingsStore;

class ProductionCount {
public:
    // The totals from the settings store.
    static ProductionCount Load(const SettingsStore& store);
    // A run RecordProductionRun recorded, counted into this session; the totals are read again
    // from the store, which runs of other programs count up too.
    void Counted(const SettingsStore& store, bool passed);
    // Clears the session and the stored totals.
    bool Reset(SettingsStore& store);
    // "Passed 3, failed 1 (total 120 / 4)".
    std::string Text() const;

    std::uint32_t sessionPassed = 0;
    std::uint32_t sessionFailed = 0;
    std::uint32_t totalPassed = 0;
    std::uint32_t totalFailed = 0;
};

struct ProductionRun {
    std::time_t when = 0;
    std::string command; // "AutoProgram", "Serial Numbering"
    std::string device;
    std::string signature; // "1E950F"; empty when none was read
    std::optional<std::uint32_t> serialNumber;
    std::vector<std::filesystem::path> files;
    bool passed = false;
    std::string outcome;
};

// One line: UTC time, command, device, signature, serial number, each file with its SHA-256
// ("unreadable" when it cannot be read), result and outcome, separated by tabs. Tabs and line
// breaks inside a field become blanks so that every run stays one line.
std::string ProductionLogLine(const ProductionRun& run);
// Appends the line to `$XDG_STATE_HOME/zelk/production.log`, which is opened only as a regular
// file, never through a link and never waiting on a FIFO. False, with the reason, when it
// cannot be written.
bool AppendProductionLog(const ProductionRun& run, std::string& error);
std::filesystem::path ProductionLogPath();

// The production record of a run, the same for the GUI and zelk-cli: the stored totals counted
// up under the store's lock, so that a run of another zelk at the same time is not lost, and
// the line appended to the log. False, with the reason, when either could not be written.
bool RecordProductionRun(SettingsStore& store, const ProductionRun& run, std::string& error);

} // namespace zelk
