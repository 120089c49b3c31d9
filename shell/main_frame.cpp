// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/main_frame.h"

#include "memory/memory_view.h"
#include "resources/zelk_resources.h"
#include "shell/child_frame.h"
#include "shell/command_enabling.h"
#include "shell/command_ids.h"
#include "shell/frame_host.h"
#include "shell/lock_keys.h"
#include "shell/mdi_client.h"

#include <charconv>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace zelk {
namespace {

constexpr int Separator = 0;
constexpr int RecentBlock = -1;
// A layout of three bars takes a few hundred characters; more parts than this are no layout.
constexpr int MaxBarStateParts = 64;

struct ToolButton {
    int id;
    const char* icon;
    // The desktop theme's icon for the command, where it has a standard one.
    const char* themeIcon = nullptr;
};

// Left to right; Separator draws a bar between groups.
const ToolButton ToolButtons[] = {
    {cmd::NewProject, "new_project", "document-new"},
    {cmd::OpenProject, "open_project", "document-open"},
    {cmd::SaveProject, "save_project", "document-save"},
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
    {cmd::About, "about", "help-about"},
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

// The lock keys can change in any window: their lights are read this often.
constexpr int LockKeyPollMs = 300;

} // namespace

CMainFrame::CMainFrame(FrameHost& owner) : app(owner), mdiClient(new CMdiClient(this)) {
    setWindowTitle(QStringLiteral("zelk"));
    setWindowIcon(ApplicationIcon());
    setCentralWidget(mdiClient);
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateDeviceBar();

    connect(mdiClient, &QMdiArea::subWindowActivated, this, [this] {
        FollowMemoryViews();
        UpdateCommandStates();
    });
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
            // The separator above the entries goes with them while the list is empty.
            if (!menu->actions().isEmpty() && menu->actions().constLast()->isSeparator()) {
                recentSeparators.append(menu->actions().constLast());
            }
            for (int recent = cmd::RecentFirst; recent <= cmd::RecentLast; ++recent) {
                menu->addAction(Action(recent));
            }
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
    // "P&rogram": Alt+P belongs to "&Project", and two menus on one key would take turns.
    AddMenu(QStringLiteral("P&rogram"),
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
    toolBar->setAccessibleName(toolBar->windowTitle());
    for (const ToolButton& button : ToolButtons) {
        if (button.id == Separator) {
            toolBar->addSeparator();
            continue;
        }
        QAction* action = Action(button.id);
        const QIcon own(QStringLiteral(":/toolbar/%1.svg").arg(QLatin1String(button.icon)));
        action->setIcon(button.themeIcon != nullptr
                            ? QIcon::fromTheme(QLatin1String(button.themeIcon), own)
                            : own);
        toolBar->addAction(action);
        // A command without a tooltip shows none, rather than its menu text.
        if (action->toolTip() == action->text().remove(QLatin1Char('&'))) {
            toolBar->widgetForAction(action)->setProperty("zelkNoTooltip", true);
        }
    }
    addToolBar(Qt::TopToolBarArea, toolBar);
    NameOverflowButton(toolBar, QStringLiteral("More tools"));
}

void CMainFrame::NameOverflowButton(QToolBar* bar, const QString& name) {
    // The button Qt adds for the tools a narrow window cannot show has no name of its own.
    if (auto* overflow = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
        overflow != nullptr) {
        overflow->setAccessibleName(name);
        overflow->setToolTip(name);
    }
}

void CMainFrame::CreateDeviceBar() {
    deviceBar = new QToolBar(QStringLiteral("Device Bar"), this);
    deviceBar->setObjectName(QStringLiteral("DeviceBar"));
    QAction* detect = Action(cmd::DetectDevice);
    auto* button = new QPushButton(QStringLiteral("Detect Device"), deviceBar);
    button->setStatusTip(detect->statusTip());
    button->setToolTip(detect->toolTip());
    connect(button, &QPushButton::clicked, detect, &QAction::trigger);
    connect(detect, &QAction::changed, button,
            [button, detect] { button->setEnabled(detect->isEnabled()); });
    deviceName = new QLabel(QStringLiteral("Unknown Device"), deviceBar);
    deviceName->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    deviceName->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Room for the longest device name in the user's font; a longer text widens the field.
    deviceName->setMinimumWidth(
        deviceName->fontMetrics().horizontalAdvance(QStringLiteral("Unknown Device")) +
        deviceName->fontMetrics().averageCharWidth() * 2);
    deviceName->setObjectName(QStringLiteral("DeviceName"));
    deviceBar->addWidget(button);
    deviceBar->addSeparator();
    deviceBar->addWidget(deviceName);
    // A row of its own: beside the toolbar a narrow window would fold the device name away.
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, deviceBar);
    NameOverflowButton(deviceBar, QStringLiteral("More of the device bar"));
    deviceBar->setAccessibleName(deviceBar->windowTitle());
    SetDeviceText(deviceName->text());
}

void CMainFrame::CreateStatusBar() {
    readyLabel = new QLabel(QStringLiteral("Ready"));
    statusBar()->addWidget(readyLabel, 1);
    byteLabel = new QLabel;
    byteLabel->setObjectName(QStringLiteral("CurrentByte"));
    statusBar()->addPermanentWidget(byteLabel);
    for (QLabel** indicator : {&capsIndicator, &numIndicator, &scrollIndicator}) {
        *indicator = new QLabel;
        (*indicator)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        (*indicator)->setEnabled(false);
        statusBar()->addPermanentWidget(*indicator);
    }
    capsIndicator->setText(QStringLiteral("CAP"));
    numIndicator->setText(QStringLiteral("NUM"));
    scrollIndicator->setText(QStringLiteral("SCRL"));
    // Where the lights cannot be read, no indicator pretends to know them.
    const bool readable = ReadLockKeys().has_value();
    for (QLabel* indicator : {capsIndicator, numIndicator, scrollIndicator}) {
        indicator->setVisible(readable);
    }
    if (readable) {
        UpdateLockIndicators();
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, &CMainFrame::UpdateLockIndicators);
        poll->start(LockKeyPollMs);
    }
}

void CMainFrame::FollowMemoryViews() {
    const auto* active = qobject_cast<CMyChildFrame*>(mdiClient->activeSubWindow());
    for (QMdiSubWindow* child : mdiClient->subWindowList()) {
        if (const auto* memory = qobject_cast<CMyChildFrame*>(child); memory != nullptr) {
            connect(memory->View(), &CMemoryView::StatusMessage, this,
                    &CMainFrame::ShowStatusMessage, Qt::UniqueConnection);
            connect(memory->View(), &CMemoryView::CurrentByteChanged, this,
                    &CMainFrame::ShowCurrentByte, Qt::UniqueConnection);
        }
    }
    byteLabel->setText(active != nullptr ? active->View()->CurrentByteText() : QString());
}

void CMainFrame::ShowStatusMessage(const QString& text) {
    statusBar()->showMessage(text);
}

void CMainFrame::ShowCurrentByte(const QString& text) {
    const auto* active = qobject_cast<CMyChildFrame*>(mdiClient->activeSubWindow());
    if (active != nullptr && sender() == active->View()) {
        byteLabel->setText(text);
    }
}

void CMainFrame::SetConnectionNote(const QString& text) {
    if (connectionNote == nullptr) {
        connectionNote = new QLabel;
        connectionNote->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        connectionNote->setObjectName(QStringLiteral("ConnectionNote"));
        // Left of the keyboard indicators, right of the message pane.
        statusBar()->insertPermanentWidget(1, connectionNote);
    }
    connectionNote->setText(text);
    connectionNote->setVisible(!text.isEmpty());
}

void CMainFrame::SetDeviceText(const QString& text) {
    deviceName->setText(text);
    // A screen reader hears what the field is, then the device.
    deviceName->setAccessibleName(QStringLiteral("Device: ") + text);
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
    for (QAction* separator : recentSeparators) {
        separator->setVisible(!entries.empty());
    }
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
    // Memory windows hidden by their close box are listed too: choosing one shows it again.
    for (QMdiSubWindow* child : mdiClient->subWindowList()) {
        if (number == 0) {
            windowListEntries.append(windowMenu->addSeparator());
        }
        ++number;
        QString title = child->windowTitle().replace(QLatin1Char('&'), QStringLiteral("&&"));
        if (child->isHidden()) {
            title += QStringLiteral(" (hidden)");
        }
        QAction* entry = windowMenu->addAction(QStringLiteral("&%1 %2").arg(number).arg(title));
        entry->setCheckable(true);
        entry->setChecked(child == mdiClient->activeSubWindow() && !child->isHidden());
        connect(entry, &QAction::triggered, mdiClient, [this, child] {
            child->show();
            mdiClient->setActiveSubWindow(child);
        });
        windowListEntries.append(entry);
    }
}

QString CMainFrame::CurrentByteText() const {
    return byteLabel->text();
}

bool CMainFrame::LockIndicatorsShown() const {
    return !capsIndicator->isHidden();
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

void CMainFrame::UpdateLockIndicators() {
    const std::optional<LockKeyState> keys = ReadLockKeys();
    if (!keys) {
        return;
    }
    capsIndicator->setEnabled(keys->caps);
    numIndicator->setEnabled(keys->num);
    scrollIndicator->setEnabled(keys->scroll);
}

bool ParseBarParts(const std::string& text, int& parts) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 1 ||
        value > MaxBarStateParts) {
        return false;
    }
    parts = value;
    return true;
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::ShortcutOverride) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this) {
            const auto& key = static_cast<const QKeyEvent&>(*event);
            if (type == QEvent::KeyPress && capsIndicator->isVisible()) {
                // The light changes once the server has handled the key.
                QMetaObject::invokeMethod(this, &CMainFrame::UpdateLockIndicators,
                                          Qt::QueuedConnection);
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
