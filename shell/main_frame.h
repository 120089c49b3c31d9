// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: menus, toolbar, device bar, status bar and the MDI client that holds the
// project's windows.
#pragma once

#include <map>
#include <QMainWindow>
#include <string>
#include <vector>

class QLabel;
class QMenu;
class QToolBar;

namespace zelk {

class CMdiClient;
class FrameHost;

// The stored count of bar layout parts: a number from 1 to a bound no real layout reaches.
bool ParseBarParts(const std::string& text, int& parts);

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(FrameHost& host);
    ~CMainFrame() override;

    CMdiClient* MdiClient() const { return mdiClient; }
    // The action of a command id, or null.
    QAction* Action(int id) const;
    QToolBar* ToolBar() const { return toolBar; }
    QToolBar* DeviceBar() const { return deviceBar; }
    QMenuBar* Menus() const { return menuBar(); }

    void SetDeviceText(const QString& text);
    QString DeviceText() const;
    // A permanent status-bar note, e.g. that the port is simulated.
    // The note on the connection in use ("Simulated ATmega328P"); empty hides it.
    void SetConnectionNote(const QString& text);

    bool ShowsProjectMenu() const { return projectMenuShown; }
    // Menus, enabling, recent entries and title follow the application's state. Only what
    // changed is touched, so calling it often costs no repaint.
    void UpdateCommandStates();
    // Lines the minimized child windows up along the bottom edge.
    void ArrangeIcons();
    // The current byte of the active memory window, as the status bar shows it.
    QString CurrentByteText() const;
    // Rebuilds the Window menu's list of child windows (done as the menu opens).
    void RebuildWindowList();
    QMenu* WindowMenu() const { return windowMenu; }
    bool LockIndicatorsShown() const;

    // The layout of the bars, for the settings store.
    static constexpr int BarStateVersion = 1;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateDeviceBar();
    static void NameOverflowButton(QToolBar* bar, const QString& name);
    void CreateStatusBar();
    void ShowMenuSet(bool projectMenu);
    void UpdateRecentEntries();
    void UpdateTitle();
    void UpdateLockIndicators();
    // Listens to the memory windows' status messages and current byte.
    void FollowMemoryViews();
    void ShowStatusMessage(const QString& text);
    void ShowCurrentByte(const QString& text);
    QMenu* AddMenu(const QString& title, std::initializer_list<int> items, bool projectSet);

    FrameHost& app;
    CMdiClient* mdiClient;
    std::map<int, QAction*> actions;
    QList<QAction*> recentSeparators;
    QToolBar* toolBar = nullptr;
    QToolBar* deviceBar = nullptr;
    QLabel* deviceName = nullptr;
    QLabel* readyLabel = nullptr;
    QLabel* byteLabel = nullptr;
    QLabel* connectionNote = nullptr;
    QLabel* capsIndicator = nullptr;
    QLabel* numIndicator = nullptr;
    QLabel* scrollIndicator = nullptr;
    QMenu* windowMenu = nullptr;
    QList<QAction*> startMenus;
    QList<QAction*> projectMenus;
    QList<QAction*> windowListEntries;
    bool projectMenuShown = true;
    std::map<int, bool> appliedEnabling;
    std::vector<std::string> shownRecent;
    bool recentShownOnce = false;
};

} // namespace zelk
