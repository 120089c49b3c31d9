// SPDX-License-Identifier: GPL-3.0-or-later
// zelk-cli devices: the devices of the database, and what is wrong with an entry.
#include "cli/cli_messages.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "engine/device_database.h"

#include <cstdio>
#include <vector>

namespace zelk {
namespace {

int ListDevices(const std::filesystem::path& ini) {
    const std::filesystem::path database = ini.empty() ? FindDeviceDatabase() : ini;
    DeviceDatabase devices;
    std::string error;
    if (!devices.Open(database, error)) {
        PrintError(error);
        return ExitFailure;
    }
    const std::vector<CheckedDevice> checked = devices.Checked();
    if (checked.empty()) {
        // A file that is not a device database, or one emptied by mistake: no chip would match.
        PrintError(database.string() + ": [Devices] names no device");
        return ExitFailure;
    }
    int status = ExitDone;
    std::printf("%-16s %-9s %7s %6s %5s %s\n", "device", "signature", "flash", "eeprom", "page",
                "polls");
    for (const CheckedDevice& device : checked) {
        if (!device.problem.empty()) {
            PrintError(database.string() + ": " + device.entry.name + ": " + device.problem);
            status = ExitFailure;
            continue;
        }
        const DeviceEntry& entry = device.entry;
        std::printf("%-16s %06X    %7u %6d %5s %s\n", entry.name.c_str(),
                    static_cast<unsigned>(entry.signature & 0xFFFFFF), entry.programSize,
                    entry.dataSize,
                    WritesPages(entry.algorithm) ? std::to_string(entry.pageSize).c_str() : "-",
                    entry.pollReadyBusy ? "yes" : "no");
    }
    return status;
}

} // namespace

void AddDeviceListCommand(CLI::App& app, int& exitCode,
                          const std::shared_ptr<const TargetOptions>& connection) {
    CLI::App* command = app.add_subcommand(
        "devices", "List the devices of the database (--ini, or zelk.ini): name, signature, flash "
                   "and EEPROM bytes, page bytes, whether the part is polled for ready; an entry "
                   "that cannot be used is named with the reason, exit status 1");
    command->callback([&exitCode, connection] { exitCode = ListDevices(connection->ini); });
}

} // namespace zelk
