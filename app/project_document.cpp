// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/project_document.h"

#include "engine/command_support.h"
#include "memory/memory_view.h"
#include "shell/main_frame.h"
#include "shell/mdi_client.h"
#include "shell/project_form.h"
#include "shell/window_placement.h"
#include "station/project_file.h"
#include "station/project_state.h"
#include "station/working_folder.h"

#include <algorithm>
#include <QScreen>
#include <QStyle>

namespace zelk {
namespace {

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

QString ToQString(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

CProjectDocument::CProjectDocument(SettingsStore& store, UserDialogs& userDialogs)
    : settings(store), dialogs(userDialogs) {
    recent.Load(settings);
}

CMemoryView* CProjectDocument::MemoryView(MemoryKind kind) const {
    const QPointer<CMyChildFrame>& memoryFrame =
        kind == MemoryKind::Flash ? flashFrame : eepromFrame;
    return memoryFrame ? memoryFrame->View() : nullptr;
}

void CProjectDocument::CreateProjectWindow() {
    auto* project = new CChildFrame;
    frame->MdiClient()->addSubWindow(project);
    project->FitToForm();
    connect(project, &CChildFrame::CloseProjectRequested, this, [this, project] {
        if (project == projectFrame) {
            OnClose();
            frame->UpdateCommandStates();
        }
    });
    project->show();
    projectFrame = project;
}

CMyChildFrame* CProjectDocument::CreateMemoryWindow(MemoryKind kind) {
    const bool flash = kind == MemoryKind::Flash;
    auto* memory = new CMyChildFrame(state.images, kind, flash ? state.flashFile : state.eepromFile,
                                     flash ? QStringLiteral("Flash") : QStringLiteral("EEProm"));
    frame->MdiClient()->addSubWindow(memory);
    memory->SetBaseTitle(ToQString(state.projectName) +
                         (flash ? QStringLiteral(" - Flash") : QStringLiteral(" - EEProm")));
    memory->View()->SetDeviceLimit(limitDevice, flash ? flashLimit : eepromLimit);
    memory->adjustSize();
    memory->show();
    return memory;
}

void CProjectDocument::CascadeWindows() {
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

bool CProjectDocument::MayDiscard() {
    if (!IsOpen()) {
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
        switch (dialogs.AskSaveChanges(question)) {
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
        switch (dialogs.AskSaveChanges(question)) {
        case SaveChoice::Cancel:
            return false;
        case SaveChoice::Save:
            return OnSave();
        case SaveChoice::Discard:
            break;
        }
    }
    return true;
}

void CProjectDocument::OnNew() {
    if (!MayDiscard()) {
        return;
    }
    Close();
    CreateProjectWindow();
    state.projectName = "Untitled";
    state.comment = "None";
    state.flashFile.clear();
    state.eepromFile.clear();
    projectFile.clear();
    Load(std::nullopt);
}

void CProjectDocument::OnOpen() {
    // Cancel changes nothing: the open project stays until a file has been chosen.
    if (const std::optional<std::filesystem::path> path = dialogs.AskOpenProject()) {
        Open(Absolute(*path));
    }
}

void CProjectDocument::OnOpenRecent(std::size_t index) {
    if (index < recent.Entries().size()) {
        Open(recent.Entries()[index]);
    }
}

bool CProjectDocument::Open(const std::filesystem::path& path) {
    // The file is read before anything of the open project is given up.
    ProjectFileData data;
    std::string error;
    if (!ReadProject(path, data, error)) {
        dialogs.ShowMessage("The project cannot be opened.\n" + error);
        return false;
    }
    if (!MayDiscard()) {
        return false;
    }
    Close();
    CreateProjectWindow();
    ApplyProject(state, data, path);
    projectFile = path;
    Load(data);
    frame->MdiClient()->setActiveSubWindow(flashFrame);
    return true;
}

void CProjectDocument::TransferProjectForm() {
    CProjectForm* form = projectFrame->Form();
    form->TransferFromControls();
    state.projectName = form->GetTitle().toStdString();
    state.comment = form->GetComment().toStdString();
}

bool CProjectDocument::OnSave() {
    // A project that has no file yet asks where it goes; later saves write in place.
    if (projectFile.empty()) {
        return OnSaveAs();
    }
    TransferProjectForm();
    return SaveAndRemember(projectFile);
}

bool CProjectDocument::OnSaveAs() {
    TransferProjectForm();
    const std::filesystem::path folder =
        projectFile.empty() ? WorkingFolder() : projectFile.parent_path();
    const std::optional<std::filesystem::path> path =
        dialogs.AskSaveProject(folder / (state.projectName + ".prj"));
    return path && SaveAndRemember(Absolute(*path));
}

std::filesystem::path CProjectDocument::Absolute(const std::filesystem::path& path) {
    return path.is_absolute() ? path : WorkingFolder() / path;
}

bool CProjectDocument::SaveAndRemember(const std::filesystem::path& path) {
    recent.Add(path.string());
    if (!Save(path)) {
        return false;
    }
    projectFile = path;
    return true;
}

bool CProjectDocument::Save(const std::filesystem::path& path) {
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
        dialogs.ShowMessage("The project could not be saved to " + path.string() + ".\n" + error);
        return false;
    }
    projectFrame->Form()->MarkSaved();
    return true;
}

void CProjectDocument::Load(const std::optional<ProjectFileData>& data) {
    projectFrame->setWindowTitle(ToQString(state.projectName));
    flashFrame = CreateMemoryWindow(MemoryKind::Flash);
    eepromFrame = CreateMemoryWindow(MemoryKind::Eeprom);
    frame->MdiClient()->setActiveSubWindow(flashFrame);
    frame->MdiClient()->setActiveSubWindow(eepromFrame);
    CascadeWindows();

    TargetImages& images = state.images;
    images = TargetImages{};
    flashFrame->View()->SetImage(images.flashImage.data(), FlashImageSize);
    flashFrame->View()->Redraw();
    eepromFrame->View()->SetImage(images.eepromImage.data(), EepromImageSize);
    eepromFrame->View()->Redraw();

    // A window whose stored place does not parse stays where it was created; one stored
    // beyond the area that holds the windows (a larger screen) is brought into it.
    const QList<QRect> area{frame->MdiClient()->viewport()->rect()};
    if (data && data->projectWindow) {
        const WindowRect& stored = *data->projectWindow;
        const QSize size = projectFrame->size();
        projectFrame->move(FitInAreas(stored.left, stored.top,
                                      static_cast<std::int64_t>(stored.left) + size.width(),
                                      static_cast<std::int64_t>(stored.top) + size.height(), area,
                                      size)
                               .topLeft());
    }
    if (data && data->flashWindow) {
        MoveAndSize(*flashFrame, *data->flashWindow, area);
    }
    if (data && data->eepromWindow) {
        MoveAndSize(*eepromFrame, *data->eepromWindow, area);
    }
    projectFrame->Form()->SetTitle(ToQString(state.projectName));
    projectFrame->Form()->SetComment(ToQString(state.comment));
    frame->MdiClient()->setActiveSubWindow(projectFrame);
    state.projectOpen = 1;
}

void CProjectDocument::OnClose() {
    if (MayDiscard()) {
        Close();
    }
}

void CProjectDocument::Close() {
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

void CProjectDocument::SetEditable(bool editable) {
    for (CMemoryView* view : {MemoryView(MemoryKind::Flash), MemoryView(MemoryKind::Eeprom)}) {
        if (view != nullptr) {
            view->SetReadOnly(!editable);
        }
    }
}

void CProjectDocument::SetDevice(const DeviceDescription* device) {
    limitDevice = device != nullptr ? device->name : std::string();
    flashLimit = device != nullptr ? FlashLength(*device) : 0;
    eepromLimit = device != nullptr ? EepromLength(*device) : 0;
    if (CMemoryView* view = MemoryView(MemoryKind::Flash); view != nullptr) {
        view->SetDeviceLimit(limitDevice, flashLimit);
    }
    if (CMemoryView* view = MemoryView(MemoryKind::Eeprom); view != nullptr) {
        view->SetDeviceLimit(limitDevice, eepromLimit);
    }
}

void CProjectDocument::TakeImage(MemoryKind memory, const TargetImages& from,
                                 std::uint32_t shownLength) {
    TargetImages& images = state.images;
    std::ranges::copy(from.Image(memory), images.Image(memory).begin());
    images.Defined(memory) = from.Defined(memory);
    images.ShownLength(memory) = shownLength;
    if (CMemoryView* view = MemoryView(memory); view != nullptr) {
        view->SetImage(images.Image(memory).data(), shownLength);
        view->Redraw();
    }
}

} // namespace zelk
