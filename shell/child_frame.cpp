#include "shell/child_frame.h"

#include "memory/memory_view.h"
#include "shell/project_form.h"

#include <QCloseEvent>

namespace zelk {

CChildFrame::CChildFrame(QWidget* parent) : QMdiSubWindow(parent), form(new CProjectForm) {
    setAttribute(Qt::WA_DeleteOnClose);
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

CMyChildFrame::CMyChildFrame(TargetImages& images, MemoryKind memory, std::string& file,
                             const QString& frameName, QWidget* parent)
    : QMdiSubWindow(parent), view(new CMemoryView(images, memory, file)), kind(memory),
      name(frameName) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWidget(view);
    setWindowTitle(name);
    resize(560, 300);
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
}

} // namespace zelk
