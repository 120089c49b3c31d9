// The application object: start-up and shutdown, the shared state, the open project and its
// three windows, and the handlers of the project and target commands.
#pragma once

#include "app/app_state.h"
#include "app/gui_target_ui.h"
#include "app/production_log.h"
#include "app/recent_projects.h"
#include "app/target_job_runner.h"
#include "app/target_jobs.h"
#include "app/user_dialogs.h"
#include "engine/connection.h"
#include "engine/programmer.h"
#include "shell/child_frame.h"
#include "shell/command_enabling.h"
#include "shell/frame_host.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <QObject>
#include <QPointer>

class QLabel;

namespace zelk {

class CMainFrame;
class CMemoryView;

struct StartupOptions {
    // A simulated cable and chip instead of the stored port.
    std::optional<SimulatorSettings> simulator;
};

class CProgrammerApp : public QObject, public FrameHost {
    Q_OBJECT
public:
    // Null dialogs: file dialogs and message boxes over the main window.
    explicit CProgrammerApp(std::unique_ptr<UserDialogs> dialogs = nullptr);
    ~CProgrammerApp() override;

    // Builds the Programmer for the stored port and cable (or the simulator), then creates
    // and shows the main window. False, with StartupError() saying why, when the connection
    // cannot be set up.
    bool Startup(const StartupOptions& options = {});
    const std::string& StartupError() const { return startupError; }
    // After the main window has closed: the target runs, the recent list is stored.
    int Shutdown();

    void SaveWindowPosition();
    void RestoreWindowPosition();

    AppState& State() { return state; }
    CMainFrame* MainFrame() const { return frame.get(); }
    UserDialogs& Dialogs() { return *dialogs; }
    GuiTargetUi& TargetInterface() { return targetUi; }
    const RecentProjectList& RecentProjects() const { return recent; }
    const ProductionCount& Production() const { return production; }
    EnablingState Enabling() const override;
    std::vector<std::string> RecentMenuTexts() const override;
    bool FrameClosing() override;

    // The Programmer, or null while a target command's worker holds it.
    Programmer* CurrentProgrammer() const { return programmer.get(); }
    bool TargetCommandRunning() const { return runner.Running(); }
    // Puts another Programmer in place (another port or cable); refused, false, while a
    // worker holds the port.
    bool SetProgrammer(std::unique_ptr<Programmer> replacement);

    CChildFrame* ProjectFrame() const { return projectFrame; }
    CMyChildFrame* FlashFrame() const { return flashFrame; }
    CMyChildFrame* EepromFrame() const { return eepromFrame; }
    CMemoryView* MemoryView(MemoryKind kind) const;
    // The file the open project was last opened from or saved to; empty if never.
    const std::filesystem::path& ProjectFilePath() const { return projectFile; }

    // Every menu, toolbar and device-bar command arrives here.
    void OnCommand(int id) override;
    // Commands built elsewhere install their handler here.
    void SetCommandHandler(int id, std::function<void()> handler);
    // The completion of a target command's worker, queued to the GUI thread: the Programmer
    // comes back, the images the command changed are taken over and the outcome is shown.
    void OnTargetCommandDone();

    void OnNewProject();
    void OnOpenProject();
    void OpenRecentProject(const std::filesystem::path& path);
    // Each answers true when the project was written.
    bool OnSaveProject();
    bool OnSaveProjectAs();
    // Asks about images and project text the user changed and did not save: true when they
    // are saved or may be discarded, false when the user stays (or a save failed).
    bool MayDiscardProject();
    void CloseProject();
    // Writes the open project; false, after telling the user, when the file cannot be written.
    bool SaveProject(const std::filesystem::path& path);
    void LoadProject(const std::optional<std::filesystem::path>& path);

    void OnDetectDevice();
    void OnResetDevice();
    void OnTerminalParallel();
    void OnTerminalSerial();
    void OnAbout();
    // The lock and fuse dialog on the Programmer; its reads and writes take a moment each.
    void OnLockBitsFuses();
    // The sheet, then its values stored; a changed port, cable or bit timing rebuilds the
    // Programmer at once.
    void OnPreferences();

private:
    void CreateProjectWindow();
    CMyChildFrame* CreateMemoryWindow(MemoryKind kind);
    void TransferProjectForm();
    bool SaveProjectAndRemember(const std::filesystem::path& path);
    void CascadeProjectWindows();
    // Completes a relative path against the working folder without throwing.
    static std::filesystem::path Absolute(const std::filesystem::path& path);
    // The Programmer for a target command; null, after telling the user, while a worker
    // holds it.
    Programmer* AvailableProgrammer();
    // Starts the worker of a target command; false for ids that have none.
    bool StartTargetCommand(int id);
    void SetImagesEditable(bool editable);
    // The end of an AutoProgram run: its one message, the count and the log line.
    void FinishProductionRun(const AutoProgramReport& report);
    void ShowProductionCount();
    void ShowConnectionNote(const ConnectionSettings& connection);
    void RestoreBarLayout();
    void SaveBarLayout();

    AppState state;
    std::unique_ptr<UserDialogs> dialogs;
    GuiTargetUi targetUi;
    std::unique_ptr<Programmer> programmer;
    std::string startupError;
    // "sim:DEVICE" while the session runs on zelk --simulate's target rather than the stored
    // port; empty otherwise.
    std::string sessionPort;
    RecentProjectList recent;
    std::unique_ptr<CMainFrame> frame;
    QPointer<CMyChildFrame> flashFrame;
    QPointer<CMyChildFrame> eepromFrame;
    QPointer<CChildFrame> projectFrame;
    std::filesystem::path projectFile;
    std::map<int, std::function<void()>> commandHandlers;
    ProductionCount production;
    QPointer<QLabel> productionLabel;
    // The command the runner works on.
    std::optional<TargetCommandJob> runningCommand;
    // Declared last: destroyed first, it waits for the thread that uses the Programmer and
    // the user interface above.
    TargetJobRunner runner;
};

} // namespace zelk
