// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/programmer_app.h"

#include "about/about_box.h"
#include "about/splash_screen.h"
#include "app/lock_fuse_dialog.h"
#include "app/preferences_sheet.h"
#include "app/qt_user_dialogs.h"
#include "app/window_layout.h"
#include "memory/memory_view.h"
#include "resources/zelk_resources.h"
#include "shell/command_ids.h"
#include "shell/main_frame.h"
#include "shell/mdi_client.h"
#include "station/preference_values.h"
#include "station/stored_connection.h"
#include "station/working_folder.h"
#include "terminal/programmer_spi_link.h"
#include "terminal/serial_terminal.h"
#include "terminal/spi_terminal.h"

#include <QApplication>
#include <QStatusBar>

namespace zelk {
namespace {

constexpr const char* NotYetAvailable = "This command is not yet available.";
// Where the kernel lists its parallel ports.
constexpr const char* ParportFolder = "/proc/sys/dev/parport";

// The rows of the command table the menus, the toolbar and the device bar start.
constexpr std::pair<int, CommandId> TargetCommandIds[] = {
    {cmd::DetectDevice, CommandId::Detect},     {cmd::ResetDevice, CommandId::Reset},
    {cmd::EraseChip, CommandId::Erase},         {cmd::BlankCheck, CommandId::BlankCheck},
    {cmd::ReadFlash, CommandId::ReadFlash},     {cmd::WriteFlash, CommandId::WriteFlash},
    {cmd::VerifyFlash, CommandId::VerifyFlash}, {cmd::ReadEeprom, CommandId::ReadEeprom},
    {cmd::WriteEeprom, CommandId::WriteEeprom}, {cmd::VerifyEeprom, CommandId::VerifyEeprom},
    {cmd::AutoProgram, CommandId::AutoProgram}, {cmd::SerialNumbering, CommandId::SerialNumber},
};

std::filesystem::path StoreFile(const std::filesystem::path& given) {
    return given.empty() ? SettingsStore::UserFile() : given;
}

} // namespace

CProgrammerApp::CProgrammerApp(std::unique_ptr<UserDialogs> userDialogs,
                               std::filesystem::path settingsFile)
    : settings(StoreFile(settingsFile)),
      dialogs(userDialogs ? std::move(userDialogs) : std::make_unique<QtUserDialogs>()),
      targetUi(*dialogs,
               [this](MemoryKind memory, std::uint32_t shownLength) {
                   document.TakeImage(memory, document.State().images, shownLength);
               }),
      document(settings, *dialogs), production(settings),
      target(settings, *dialogs, targetUi, document) {
    RegisterZelkResources();
    BuildCommandTable();
    connect(&target, &CTargetController::Finished, this, [this] {
        if (frame) {
            frame->UpdateCommandStates();
        }
    });
}

CProgrammerApp::~CProgrammerApp() = default;

void CProgrammerApp::BuildCommandTable() {
    for (const auto& [id, command] : TargetCommandIds) {
        handlers[id] = [this, command] { StartTargetCommand(command); };
    }
    handlers[cmd::NewProject] = [this] { document.OnNew(); };
    handlers[cmd::OpenProject] = [this] { document.OnOpen(); };
    handlers[cmd::CloseProject] = [this] { document.OnClose(); };
    handlers[cmd::SaveProject] = [this] { document.OnSave(); };
    handlers[cmd::SaveProjectAs] = [this] { document.OnSaveAs(); };
    for (int id = cmd::RecentFirst; id <= cmd::RecentLast; ++id) {
        handlers[id] = [this, id] {
            document.OnOpenRecent(static_cast<std::size_t>(id - cmd::RecentFirst));
        };
    }
    handlers[cmd::Exit] = [this] { frame->close(); };
    handlers[cmd::TerminalParallel] = [this] { OnTerminalParallel(); };
    handlers[cmd::TerminalSerial] = [this] { OnTerminalSerial(); };
    handlers[cmd::About] = [this] { OnAbout(); };
    handlers[cmd::Preferences] = [this] { OnPreferences(); };
    handlers[cmd::LockBitsFuses] = [this] { OnLockBitsFuses(); };
    handlers[cmd::Cascade] = [this] { frame->MdiClient()->cascadeSubWindows(); };
    handlers[cmd::Tile] = [this] { frame->MdiClient()->tileSubWindows(); };
    handlers[cmd::ArrangeIcons] = [this] { frame->ArrangeIcons(); };
    // The memory windows act on them; with the project window active they do nothing.
    for (const int id : {cmd::LoadFile, cmd::SaveFile}) {
        handlers[id] = [this, id] {
            auto* active = qobject_cast<CMyChildFrame*>(frame->MdiClient()->activeSubWindow());
            if (active == nullptr) {
                return;
            }
            if (id == cmd::LoadFile) {
                active->View()->OnLoadFile();
            } else {
                active->View()->OnSaveFile();
            }
        };
    }
}

void CProgrammerApp::Startup(const StartupOptions& options) {
    frame = std::make_unique<CMainFrame>(*this);
    document.SetFrame(frame.get());
    target.SetFrame(frame.get());
    targetUi.SetFrame(frame.get());
    RestoreBarLayout(*frame, settings);
    if (auto* qtDialogs = dynamic_cast<QtUserDialogs*>(dialogs.get()); qtDialogs != nullptr) {
        qtDialogs->SetParent(frame.get());
    }
    for (const SerialPortEntry& port : options.serialPorts) {
        serialPorts.Add(port);
    }
    production.Show(*frame);
    if (options.splash) {
        splash = CSplashScreen::Open(frame.get());
    }
    RestoreWindowPosition(*frame, settings);
    frame->show();
    ConnectionSettings connection = StoredConnection(settings);
    if (options.simulator) {
        connection.port = PortKind::Simulator;
        connection.simulator = *options.simulator;
        sessionPort = "sim:" + options.simulator->device;
    }
    Connect(connection);
    if (options.project) {
        document.Open(*options.project);
    }
    frame->UpdateCommandStates();
}

void CProgrammerApp::Connect(const ConnectionSettings& connection) {
    if (!target.Connect(connection)) {
        // The window stays usable: Preferences is the place to mend the connection.
        dialogs->ShowMessage("The stored connection cannot be used: " + target.ConnectionProblem() +
                             "\nChoose a port in Options > Preferences.");
    }
    ShowConnection(connection);
}

void CProgrammerApp::ShowConnection(const ConnectionSettings& connection) {
    if (!target.ConnectionProblem().empty()) {
        frame->SetConnectionNote(QStringLiteral("No connection"));
        frame->statusBar()->showMessage(
            QString::fromStdString("No connection: " + target.ConnectionProblem()));
    } else {
        frame->SetConnectionNote(
            connection.port == PortKind::Simulator
                ? QString::fromStdString("Simulated " + connection.simulator.device)
                : QString());
    }
    frame->SetDeviceText(QStringLiteral("Unknown Device"));
}

int CProgrammerApp::Shutdown() {
    target.Stop();
    document.SaveRecent();
    if (const std::optional<std::string> problem = settings.TakeWriteProblem()) {
        dialogs->ShowMessage(*problem);
    }
    return 0;
}

CSplashScreen* CProgrammerApp::Splash() const {
    return splash;
}

bool CProgrammerApp::SetProgrammer(std::unique_ptr<Programmer> replacement) {
    return target.SetProgrammer(std::move(replacement));
}

EnablingState CProgrammerApp::Enabling() const {
    return {.projectOpen = document.IsOpen(),
            .targetReady = target.TargetReady(),
            .childActive = frame && frame->MdiClient()->activeSubWindow() != nullptr,
            .recentEntries = !document.Recent().Entries().empty(),
            .workerRunning = target.Running()};
}

std::vector<std::string> CProgrammerApp::RecentMenuTexts() const {
    std::vector<std::string> texts;
    const std::filesystem::path here = WorkingFolder();
    for (const std::string& entry : document.Recent().Entries()) {
        texts.push_back(RecentProjectList::MenuText(static_cast<int>(texts.size()), entry, here));
    }
    return texts;
}

bool CProgrammerApp::FrameClosing() {
    // Ending now would leave a half-written chip.
    if (target.Running()) {
        dialogs->ShowMessage(TargetBusyMessage);
        return false;
    }
    if (!document.MayDiscard()) {
        return false;
    }
    SaveBarLayout(*frame, settings);
    SaveWindowPosition(*frame, settings);
    return true;
}

void CProgrammerApp::OnCommand(int id) {
    // A key can reach a command whose button is disabled (the accelerators work anywhere).
    if (!IsCommandEnabled(id, Enabling())) {
        return;
    }
    if (const auto handler = handlers.find(id); handler != handlers.end()) {
        handler->second();
    } else {
        dialogs->ShowMessage(NotYetAvailable);
    }
    if (frame) {
        frame->UpdateCommandStates();
    }
}

void CProgrammerApp::StartTargetCommand(CommandId id) {
    const AppState& state = document.State();
    const PreferenceValues preferences = LoadPreferences(settings);
    CommandInput input;
    input.verify = preferences.verifyWrites;
    if (!state.flashFile.empty()) {
        input.flashName = std::filesystem::path(state.flashFile).filename().string();
    }
    if (!state.eepromFile.empty()) {
        input.eepromName = std::filesystem::path(state.eepromFile).filename().string();
    }
    input.autoProgramFiles = {state.flashFile, state.eepromFile};
    input.autoProgramSteps = preferences.autoProgram;
    target.Start(id, input, [this, id](CommandResult result, const CommandOutput& output) {
        AfterTargetCommand(id, result, output);
    });
}

void CProgrammerApp::AfterTargetCommand(CommandId id, CommandResult, const CommandOutput& output) {
    if (id != CommandId::AutoProgram || !output.report.recorded) {
        return;
    }
    production.Counted(output.report.passed);
    frame->statusBar()->showMessage(QString::fromStdString(output.report.outcome));
}

void CProgrammerApp::OnTerminalParallel() {
    ProgrammerSpiLink link(target.ProgrammerSlot());
    CSpiTerminal terminal(frame.get(), link);
    std::string reason;
    if (!terminal.Start(reason)) {
        dialogs->ShowMessage(reason);
        return;
    }
    terminal.exec();
}

void CProgrammerApp::OnTerminalSerial() {
    CSerialTerminal terminal(frame.get(), settings, serialPorts);
    terminal.exec();
}

void CProgrammerApp::OnAbout() {
    CAboutBox about(frame.get());
    about.exec();
}

void CProgrammerApp::OnLockBitsFuses() {
    Programmer* programmer = target.CurrentProgrammer();
    if (programmer != nullptr && !programmer->device.name.empty()) {
        OpenLockFuseDialog();
        return;
    }
    // The dialog is laid out for a known device: one is identified first.
    target.Start(CommandId::Detect, {}, [this](CommandResult result, const CommandOutput&) {
        if (result == CommandResult::Done) {
            OpenLockFuseDialog();
        }
    });
}

void CProgrammerApp::OpenLockFuseDialog() {
    const Programmer& programmer = *target.CurrentProgrammer();
    CLockFuseDialog dialog(
        frame.get(), programmer.device.name, programmer.DeviceDatabase(), *dialogs,
        [this](CommandId id, const CommandInput& input, CTargetController::Done done) {
            return target.Start(id, input, std::move(done));
        });
    dialog.exec();
}

void CProgrammerApp::OnPreferences() {
    std::vector<std::string> devices;
    std::vector<DeviceEntry> entries;
    std::string error;
    const Programmer* programmer = target.CurrentProgrammer();
    if (ReadDeviceList(programmer != nullptr ? programmer->DeviceDatabase() : FindDeviceDatabase(),
                       entries, error)) {
        for (const DeviceEntry& entry : entries) {
            devices.push_back(entry.name);
        }
    }
    const PreferenceValues stored = LoadPreferences(settings);
    const PreferenceValues before = WithSessionPort(stored, sessionPort);
    CMyPropertySheet sheet(frame.get(), before, PortChoices(ParportFolder, GpioChips(), devices),
                           [this](const std::string& text) { dialogs->ShowMessage(text); });
    if (sheet.exec() != QDialog::Accepted) {
        return;
    }
    const PreferenceValues& chosen = sheet.Values();
    if (chosen.resetProductionCount && !production.Reset()) {
        dialogs->ShowMessage("The production count could not be reset.\n" +
                             settings.WriteProblem());
    }
    if (!StorePreferences(settings, WithoutSessionPort(chosen, stored, sessionPort))) {
        dialogs->ShowMessage("The preferences could not be stored in " + settings.Path().string() +
                             ".\n" + settings.WriteProblem());
    }
    const bool sameConnection =
        chosen.portPosition == before.portPosition && chosen.portName == before.portName &&
        chosen.cablePosition == before.cablePosition &&
        chosen.sckHalfPeriodUs == before.sckHalfPeriodUs &&
        chosen.fixedWaits == before.fixedWaits && chosen.singleRead == before.singleRead;
    if (sameConnection && target.ConnectionProblem().empty()) {
        return;
    }
    const ConnectionSettings connection = ConnectionOf(chosen);
    std::unique_ptr<Programmer> replacement = MakeProgrammer(connection, error);
    if (!replacement) {
        dialogs->ShowMessage("The chosen port cannot be used: " + error +
                             (target.ConnectionProblem().empty()
                                  ? std::string("\nThe commands keep the connection they had.")
                                  : std::string()));
        return;
    }
    target.SetProgrammer(std::move(replacement));
    if (chosen.portName != sessionPort) {
        sessionPort.clear();
    }
    ShowConnection(connection);
    frame->statusBar()->clearMessage();
}

} // namespace zelk
