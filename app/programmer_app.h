// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: start-up and shutdown, and the one table that routes every command
// id to its handler. What the commands do lives in parts with one job each: the project
// document, the target command controller (the Programmer and its worker), the window layout
// and the production count.
#pragma once

#include "app/gui_target_ui.h"
#include "app/production_status.h"
#include "app/project_document.h"
#include "app/target_controller.h"
#include "engine/connection.h"
#include "platform/settings_store.h"
#include "shell/frame_host.h"
#include "station/user_dialogs.h"
#include "terminal/serial_ports.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <QObject>
#include <QPointer>

namespace zelk {

class CMainFrame;
class CMemoryView;
class CSplashScreen;

struct StartupOptions {
    // A simulated cable and chip instead of the stored port.
    std::optional<SimulatorSettings> simulator;
    // The start-up picture (off for a program started as another program's server).
    bool splash = false;
    // Serial ports offered besides the machine's (the simulated board).
    std::vector<SerialPortEntry> serialPorts;
    // A project to open at once ("zelk board.prj").
    std::optional<std::filesystem::path> project;
};

class CProgrammerApp : public QObject, public FrameHost {
    Q_OBJECT
public:
    // Null dialogs: file dialogs and message boxes over the main window. The settings are kept
    // in `settingsFile` (the user's store when empty).
    explicit CProgrammerApp(std::unique_ptr<UserDialogs> dialogs = nullptr,
                            std::filesystem::path settingsFile = {});
    ~CProgrammerApp() override;

    // Creates and shows the main window, then connects to the stored port (or the simulator).
    // A connection that cannot be built does not stop the start: the window says what is
    // wrong and Preferences mends it.
    void Startup(const StartupOptions& options = {});
    // After the main window has closed: the target runs, the recent list is stored.
    int Shutdown();

    SettingsStore& Settings() { return settings; }
    CMainFrame* MainFrame() const { return frame.get(); }
    UserDialogs& Dialogs() { return *dialogs; }
    GuiTargetUi& TargetInterface() { return targetUi; }
    CProjectDocument& Document() { return document; }
    CTargetController& Target() { return target; }
    const ProductionCount& Production() const { return production.Count(); }
    CSplashScreen* Splash() const;

    // The parts' state as the tests and the bench look at it.
    AppState& State() { return document.State(); }
    CMemoryView* MemoryView(MemoryKind kind) const { return document.MemoryView(kind); }
    CChildFrame* ProjectFrame() const { return document.ProjectFrame(); }
    CMyChildFrame* FlashFrame() const { return document.FlashFrame(); }
    CMyChildFrame* EepromFrame() const { return document.EepromFrame(); }
    Programmer* CurrentProgrammer() const { return target.CurrentProgrammer(); }
    bool TargetCommandRunning() const { return target.Running(); }
    bool SetProgrammer(std::unique_ptr<Programmer> replacement);

    // FrameHost: every menu, toolbar and device-bar command arrives here.
    void OnCommand(int id) override;
    EnablingState Enabling() const override;
    std::vector<std::string> RecentMenuTexts() const override;
    bool FrameClosing() override;

private:
    void BuildCommandTable();
    // Starts a target command of the table with the user's preferences.
    void StartTargetCommand(CommandId id);
    void OnTerminalParallel();
    void OnTerminalSerial();
    void OnAbout();
    void OnLockBitsFuses();
    void OpenLockFuseDialog();
    void OnPreferences();
    // Shows what the connection is, or why there is none, in the status bar.
    void ShowConnection(const ConnectionSettings& connection);
    void Connect(const ConnectionSettings& connection);
    void AfterTargetCommand(CommandId id, CommandResult result, const CommandOutput& output);

    SettingsStore settings;
    std::unique_ptr<UserDialogs> dialogs;
    GuiTargetUi targetUi;
    std::unique_ptr<CMainFrame> frame;
    CProjectDocument document;
    CProductionStatus production;
    SerialPortList serialPorts;
    QPointer<CSplashScreen> splash;
    // "sim:DEVICE" while the session runs on zelk --simulate's target rather than the stored
    // port; empty otherwise.
    std::string sessionPort;
    // One handler per command id.
    std::map<int, std::function<void()>> handlers;
    // Declared last: destroyed first, it waits for the worker that uses the parts above.
    CTargetController target;
};

} // namespace zelk
