#include "shell/main_frame.h"

#include "shell/command_enabling.h"
#include "shell/command_ids.h"
#include "shell/frame_host.h"
#include "shell/mdi_client.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

namespace zelk {
namespace {

constexpr int Separator = 0;
constexpr int RecentBlock = -1;

struct ToolButton {
    int id;
    const char* icon;
};

// Left to right; Separator draws a bar between groups.
const ToolButton ToolButtons[] = {
    {cmd::NewProject, "new_project"},
    {cmd::OpenProject, "open_project"},
    {cmd::SaveProject, "save_project"},
    {Separator, nullptr},
    {cmd::EraseChip, "erase_chip"},
    {cmd::BlankCheck, "blank_check"},
    {cmd::WriteFlash, "write_flash"},
    {cmd::ReadFlash, "read_flash"},
    {cmd::VerifyFlash, "verify_flash"},
    {Separator, nullptr},
    {cmd::AutoProgram, "auto_program"},
    {Separator, nullptr},
    {cmd::ResetDevice, "reset_device"},
    {Separator, nullptr},
    {cmd::Preferences, "preferences"},
    {Separator, nullptr},
    {cmd::TerminalParallel, "terminal_parallel"},
    {cmd::TerminalSerial, "terminal_serial"},
    {Separator, nullptr},
    {cmd::SerialNumbering, "serial_numbering"},
    {Separator, nullptr},
    {cmd::About, "about"},
};

// Keys bound to commands this system does not have: consumed before the focused window,
// so they neither copy, cut, paste nor undo in an edit field.
const QKeySequence ConsumedKeys[] = {
    QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert),
    QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert),
    QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete),
    QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::ALT | Qt::Key_Backspace),
    QKeySequence(Qt::Key_F6),           QKeySequence(Qt::SHIFT | Qt::Key_F6),
};

bool IsConsumedKey(const QKeyEvent& key) {
    const QKeySequence pressed(key.keyCombination());
    for (const QKeySequence& consumed : ConsumedKeys) {
        if (pressed == consumed) {
            return true;
        }
    }
    return false;
}

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// X11 reports Caps Lock and Num Lock as modifier bits of every key event.
constexpr quint32 X11LockMask = 0x02;
constexpr quint32 X11NumLockMask = 0x10;

} // namespace

CMainFrame::CMainFrame(FrameHost& owner) : app(owner), mdiClient(new CMdiClient(this)) {
    setWindowTitle(QStringLiteral("zelk"));
    setCentralWidget(mdiClient);
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateDeviceBar();

    connect(mdiClient, &QMdiArea::subWindowActivated, this, [this] { UpdateCommandStates(); });
    qApp->installEventFilter(this);
    UpdateCommandStates();
}

CMainFrame::~CMainFrame() {
    qApp->removeEventFilter(this);
    // The base class hides the child windows as it goes, which would report activations to
    // members already destroyed.
    mdiClient->disconnect(this);
}

QAction* CMainFrame::Action(int id) const {
    const auto found = actions.find(id);
    return found == actions.end() ? nullptr : found->second;
}

void CMainFrame::CreateActions() {
    for (const CommandInfo& command : AllCommands()) {
        auto* action = new QAction(Text(MenuLabel(command)), this);
        if (const std::string_view keys = MenuAccelerator(command); !keys.empty()) {
            action->setShortcut(QKeySequence(Text(keys)));
        }
        action->setStatusTip(Text(StatusPrompt(command)));
        action->setToolTip(Text(Tooltip(command)));
        action->setIconVisibleInMenu(false);
        const int id = command.id;
        connect(action, &QAction::triggered, this, [this, id] { app.OnCommand(id); });
        // Added to the frame itself, so accelerators work whichever menu is shown.
        addAction(action);
        actions[id] = action;
    }
    for (int id = cmd::RecentFirst; id <= cmd::RecentLast; ++id) {
        auto* action = new QAction(this);
        connect(action, &QAction::triggered, this, [this, id] { app.OnCommand(id); });
        actions[id] = action;
    }
    emptyRecentEntry = new QAction(QStringLiteral("mru_list"), this);
    emptyRecentEntry->setEnabled(false);

    for (const QKeySequence& keys : ConsumedKeys) {
        auto* consumed = new QAction(this);
        consumed->setShortcut(keys);
        addAction(consumed);
    }
}

QMenu* CMainFrame::AddMenu(const QString& title, std::initializer_list<int> items,
                           bool projectSet) {
    QMenu* menu = menuBar()->addMenu(title);
    for (int id : items) {
        if (id == Separator) {
            menu->addSeparator();
        } else if (id == RecentBlock) {
            for (int recent = cmd::RecentFirst; recent <= cmd::RecentLast; ++recent) {
                menu->addAction(Action(recent));
            }
            menu->addAction(emptyRecentEntry);
        } else {
            menu->addAction(Action(id));
        }
    }
    // Enabling is applied as a menu opens, not only when idle.
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    (projectSet ? projectMenus : startMenus).append(menu->menuAction());
    return menu;
}

void CMainFrame::CreateMenus() {
    const QString project = QStringLiteral("&Project");
    const QString options = QStringLiteral("&Options");
    const QString help = QStringLiteral("&Help");

    AddMenu(project,
            {cmd::NewProject, cmd::OpenProject, Separator, cmd::Exit, Separator, RecentBlock},
            false);
    AddMenu(options, {cmd::Preferences, Separator, cmd::DetectDevice, cmd::ResetDevice}, false);
    AddMenu(help, {cmd::About}, false);

    AddMenu(project,
            {cmd::NewProject, cmd::OpenProject, cmd::CloseProject, cmd::SaveProject,
             cmd::SaveProjectAs, Separator, cmd::Exit, Separator, RecentBlock},
            true);
    AddMenu(QStringLiteral("&File"), {cmd::LoadFile, cmd::SaveFile}, true);
    AddMenu(QStringLiteral("&Program"),
            {cmd::EraseChip, cmd::BlankCheck, Separator, cmd::ReadFlash, cmd::WriteFlash,
             cmd::VerifyFlash, Separator, cmd::ReadEeprom, cmd::WriteEeprom, cmd::VerifyEeprom,
             Separator, cmd::AutoProgram, cmd::LockBitsFuses, cmd::SerialNumbering},
            true);
    AddMenu(options,
            {cmd::Preferences, Separator, cmd::DetectDevice, cmd::ResetDevice, Separator,
             cmd::TerminalParallel, cmd::TerminalSerial},
            true);
    windowMenu =
        AddMenu(QStringLiteral("&Window"), {cmd::Cascade, cmd::Tile, cmd::ArrangeIcons}, true);
    connect(windowMenu, &QMenu::aboutToShow, this, &CMainFrame::RebuildWindowList);
    AddMenu(help, {cmd::About}, true);
    ShowMenuSet(false);
}

void CMainFrame::ShowMenuSet(bool projectMenu) {
    if (projectMenu == projectMenuShown) {
        return;
    }
    projectMenuShown = projectMenu;
    // Only the shown set sits in the menu bar: a hidden menu still holds its Alt key, and
    // Alt+O held by two "&Options" menus would open neither.
    for (QAction* menu : projectMenu ? startMenus : projectMenus) {
        menuBar()->removeAction(menu);
    }
    menuBar()->addActions(projectMenu ? projectMenus : startMenus);
}

void CMainFrame::CreateToolBar() {
    toolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    toolBar->setObjectName(QStringLiteral("ToolBar"));
    toolBar->setIconSize(QSize(16, 15));
    for (const ToolButton& button : ToolButtons) {
        if (button.id == Separator) {
            toolBar->addSeparator();
            continue;
        }
        QAction* action = Action(button.id);
        action->setIcon(QIcon(QStringLiteral(":/toolbar/%1.png").arg(QLatin1String(button.icon))));
        toolBar->addAction(action);
        // A command without a tooltip shows none, rather than its menu text.
        if (action->toolTip() == action->text().remove(QLatin1Char('&'))) {
            toolBar->widgetForAction(action)->setProperty("zelkNoTooltip", true);
        }
    }
    addToolBar(Qt::TopToolBarArea, toolBar);
}

void CMainFrame::CreateDeviceBar() {
    deviceBar = new QToolBar(QStringLiteral("Device Bar"), this);
    deviceBar->setObjectName(QStringLiteral("DeviceBar"));
    QAction* detect = Action(cmd::DetectDevice);
    auto* button = new QPushButton(QStringLiteral("Detect Device"), deviceBar);
    button->setStatusTip(detect->statusTip());
    button->setToolTip(detect->toolTip());
    button->setFixedWidth(86);
    connect(button, &QPushButton::clicked, detect, &QAction::trigger);
    connect(detect, &QAction::changed, button,
            [button, detect] { button->setEnabled(detect->isEnabled()); });
    deviceName = new QLabel(QStringLiteral("Unknown Device"), deviceBar);
    deviceName->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    deviceName->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    deviceName->setFixedWidth(105);
    deviceName->setObjectName(QStringLiteral("DeviceName"));
    deviceBar->addWidget(button);
    deviceBar->addSeparator();
    deviceBar->addWidget(deviceName);
    // A row of its own: beside the toolbar a narrow window would fold the device name away.
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, deviceBar);
}

void CMainFrame::CreateStatusBar() {
    readyLabel = new QLabel(QStringLiteral("Ready"));
    statusBar()->addWidget(readyLabel, 1);
    for (QLabel** indicator : {&capsIndicator, &numIndicator, &scrollIndicator}) {
        *indicator = new QLabel;
        (*indicator)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        (*indicator)->setEnabled(false);
    }
    capsIndicator->setText(QStringLiteral("CAP"));
    numIndicator->setText(QStringLiteral("NUM"));
    scrollIndicator->setText(QStringLiteral("SCRL"));
    statusBar()->addPermanentWidget(capsIndicator);
    statusBar()->addPermanentWidget(numIndicator);
    statusBar()->addPermanentWidget(scrollIndicator);
}

void CMainFrame::AddPermanentNote(const QString& text) {
    auto* note = new QLabel(text);
    note->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    note->setObjectName(QStringLiteral("PermanentNote"));
    // Left of the keyboard indicators, right of the message pane.
    statusBar()->insertPermanentWidget(1, note);
}

void CMainFrame::SetDeviceText(const QString& text) {
    deviceName->setText(text);
}

QString CMainFrame::DeviceText() const {
    return deviceName->text();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!app.FrameClosing()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void CMainFrame::UpdateCommandStates() {
    const EnablingState state = app.Enabling();
    for (const auto& [id, action] : actions) {
        const bool enabled = IsCommandEnabled(id, state);
        auto applied = appliedEnabling.find(id);
        if (applied == appliedEnabling.end() || applied->second != enabled) {
            action->setEnabled(enabled);
            appliedEnabling[id] = enabled;
        }
    }
    ShowMenuSet(state.projectOpen);
    UpdateRecentEntries();
    UpdateTitle();
}

void CMainFrame::UpdateRecentEntries() {
    const std::vector<std::string> entries = app.RecentMenuTexts();
    if (recentShownOnce && entries == shownRecent) {
        return;
    }
    recentShownOnce = true;
    shownRecent = entries;
    for (int id = cmd::RecentFirst; id <= cmd::RecentLast; ++id) {
        const auto index = static_cast<std::size_t>(id - cmd::RecentFirst);
        QAction* action = Action(id);
        const bool present = index < entries.size();
        action->setVisible(present);
        if (present) {
            action->setText(QString::fromStdString(entries[index]));
        }
    }
    emptyRecentEntry->setVisible(entries.empty());
}

void CMainFrame::UpdateTitle() {
    const QMdiSubWindow* active = mdiClient->activeSubWindow();
    const QString title = active == nullptr ? QStringLiteral("zelk")
                                            : QStringLiteral("zelk - ") + active->windowTitle();
    if (windowTitle() != title) {
        setWindowTitle(title);
    }
}

void CMainFrame::RebuildWindowList() {
    for (QAction* entry : windowListEntries) {
        windowMenu->removeAction(entry);
        entry->deleteLater();
    }
    windowListEntries.clear();
    int number = 0;
    for (QMdiSubWindow* child : mdiClient->subWindowList()) {
        if (child->isHidden()) {
            continue;
        }
        if (number == 0) {
            windowListEntries.append(windowMenu->addSeparator());
        }
        ++number;
        QAction* entry =
            windowMenu->addAction(QStringLiteral("&%1 %2").arg(number).arg(child->windowTitle()));
        entry->setCheckable(true);
        entry->setChecked(child == mdiClient->activeSubWindow());
        connect(entry, &QAction::triggered, mdiClient,
                [this, child] { mdiClient->setActiveSubWindow(child); });
        windowListEntries.append(entry);
    }
}

void CMainFrame::ArrangeIcons() {
    int x = 0;
    for (QMdiSubWindow* child : mdiClient->subWindowList()) {
        if (child->isMinimized() && !child->isHidden()) {
            child->move(x, mdiClient->viewport()->height() - child->height());
            x += child->width();
        }
    }
}

void CMainFrame::UpdateLockIndicators(Qt::KeyboardModifiers, quint32 nativeModifiers) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return;
    }
    capsIndicator->setEnabled((nativeModifiers & X11LockMask) != 0);
    numIndicator->setEnabled((nativeModifiers & X11NumLockMask) != 0);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::ShortcutOverride) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this) {
            const auto& key = static_cast<const QKeyEvent&>(*event);
            if (type == QEvent::KeyPress) {
                UpdateLockIndicators(key.modifiers(), key.nativeModifiers());
            }
            if (IsConsumedKey(key)) {
                return true;
            }
        }
    } else if (type == QEvent::ToolTip && watched->property("zelkNoTooltip").toBool()) {
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace zelk
