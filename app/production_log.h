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

class ProductionCount {
public:
    // The totals from the settings store.
    static ProductionCount Load();
    void Record(bool passed);
    // Clears the session and the stored totals.
    void Reset();
    // "Passed 3, failed 1 (total 120 / 4)".
    std::string Text() const;

    std::uint32_t sessionPassed = 0;
    std::uint32_t sessionFailed = 0;
    std::uint32_t totalPassed = 0;
    std::uint32_t totalFailed = 0;

private:
    void Store() const;
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
// Appends the line to `$XDG_STATE_HOME/zelk/production.log`. False, with the reason, when it
// cannot be written.
bool AppendProductionLog(const ProductionRun& run, std::string& error);
std::filesystem::path ProductionLogPath();

} // namespace zelk
