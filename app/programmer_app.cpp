#include "app/programmer_app.h"

#include "about/about_box.h"
#include "about/splash_screen.h"
#include "app/lock_fuse_dialog.h"
#include "app/preference_values.h"
#include "app/preferences_sheet.h"
#include "app/project_file.h"
#include "app/project_state.h"
#include "app/qt_user_dialogs.h"
#include "app/stored_connection.h"
#include "app/working_folder.h"
#include "engine/target_connection.h"
#include "memory/memory_view.h"
#include "platform/private_profile.h"
#include "platform/settings_store.h"
#include "resources/zelk_resources.h"
#include "shell/child_frame.h"
#include "shell/command_ids.h"
#include "shell/main_frame.h"
#include "shell/mdi_client.h"
#include "shell/project_form.h"
#include "shell/window_placement.h"
#include "terminal/programmer_spi_link.h"
#include "terminal/serial_terminal.h"
#include "terminal/spi_terminal.h"

#include <algorithm>
#include <ctime>
#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>

namespace zelk {
namespace {

constexpr const char* DefaultPosition = "0,0,500,400";
constexpr const char* BarSection = "CtrlBars";
// The bar layout is longer than one stored value may be: it is kept in numbered parts.
constexpr int BarStatePartLength = 200;
constexpr const char* NotYetAvailable = "This command is not yet available.";
// Where the kernel lists its parallel ports.
constexpr const char* ParportFolder = "/proc/sys/dev/parport";

WindowRect RectOf(const CNormalChild& window) {
    const QRect area = window.NormalGeometry();
    return {area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
}

// A stored rectangle, kept on what the user can see of `areas`.
void MoveAndSize(QWidget& window, const WindowRect& rect, const QList<QRect>& areas) {
    const QRect placed = FitInAreas(rect.left, rect.top, rect.right, rect.bottom, areas,
                                    window.minimumSizeHint().expandedTo(QSize(160, 100)));
    window.move(placed.topLeft());
    window.resize(placed.size());
}

QList<QRect> ScreenAreas() {
    QList<QRect> areas;
    // The primary screen first: a window on no screen goes there.
    if (const QScreen* primary = QGuiApplication::primaryScreen(); primary != nullptr) {
        areas.append(primary->availableGeometry());
    }
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen()) {
            areas.append(screen->availableGeometry());
        }
    }
    return areas;
}

QString ToQString(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

CProgrammerApp::CProgrammerApp(std::unique_ptr<UserDialogs> userDialogs)
    : dialogs(userDialogs ? std::move(userDialogs) : std::make_unique<QtUserDialogs>()),
      targetUi(*this) {
    RegisterZelkResources();
}

CProgrammerApp::~CProgrammerApp() = default;

bool CProgrammerApp::Startup(const StartupOptions& options) {
    ConnectionSettings connection = StoredConnection();
    if (options.simulator) {
        connection.port = PortKind::Simulator;
        connection.simulator = *options.simulator;
    }
    programmer = MakeProgrammer(connection, startupError);
    if (!programmer) {
        return false;
    }
    frame = std::make_unique<CMainFrame>(*this);
    RestoreBarLayout();
    if (auto* qtDialogs = dynamic_cast<QtUserDialogs*>(dialogs.get()); qtDialogs != nullptr) {
        qtDialogs->SetParent(frame.get());
    }
    if (options.simulator) {
        sessionPort = "sim:" + options.simulator->device;
    }
    ShowConnectionNote(connection);
    recent.LoadFromSettings();
    production = ProductionCount::Load(SettingsStore(SettingsStore::UserFile()));
    ShowProductionCount();
    CSplashScreen::Show(frame.get());
    RestoreWindowPosition();
    frame->show();
    frame->UpdateCommandStates();
    return true;
}

int CProgrammerApp::Shutdown() {
    // Closing is refused while a command runs, but the event loop can end by other ways;
    // the worker must not share the port with the last reset release.
    if (runner.Running()) {
        runner.Cancel();
        programmer = runner.Finish().programmer;
    }
    if (programmer) {
        programmer->ReleaseReset();
    }
    recent.SaveToSettings();
    if (const std::optional<std::string> problem = TakeSettingsWriteProblem()) {
        dialogs->ShowMessage(*problem);
    }
    return 0;
}

bool CProgrammerApp::SetProgrammer(std::unique_ptr<Programmer> replacement) {
    if (runner.Running()) {
        return false;
    }
    programmer = std::move(replacement);
    return true;
}

void CProgrammerApp::RestoreBarLayout() {
    // The store is read once for all parts, not once per part, and only a count a real
    // layout can have is taken.
    std::string error;
    const std::optional<ProfileFile> store = ProfileFile::Load(SettingsFilePath(), error);
    if (!store) {
        return;
    }
    const std::optional<std::string> count = store->Get(BarSection, "Parts");
    int parts = 0;
    if (!count || !ParseBarParts(*count, parts)) {
        return;
    }
    QByteArray encoded;
    for (int part = 1; part <= parts; ++part) {
        encoded += QByteArray::fromStdString(
            store->Get(BarSection, "Part" + std::to_string(part)).value_or(""));
    }
    if (!encoded.isEmpty()) {
        // A state that does not apply leaves the bars as docked.
        frame->restoreState(QByteArray::fromBase64(encoded), CMainFrame::BarStateVersion);
    }
}

void CProgrammerApp::SaveBarLayout() {
    const QByteArray encoded = frame->saveState(CMainFrame::BarStateVersion).toBase64();
    std::vector<std::pair<std::string, std::string>> values;
    for (qsizetype at = 0; at < encoded.size(); at += BarStatePartLength) {
        values.emplace_back("Part" + std::to_string(values.size() + 1),
                            encoded.mid(at, BarStatePartLength).toStdString());
    }
    values.emplace_back("Parts", std::to_string(values.size()));
    ReplaceSettingSection(BarSection, values);
}

bool CProgrammerApp::FrameClosing() {
    // Ending now would leave a half-written chip.
    if (runner.Running()) {
        dialogs->ShowMessage(TargetBusyMessage);
        return false;
    }
    if (!MayDiscardProject()) {
        return false;
    }
    SaveBarLayout();
    SaveWindowPosition();
    return true;
}

std::vector<std::string> CProgrammerApp::RecentMenuTexts() const {
    std::vector<std::string> texts;
    const std::filesystem::path here = WorkingFolder();
    for (const std::string& entry : recent.Entries()) {
        texts.push_back(RecentProjectList::MenuText(static_cast<int>(texts.size()), entry, here));
    }
    return texts;
}

void CProgrammerApp::SaveWindowPosition() {
    // The frame's position and its client size: restoring them gives the same window back.
    // A maximised or minimised window is stored as the normal window it returns to.
    const QRect normal = frame->isMaximized() || frame->isMinimized()
                             ? frame->normalGeometry()
                             : QRect(frame->pos(), frame->size());
    const WindowRect rect{normal.left(), normal.top(), normal.left() + normal.width(),
                          normal.top() + normal.height()};
    WriteSettingString("MainWindow", "Position", FormatWindowRect(rect));
}

void CProgrammerApp::RestoreWindowPosition() {
    std::optional<WindowRect> rect =
        ParseWindowRect(ReadSettingString("MainWindow", "Position", DefaultPosition));
    if (!rect) {
        rect = ParseWindowRect(DefaultPosition);
    }
    // A screen that was there when the position was stored may be gone.
    MoveAndSize(*frame, *rect, ScreenAreas());
}

EnablingState CProgrammerApp::Enabling() const {
    return {.projectOpen = state.projectOpen != 0,
            .targetReady = programmer && programmer->targetReady != 0,
            .childActive = frame && frame->MdiClient()->activeSubWindow() != nullptr,
            .recentEntries = !recent.Entries().empty(),
            .workerRunning = runner.Running()};
}

CMemoryView* CProgrammerApp::MemoryView(MemoryKind kind) const {
    const QPointer<CMyChildFrame>& memoryFrame =
        kind == MemoryKind::Flash ? flashFrame : eepromFrame;
    return memoryFrame ? memoryFrame->View() : nullptr;
}

void CProgrammerApp::SetCommandHandler(int id, std::function<void()> handler) {
    commandHandlers[id] = std::move(handler);
}

void CProgrammerApp::OnTargetCommandDone() {
    TargetJobOutcome outcome = runner.Finish();
    if (!outcome.programmer) {
        return;
    }
    programmer = std::move(outcome.programmer);
    // Only a command that ran to its end changes the user's images; views keep pointing at
    // the same buffers.
    if (!outcome.cancelled) {
        TargetImages& images = state.images;
        for (const ImageChange& change : outcome.changed) {
            const bool flash = change.memory == MemoryKind::Flash;
            const auto& from = flash ? outcome.images->flashImage : outcome.images->eepromImage;
            std::ranges::copy(from, (flash ? images.flashImage : images.eepromImage).begin());
            targetUi.ImageChanged(change.memory, change.shownLength);
        }
    }
    SetImagesEditable(true);
    if (runningCommand && runningCommand->report) {
        if (runningCommand->report->outcome.empty()) {
            runningCommand->report->outcome = OutcomeText(*runningCommand, outcome);
        }
        FinishProductionRun(*runningCommand->report);
    } else if (runningCommand) {
        const std::string text = OutcomeText(*runningCommand, outcome);
        if (outcome.cancelled) {
            dialogs->ShowMessage(text);
        }
        if (frame) {
            frame->statusBar()->showMessage(ToQString(text));
        }
    }
    runningCommand.reset();
    if (frame) {
        frame->UpdateCommandStates();
    }
}

void CProgrammerApp::OnCommand(int id) {
    // A key can reach a command whose button is disabled (the accelerators work anywhere).
    if (!IsCommandEnabled(id, Enabling())) {
        return;
    }
    if (const auto handler = commandHandlers.find(id); handler != commandHandlers.end()) {
        handler->second();
    } else if (StartTargetCommand(id)) {
        // runs on the worker
    } else if (IsRecentCommand(id)) {
        const auto index = static_cast<std::size_t>(id - cmd::RecentFirst);
        if (index < recent.Entries().size()) {
            OpenRecentProject(recent.Entries()[index]);
        }
    } else {
        switch (id) {
        case cmd::NewProject:
            OnNewProject();
            break;
        case cmd::OpenProject:
            OnOpenProject();
            break;
        case cmd::CloseProject:
            if (MayDiscardProject()) {
                CloseProject();
            }
            break;
        case cmd::SaveProject:
            OnSaveProject();
            break;
        case cmd::SaveProjectAs:
            OnSaveProjectAs();
            break;
        case cmd::Exit:
            frame->close();
            break;
        case cmd::DetectDevice:
            OnDetectDevice();
            break;
        case cmd::ResetDevice:
            OnResetDevice();
            break;
        case cmd::TerminalParallel:
            OnTerminalParallel();
            break;
        case cmd::TerminalSerial:
            OnTerminalSerial();
            break;
        case cmd::About:
            OnAbout();
            break;
        case cmd::Preferences:
            OnPreferences();
            break;
        case cmd::LockBitsFuses:
            OnLockBitsFuses();
            break;
        case cmd::Cascade:
            frame->MdiClient()->cascadeSubWindows();
            break;
        case cmd::Tile:
            frame->MdiClient()->tileSubWindows();
            break;
        case cmd::ArrangeIcons:
            frame->ArrangeIcons();
            break;
        case cmd::LoadFile:
        case cmd::SaveFile:
            // The memory windows act on them; with the project window active they do nothing.
            if (auto* active = qobject_cast<CMyChildFrame*>(frame->MdiClient()->activeSubWindow());
                active != nullptr) {
                if (id == cmd::LoadFile) {
                    active->View()->OnLoadFile();
                } else {
                    active->View()->OnSaveFile();
                }
            }
            break;
        default:
            dialogs->ShowMessage(NotYetAvailable);
            break;
        }
    }
    if (frame) {
        frame->UpdateCommandStates();
    }
}

void CProgrammerApp::CreateProjectWindow() {
    auto* project = new CChildFrame;
    frame->MdiClient()->addSubWindow(project);
    project->FitToForm();
    connect(project, &CChildFrame::CloseProjectRequested, this, [this, project] {
        if (project == projectFrame) {
            OnCommand(cmd::CloseProject);
        }
    });
    project->show();
    projectFrame = project;
}

CMyChildFrame* CProgrammerApp::CreateMemoryWindow(MemoryKind kind) {
    const bool flash = kind == MemoryKind::Flash;
    auto* memory = new CMyChildFrame(state.images, kind, flash ? state.flashFile : state.eepromFile,
                                     flash ? QStringLiteral("Flash") : QStringLiteral("EEProm"));
    frame->MdiClient()->addSubWindow(memory);
    memory->SetBaseTitle(ToQString(state.projectName) +
                         (flash ? QStringLiteral(" - Flash") : QStringLiteral(" - EEProm")));
    memory->adjustSize();
    memory->show();
    return memory;
}

void CProgrammerApp::CascadeProjectWindows() {
    // Flash, EEPROM, then the project window on top, each a title bar lower and further
    // right than the one before: every title stays in sight.
    const QRect area = frame->MdiClient()->viewport()->rect();
    const int title =
        projectFrame->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, projectFrame) + 4;
    const QPoint step(title, title);
    int index = 0;
    for (QMdiSubWindow* window : {static_cast<QMdiSubWindow*>(flashFrame.data()),
                                  static_cast<QMdiSubWindow*>(eepromFrame.data()),
                                  static_cast<QMdiSubWindow*>(projectFrame.data())}) {
        window->setGeometry(CascadePlace(area, index++, step, window->size()));
    }
}

bool CProgrammerApp::MayDiscardProject() {
    if (state.projectOpen == 0) {
        return true;
    }
    for (CMyChildFrame* memory : {flashFrame.data(), eepromFrame.data()}) {
        if (memory == nullptr || !memory->View()->IsModified()) {
            continue;
        }
        const std::string question =
            "The " + std::string(memory->Kind() == MemoryKind::Flash ? "flash" : "EEPROM") +
            " image holds changes that are not saved in a file.\n"
            "Save them before they are lost?";
        switch (dialogs->AskSaveChanges(question)) {
        case SaveChoice::Cancel:
            return false;
        case SaveChoice::Save:
            if (!memory->View()->OnSaveFile()) {
                return false;
            }
            break;
        case SaveChoice::Discard:
            break;
        }
    }
    if (projectFrame && projectFrame->Form()->IsEdited()) {
        const std::string question = "The title or the comment of the project has changed.\n"
                                     "Save the project?";
        switch (dialogs->AskSaveChanges(question)) {
        case SaveChoice::Cancel:
            return false;
        case SaveChoice::Save:
            return OnSaveProject();
        case SaveChoice::Discard:
            break;
        }
    }
    return true;
}

void CProgrammerApp::OnNewProject() {
    if (!MayDiscardProject()) {
        return;
    }
    if (state.projectOpen != 0) {
        CloseProject();
    }
    CreateProjectWindow();
    state.projectName = "Untitled";
    state.flashFile.clear();
    state.eepromFile.clear();
    projectFile.clear();
    LoadProject(std::nullopt);
}

void CProgrammerApp::OnOpenProject() {
    // Cancel changes nothing: the open project stays until a file has been chosen.
    const std::optional<std::filesystem::path> path = dialogs->AskOpenProject();
    if (!path || !MayDiscardProject()) {
        return;
    }
    if (state.projectOpen != 0) {
        CloseProject();
    }
    CreateProjectWindow();
    LoadProject(Absolute(*path));
    frame->MdiClient()->setActiveSubWindow(flashFrame);
}

void CProgrammerApp::OpenRecentProject(const std::filesystem::path& path) {
    if (!MayDiscardProject()) {
        return;
    }
    if (state.projectOpen != 0) {
        CloseProject();
    }
    CreateProjectWindow();
    LoadProject(path);
    frame->MdiClient()->setActiveSubWindow(flashFrame);
}

void CProgrammerApp::TransferProjectForm() {
    CProjectForm* form = projectFrame->Form();
    form->TransferFromControls();
    state.projectName = form->GetTitle().toStdString();
    state.comment = form->GetComment().toStdString();
}

bool CProgrammerApp::OnSaveProject() {
    // A project that has no file yet asks where it goes; later saves write in place.
    if (projectFile.empty()) {
        return OnSaveProjectAs();
    }
    TransferProjectForm();
    return SaveProjectAndRemember(projectFile);
}

bool CProgrammerApp::OnSaveProjectAs() {
    TransferProjectForm();
    const std::filesystem::path folder =
        projectFile.empty() ? WorkingFolder() : projectFile.parent_path();
    const std::optional<std::filesystem::path> path =
        dialogs->AskSaveProject(folder / (state.projectName + ".prj"));
    return path && SaveProjectAndRemember(Absolute(*path));
}

std::filesystem::path CProgrammerApp::Absolute(const std::filesystem::path& path) {
    return path.is_absolute() ? path : WorkingFolder() / path;
}

bool CProgrammerApp::SaveProjectAndRemember(const std::filesystem::path& path) {
    recent.Add(path.string());
    if (!SaveProject(path)) {
        return false;
    }
    projectFile = path;
    return true;
}

bool CProgrammerApp::SaveProject(const std::filesystem::path& path) {
    ProjectFileData data;
    data.projectName = state.projectName;
    data.comment = state.comment;
    data.flashFile = state.flashFile;
    data.eepromFile = state.eepromFile;
    data.flashWindow = RectOf(*flashFrame);
    data.eepromWindow = RectOf(*eepromFrame);
    data.projectWindow = RectOf(*projectFrame);
    std::string error;
    if (!SaveProjectFile(path, data, error)) {
        // Staying silent here would lose the user's work without a word.
        dialogs->ShowMessage("The project could not be saved to " + path.string() + ".\n" + error);
        return false;
    }
    projectFrame->Form()->MarkSaved();
    return true;
}

void CProgrammerApp::LoadProject(const std::optional<std::filesystem::path>& path) {
    ProjectFileData data;
    if (path) {
        data = ApplyProjectFile(state, *path);
        projectFile = *path;
    }
    projectFrame->setWindowTitle(ToQString(state.projectName));
    flashFrame = CreateMemoryWindow(MemoryKind::Flash);
    eepromFrame = CreateMemoryWindow(MemoryKind::Eeprom);
    frame->MdiClient()->setActiveSubWindow(flashFrame);
    frame->MdiClient()->setActiveSubWindow(eepromFrame);
    CascadeProjectWindows();

    TargetImages& images = state.images;
    std::ranges::fill(images.flashImage, ErasedByte);
    std::ranges::fill(images.eepromImage, ErasedByte);
    images.flashShownLength = FlashImageSize;
    images.eepromShownLength = EepromImageSize;
    flashFrame->View()->SetImage(images.flashImage.data(), FlashImageSize);
    flashFrame->View()->Redraw();
    eepromFrame->View()->SetImage(images.eepromImage.data(), EepromImageSize);
    eepromFrame->View()->Redraw();

    // A window whose stored place does not parse stays where it was created; one stored
    // beyond the area that holds the windows (a larger screen) is brought into it.
    const QList<QRect> area{frame->MdiClient()->viewport()->rect()};
    if (data.projectWindow) {
        const WindowRect& stored = *data.projectWindow;
        const QSize size = projectFrame->size();
        projectFrame->move(FitInAreas(stored.left, stored.top,
                                      static_cast<std::int64_t>(stored.left) + size.width(),
                                      static_cast<std::int64_t>(stored.top) + size.height(), area,
                                      size)
                               .topLeft());
    }
    if (data.flashWindow) {
        MoveAndSize(*flashFrame, *data.flashWindow, area);
    }
    if (data.eepromWindow) {
        MoveAndSize(*eepromFrame, *data.eepromWindow, area);
    }
    projectFrame->Form()->SetTitle(ToQString(state.projectName));
    projectFrame->Form()->SetComment(ToQString(state.comment));
    frame->MdiClient()->setActiveSubWindow(projectFrame);
    state.projectOpen = 1;
}

void CProgrammerApp::CloseProject() {
    // The memory windows go with their project: nothing refers to them afterwards.
    for (QPointer<CMyChildFrame>* memory : {&flashFrame, &eepromFrame}) {
        if (*memory) {
            (*memory)->Destroy();
        }
        *memory = nullptr;
    }
    if (projectFrame) {
        projectFrame->Destroy();
    }
    projectFrame = nullptr;
    state.projectOpen = 0;
}

Programmer* CProgrammerApp::AvailableProgrammer() {
    if (!programmer) {
        dialogs->ShowMessage(TargetBusyMessage);
    }
    return programmer.get();
}

void CProgrammerApp::OnDetectDevice() {
    if (Programmer* available = AvailableProgrammer()) {
        DetectDevice(*available, targetUi);
    }
}

void CProgrammerApp::OnResetDevice() {
    if (Programmer* available = AvailableProgrammer()) {
        ResetDevice(*available, targetUi);
    }
}

void CProgrammerApp::OnTerminalParallel() {
    ProgrammerSpiLink link(programmer);
    CSpiTerminal terminal(frame.get(), link);
    std::string reason;
    if (!terminal.Start(reason)) {
        dialogs->ShowMessage(reason);
        return;
    }
    terminal.exec();
}

void CProgrammerApp::OnTerminalSerial() {
    CSerialTerminal terminal(frame.get());
    terminal.exec();
}

void CProgrammerApp::OnAbout() {
    CAboutBox about(frame.get());
    about.exec();
}

void CProgrammerApp::OnLockBitsFuses() {
    if (Programmer* available = AvailableProgrammer()) {
        CLockFuseDialog dialog(frame.get(), *available, targetUi, *dialogs);
        dialog.exec();
    }
}

void CProgrammerApp::OnPreferences() {
    if (AvailableProgrammer() == nullptr) {
        return;
    }
    std::vector<std::string> devices;
    std::vector<DeviceEntry> entries;
    std::string error;
    if (ReadDeviceList(programmer->DeviceDatabase(), entries, error)) {
        for (const DeviceEntry& entry : entries) {
            devices.push_back(entry.name);
        }
    }
    const PreferenceValues stored = LoadPreferences();
    const PreferenceValues before = WithSessionPort(stored, sessionPort);
    CMyPropertySheet sheet(frame.get(), before, PortChoices(ParportFolder, devices),
                           [this](const std::string& text) { dialogs->ShowMessage(text); });
    if (sheet.exec() != QDialog::Accepted) {
        return;
    }
    const PreferenceValues& chosen = sheet.Values();
    if (chosen.resetProductionCount) {
        SettingsStore store(SettingsStore::UserFile());
        production.Reset(store);
        ShowProductionCount();
    }
    if (!StorePreferences(WithoutSessionPort(chosen, stored, sessionPort))) {
        dialogs->ShowMessage("The preferences could not be stored in " +
                             SettingsFilePath().string() + ".\n" + SettingsWriteProblem());
    }
    if (chosen.portPosition == before.portPosition && chosen.portName == before.portName &&
        chosen.cablePosition == before.cablePosition &&
        chosen.sckHalfPeriodUs == before.sckHalfPeriodUs &&
        chosen.fixedWaits == before.fixedWaits) {
        return;
    }
    const ConnectionSettings connection = ConnectionOf(chosen);
    std::unique_ptr<Programmer> replacement = MakeProgrammer(connection, error);
    if (!replacement) {
        dialogs->ShowMessage("The chosen port cannot be used: " + error +
                             "\nThe commands keep the connection they had.");
        return;
    }
    programmer = std::move(replacement);
    if (chosen.portName != sessionPort) {
        sessionPort.clear();
    }
    ShowConnectionNote(connection);
    frame->SetDeviceText(QStringLiteral("Unknown Device"));
}

void CProgrammerApp::ShowConnectionNote(const ConnectionSettings& connection) {
    frame->SetConnectionNote(connection.port == PortKind::Simulator
                                 ? ToQString("Simulated " + connection.simulator.device)
                                 : QString());
}

void CProgrammerApp::FinishProductionRun(const AutoProgramReport& report) {
    SettingsStore store(SettingsStore::UserFile());
    std::string error;
    std::string text = report.outcome;
    if (!RecordProductionRun(store, production,
                             ProductionRunOf(report, {state.flashFile, state.eepromFile}), error)) {
        text += "\n" + error;
    }
    ShowProductionCount();
    dialogs->ShowMessage(text);
    if (frame) {
        frame->statusBar()->showMessage(ToQString(report.outcome));
    }
}

void CProgrammerApp::ShowProductionCount() {
    if (!frame) {
        return;
    }
    if (!productionLabel) {
        productionLabel = new QLabel;
        productionLabel->setObjectName(QStringLiteral("ProductionCount"));
        frame->statusBar()->addPermanentWidget(productionLabel);
    }
    productionLabel->setText(ToQString(production.Text()));
}

void CProgrammerApp::SetImagesEditable(bool editable) {
    for (MemoryKind kind : {MemoryKind::Flash, MemoryKind::Eeprom}) {
        if (CMemoryView* view = MemoryView(kind); view != nullptr) {
            view->SetReadOnly(!editable);
        }
    }
}

bool CProgrammerApp::StartTargetCommand(int id) {
    std::optional<TargetCommandJob> command =
        TargetJobFor(id, {state.flashFile, state.eepromFile}, LoadAutoProgramSteps());
    if (!command) {
        return false;
    }
    if (AvailableProgrammer() == nullptr) {
        return true;
    }
    std::string error;
    const bool started = runner.Start(
        programmer, state.images, targetUi, command->job,
        [this] {
            QMetaObject::invokeMethod(
                this, [this] { OnTargetCommandDone(); }, Qt::QueuedConnection);
        },
        error);
    if (!started) {
        dialogs->ShowMessage("Cannot start " + command->name + ".\n" + error);
        return true;
    }
    runningCommand = std::move(command);
    // The command works on a copy; edits made meanwhile would be overwritten or not written.
    SetImagesEditable(false);
    if (frame) {
        frame->statusBar()->showMessage(ToQString(runningCommand->name + " running..."));
    }
    return true;
}

} // namespace zelk
