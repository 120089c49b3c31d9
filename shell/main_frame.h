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

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(FrameHost& host);
    ~CMainFrame() override;

    CMdiClient* MdiClient() const { return mdiClient; }
    // The action of a command id, or null.
    QAction* Action(int id) const;
    // The disabled entry shown while the recent-project list is empty.
    QAction* EmptyRecentEntry() const { return emptyRecentEntry; }
    QToolBar* ToolBar() const { return toolBar; }
    QToolBar* DeviceBar() const { return deviceBar; }
    QMenuBar* Menus() const { return menuBar(); }

    void SetDeviceText(const QString& text);
    QString DeviceText() const;
    // A permanent status-bar note, e.g. that the port is simulated.
    void AddPermanentNote(const QString& text);

    bool ShowsProjectMenu() const { return projectMenuShown; }
    // Menus, enabling, recent entries and title follow the application's state. Only what
    // changed is touched, so calling it often costs no repaint.
    void UpdateCommandStates();
    // Lines the minimized child windows up along the bottom edge.
    void ArrangeIcons();

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
    void CreateStatusBar();
    void ShowMenuSet(bool projectMenu);
    void UpdateRecentEntries();
    void UpdateTitle();
    void UpdateLockIndicators(Qt::KeyboardModifiers modifiers, quint32 nativeModifiers);
    void RebuildWindowList();
    QMenu* AddMenu(const QString& title, std::initializer_list<int> items, bool projectSet);

    FrameHost& app;
    CMdiClient* mdiClient;
    std::map<int, QAction*> actions;
    QAction* emptyRecentEntry = nullptr;
    QToolBar* toolBar = nullptr;
    QToolBar* deviceBar = nullptr;
    QLabel* deviceName = nullptr;
    QLabel* readyLabel = nullptr;
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
