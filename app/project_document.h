// SPDX-License-Identifier: GPL-3.0-or-later
// The open project: its title, comment and files (AppState), its three windows, the file it
// was opened from and the recent-project list. New, Open, Save, Save As and Close; a project
// file that cannot be opened leaves the open project as it was.
#pragma once

#include "engine/programmer.h"
#include "platform/settings_store.h"
#include "shell/child_frame.h"
#include "station/app_state.h"
#include "station/project_file.h"
#include "station/recent_projects.h"
#include "station/user_dialogs.h"

#include <filesystem>
#include <optional>
#include <QObject>
#include <QPointer>

namespace zelk {

class CMainFrame;
class CMemoryView;

class CProjectDocument : public QObject {
    Q_OBJECT
public:
    CProjectDocument(SettingsStore& settings, UserDialogs& dialogs);

    // The window that holds the project's windows; set once it exists.
    void SetFrame(CMainFrame* mainFrame) { frame = mainFrame; }

    AppState& State() { return state; }
    const AppState& State() const { return state; }
    bool IsOpen() const { return state.projectOpen != 0; }
    const RecentProjectList& Recent() const { return recent; }
    void SaveRecent() { recent.Save(settings); }
    // The file the open project was last opened from or saved to; empty if never.
    const std::filesystem::path& FilePath() const { return projectFile; }

    CChildFrame* ProjectFrame() const { return projectFrame; }
    CMyChildFrame* FlashFrame() const { return flashFrame; }
    CMyChildFrame* EepromFrame() const { return eepromFrame; }
    CMemoryView* MemoryView(MemoryKind kind) const;

    void OnNew();
    void OnOpen();
    void OnOpenRecent(std::size_t index);
    // Opens `path` as the project; false, after telling the user why, when it is no project
    // that can be read: the open project then stays as it was.
    bool Open(const std::filesystem::path& path);
    // Each answers true when the project was written.
    bool OnSave();
    bool OnSaveAs();
    void OnClose();
    // Asks about images and project text the user changed and did not save: true when they
    // are saved or may be discarded, false when the user stays (or a save failed).
    bool MayDiscard();

    // While a command's worker holds a copy of the images, the views take no edits.
    void SetEditable(bool editable);
    // The views refuse a file with data beyond the identified device; none: any that fits.
    void SetDevice(const DeviceDescription* device);
    // Takes over what a command read into its copy of the images, and shows it.
    void TakeImage(MemoryKind memory, const TargetImages& from, std::uint32_t shownLength);

private:
    void Close();
    void CreateProjectWindow();
    CMyChildFrame* CreateMemoryWindow(MemoryKind kind);
    void TransferProjectForm();
    bool SaveAndRemember(const std::filesystem::path& path);
    bool Save(const std::filesystem::path& path);
    void Load(const std::optional<ProjectFileData>& data);
    void CascadeWindows();
    // Completes a relative path against the working folder without throwing.
    static std::filesystem::path Absolute(const std::filesystem::path& path);

    SettingsStore& settings;
    UserDialogs& dialogs;
    CMainFrame* frame = nullptr;
    AppState state;
    RecentProjectList recent;
    std::filesystem::path projectFile;
    QPointer<CMyChildFrame> flashFrame;
    QPointer<CMyChildFrame> eepromFrame;
    QPointer<CChildFrame> projectFrame;
    // The device the views' limit follows.
    std::string limitDevice;
    std::uint32_t flashLimit = 0;
    std::uint32_t eepromLimit = 0;
};

} // namespace zelk
