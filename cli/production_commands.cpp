// SPDX-License-Identifier: GPL-3.0-or-later
// The production commands: AutoProgram with a project, and serial numbering with its numbers
// in the settings store.
#include "cli/commands.h"
#include "cli/target_session.h"
#include "engine/serial_numbering.h"
#include "platform/settings_store.h"
#include "station/project_file.h"
#include "station/project_state.h"

#include <optional>
#include <string>

namespace zelk {
namespace {

struct ProductionOptions {
    std::string project;
    std::optional<std::string> start;
    std::optional<int> length;
    std::optional<int> location;
};

// AutoProgram as the GUI runs it, with every step: one outcome, counted and logged in the
// production record the GUI keeps.
bool RunProject(TargetSession& session, const std::string& projectFile) {
    ProjectFileData project;
    if (std::string error; !ReadProjectForAutoProgram(projectFile, project, error)) {
        PrintError(error);
        return false;
    }
    AppState& app = session.app;
    ApplyProject(app, project, projectFile);
    CommandInput input;
    input.autoProgramFiles = {app.flashFile, app.eepromFile};
    CommandOutput output;
    int ignored = 0;
    return session.Run(CommandId::AutoProgram, input, output, ignored);
}

// Stores the values given on the command line, the ones Preferences edits. False, with the
// reason, when one is not usable or cannot be stored.
bool StoreSerialSettings(SettingsStore& store, const ProductionOptions& options, int& exitCode) {
    SerialNumberSettings settings = LoadSerialNumberSettings(store);
    settings.number = options.start.value_or(settings.number);
    settings.length = options.length.value_or(settings.length);
    settings.location = options.location.value_or(settings.location);
    if (const std::optional<std::string> problem = SerialNumberProblem(settings)) {
        PrintError(*problem);
        exitCode = ExitUsage;
        return false;
    }
    if ((options.start || options.length || options.location) &&
        !StoreSerialNumberSettings(store, settings)) {
        PrintError("cannot store the serial number settings: " + store.WriteProblem());
        return false;
    }
    return true;
}

bool RunSerialNumber(TargetSession& session, const ProductionOptions& options, int& exitCode) {
    if (!StoreSerialSettings(session.settings, options, exitCode)) {
        return false;
    }
    session.bytes = static_cast<std::uint64_t>(LoadSerialNumberSettings(session.settings).length);
    CommandOutput output;
    return session.Run(CommandId::SerialNumber, {}, output, exitCode);
}

} // namespace

void AddProductionCommands(CLI::App& app, int& exitCode,
                           const std::shared_ptr<const TargetOptions>& connection) {
    auto autoOptions = std::make_shared<ProductionOptions>();
    AddTargetCommand(app, exitCode, "autoprogram",
                     "Run AutoProgram with a project: keep the EEPROM, erase, write and verify "
                     "flash and EEPROM",
                     connection,
                     [autoOptions](TargetSession& session, int&) {
                         return RunProject(session, autoOptions->project);
                     })
        ->add_option("PROJECT", autoOptions->project,
                     "Project file (.prj) naming the flash and EEPROM files")
        ->required();

    auto serialOptions = std::make_shared<ProductionOptions>();
    CLI::App* serial = AddTargetCommand(
        app, exitCode, "serial-number",
        "Write the stored serial number as ASCII digits into the EEPROM and store the next one",
        connection, [serialOptions](TargetSession& session, int& code) {
            return RunSerialNumber(session, *serialOptions, code);
        });
    serial->add_option("--start", serialOptions->start, "Store N as the number to write");
    serial->add_option("--length", serialOptions->length, "Store L as the number of digits")
        ->check(CLI::PositiveNumber);
    serial
        ->add_option("--location", serialOptions->location,
                     "Store A as the EEPROM address of the first digit")
        ->check(CLI::NonNegativeNumber);
    serial->footer(serial->get_footer() +
                   "\nThe number, Length and Location are the ones Preferences edits, stored in " +
                   SettingsStore::UserFile().string() +
                   ". The number advances only when the digits read back as written.");
}

} // namespace zelk
