// The application object: start-up and shutdown, the shared state, the open project and its
// three windows, and the handlers of the project and target commands.
#pragma once

#include "app/app_state.h"
#include "app/command_enabling.h"
#include "app/gui_target_ui.h"
#include "app/recent_projects.h"
#include "app/user_dialogs.h"
#include "shell/child_frame.h"

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

struct StartupOptions {
    // Shown in the status bar at all times when the port is simulated ("Simulated ATmega328P").
    std::string portNote;
};

class CProgrammerApp : public QObject {
    Q_OBJECT
public:
    // Null dialogs: file dialogs and message boxes over the main window.
    explicit CProgrammerApp(std::unique_ptr<UserDialogs> dialogs = nullptr);
    ~CProgrammerApp() override;

    // Creates and shows the main window and hands the stored port and cable to the engine.
    bool Startup(const StartupOptions& options = {});
    // After the main window has closed: the target runs, the recent list is stored.
    int Shutdown();

    void SaveWindowPosition();
    void RestoreWindowPosition();

    AppState& State() { return state; }
    CMainFrame* MainFrame() const { return frame.get(); }
    UserDialogs& Dialogs() { return *dialogs; }
    GuiTargetUi& TargetInterface() { return targetUi; }
    const RecentProjectList& RecentProjects() const { return recent; }
    EnablingState Enabling() const;

    CChildFrame* ProjectFrame() const { return projectFrame; }
    CMyChildFrame* FlashFrame() const { return flashFrame; }
    CMyChildFrame* EepromFrame() const { return eepromFrame; }
    CMemoryView* MemoryView(MemoryKind kind) const;
    // The file the open project was last opened from or saved to; empty if never.
    const std::filesystem::path& ProjectFilePath() const { return projectFile; }

    // Every menu, toolbar and device-bar command arrives here.
    void OnCommand(int id);
    // Commands built elsewhere install their handler here.
    void SetCommandHandler(int id, std::function<void()> handler);
    // WM_FLASH_WRITE_DONE: the flash write worker has finished and released the port.
    void SetFlashWriteDoneHandler(std::function<void()> handler);
    void OnFlashWriteDone();

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

private:
    void CreateProjectWindow();
    CMyChildFrame* CreateMemoryWindow(MemoryKind kind);
    void TransferProjectForm();
    bool SaveProjectAndRemember(const std::filesystem::path& path);
    void CascadeProjectWindows();
    // Completes a relative path against the working folder without throwing.
    static std::filesystem::path Absolute(const std::filesystem::path& path);
    bool RefuseWhilePortClaimed();

    AppState state;
    std::unique_ptr<UserDialogs> dialogs;
    GuiTargetUi targetUi;
    RecentProjectList recent;
    std::unique_ptr<CMainFrame> frame;
    QPointer<CMyChildFrame> flashFrame;
    QPointer<CMyChildFrame> eepromFrame;
    QPointer<CChildFrame> projectFrame;
    std::filesystem::path projectFile;
    std::map<int, std::function<void()>> commandHandlers;
    std::function<void()> flashWriteDoneHandler;
};

} // namespace zelk
