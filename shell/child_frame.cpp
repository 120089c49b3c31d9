// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/child_frame.h"

#include "memory/memory_view.h"
#include "shell/project_form.h"

#include <QCloseEvent>
#include <QMdiArea>

namespace zelk {

QRect CNormalChild::NormalGeometry() const {
    return normal.isValid() ? normal : geometry();
}

void CNormalChild::Remember() {
    if ((windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) == 0) {
        normal = geometry();
    }
}

void CNormalChild::moveEvent(QMoveEvent* event) {
    QMdiSubWindow::moveEvent(event);
    Remember();
}

void CNormalChild::resizeEvent(QResizeEvent* event) {
    QMdiSubWindow::resizeEvent(event);
    Remember();
}

CChildFrame::CChildFrame(QWidget* parent) : CNormalChild(parent), form(new CProjectForm) {
    setAttribute(Qt::WA_DeleteOnClose);
    // A window of fixed size has nothing to gain from maximising, and a maximised MDI child
    // would hand its buttons to the menu bar and lose its frame.
    setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWidget(form);
}

void CChildFrame::FitToForm() {
    adjustSize();
    setFixedSize(size());
}

void CChildFrame::Destroy() {
    destroying = true;
    close();
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    if (destroying) {
        QMdiSubWindow::closeEvent(event);
        return;
    }
    // Without its project window an open project could not be saved or closed: the close box
    // closes the project instead, once this event has been handled.
    event->ignore();
    QMetaObject::invokeMethod(this, &CChildFrame::CloseProjectRequested, Qt::QueuedConnection);
}

void CChildFrame::changeEvent(QEvent* event) {
    QMdiSubWindow::changeEvent(event);
    // A double click on the title or a window manager's key can still ask for it.
    if (event->type() == QEvent::WindowStateChange && isMaximized()) {
        QMetaObject::invokeMethod(
            this, [this] { setWindowState(windowState() & ~Qt::WindowMaximized); },
            Qt::QueuedConnection);
    }
}

CMyChildFrame::CMyChildFrame(TargetImages& images, MemoryKind memory, std::string& file,
                             const QString& frameName, QWidget* parent)
    : CNormalChild(parent), view(new CMemoryView(images, memory, file)), kind(memory),
      name(frameName), baseTitle(frameName) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWidget(view);
    UpdateTitle();
    connect(view, &CMemoryView::ModifiedChanged, this, &CMyChildFrame::UpdateTitle);
}

void CMyChildFrame::SetBaseTitle(const QString& title) {
    baseTitle = title;
    UpdateTitle();
}

void CMyChildFrame::UpdateTitle() {
    setWindowTitle(view->IsModified() ? baseTitle + QStringLiteral(" *") : baseTitle);
}

void CMyChildFrame::Destroy() {
    destroying = true;
    close();
}

void CMyChildFrame::closeEvent(QCloseEvent* event) {
    if (destroying) {
        QMdiSubWindow::closeEvent(event);
        return;
    }
    event->ignore();
    hide();
    // A hidden window that stayed active would take Load File into a window nobody sees.
    QMdiArea* area = mdiArea();
    if (area == nullptr || area->activeSubWindow() != this) {
        return;
    }
    QMdiSubWindow* next = nullptr;
    const QList<QMdiSubWindow*> history = area->subWindowList(QMdiArea::ActivationHistoryOrder);
    for (auto window = history.crbegin(); window != history.crend(); ++window) {
        if (*window != this && (*window)->isVisible()) {
            next = *window;
            break;
        }
    }
    area->setActiveSubWindow(next);
}

} // namespace zelk
