// The production commands: AutoProgram with a project, and serial numbering with its numbers
// in the settings store.
#include "app/project_file.h"
#include "app/project_state.h"
#include "app/serial_number_run.h"
#include "cli/commands.h"
#include "cli/target_session.h"
#include "engine/autoprogram.h"
#include "engine/command_support.h"
#include "engine/serial_numbering.h"
#include "platform/settings_store.h"

#include <optional>
#include <string>

namespace zelk {
namespace {

constexpr const char* Preferences = "Preferences";

struct ProductionOptions {
    std::string project;
    std::optional<std::string> start;
    std::optional<int> length;
    std::optional<int> location;
};

bool RunProject(TargetSession& session, const std::string& projectFile) {
    ProjectFileData project;
    if (std::string error; !ReadProjectForAutoProgram(projectFile, project, error)) {
        PrintError(error);
        return false;
    }
    AppState& app = session.app;
    ApplyProjectFile(app, projectFile);
    const ProgramResult result = RunAutoProgram(*session.programmer, app.images,
                                                {app.flashFile, app.eepromFile}, {}, session.ui);
    if (!result.succeeded && !result.failedStep.empty()) {
        PrintError("AutoProgram stopped at: " + result.failedStep);
    }
    return result.succeeded;
}

// Stores the values given on the command line, the ones Preferences edits. False, with the
// reason, when one is not usable or cannot be stored.
bool StoreSerialSettings(const ProductionOptions& options, int& exitCode) {
    SerialNumberSettings settings{ReadSettingString(Preferences, "SerialNumber", ""),
                                  ReadSettingInt(Preferences, "Length", 0),
                                  ReadSettingInt(Preferences, "Location", 0)};
    settings.number = options.start.value_or(settings.number);
    settings.length = options.length.value_or(settings.length);
    settings.location = options.location.value_or(settings.location);
    if (const std::optional<std::string> problem = SerialNumberProblem(settings)) {
        PrintError(*problem);
        exitCode = ExitUsage;
        return false;
    }
    const bool stored =
        (!options.start || WriteSettingString(Preferences, "SerialNumber", settings.number)) &&
        (!options.length || WriteSettingInt(Preferences, "Length", settings.length)) &&
        (!options.location || WriteSettingInt(Preferences, "Location", settings.location));
    if (!stored) {
        PrintError("cannot store the serial number settings in " + SettingsFilePath().string() +
                   ": " + SettingsWriteProblem());
    }
    return stored;
}

bool RunSerialNumber(TargetSession& session, const ProductionOptions& options, int& exitCode) {
    if (!StoreSerialSettings(options, exitCode)) {
        return false;
    }
    const std::string number = ReadSettingString(Preferences, "SerialNumber", "");
    const int length = ReadSettingInt(Preferences, "Length", 0);
    const int location = ReadSettingInt(Preferences, "Location", 0);
    if (!RunSerialNumbering(*session.programmer, session.app.images, session.ui)) {
        return false;
    }
    const std::optional<std::uint32_t> value = ParseSerialNumber(number);
    session.bytes = static_cast<std::uint64_t>(length);
    session.ui.ShowMessage(
        MessageKind::Success,
        "Serial number " + SerialDigits(std::to_string(value.value_or(0)), length) +
            AddressMessage(" written at %08X", static_cast<std::uint32_t>(location)) + "; next " +
            ReadSettingString(Preferences, "SerialNumber", ""));
    return true;
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
                   SettingsFilePath().string() +
                   ". The number advances only when the digits read back as written.");
}

} // namespace zelk
