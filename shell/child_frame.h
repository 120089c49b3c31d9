// SPDX-License-Identifier: GPL-3.0-or-later
// The three child windows of an open project: the project window holding the project form,
// and one memory window each for the flash and the EEPROM image.
#pragma once

#include "memory/target_images.h"

#include <QMdiSubWindow>
#include <string>

namespace zelk {

class CMemoryView;
class CProjectForm;

// A child window that remembers its place and size as a normal window, so that a minimised
// or maximised window is saved as the window the user will get back.
class CNormalChild : public QMdiSubWindow {
    Q_OBJECT
public:
    using QMdiSubWindow::QMdiSubWindow;
    QRect NormalGeometry() const;

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Remember();
    QRect normal;
};

// The project window. It cannot be resized or maximised; its close box closes the whole
// project.
class CChildFrame : public CNormalChild {
    Q_OBJECT
public:
    explicit CChildFrame(QWidget* parent = nullptr);

    CProjectForm* Form() const { return form; }
    // Shrinks the window to what the form needs and fixes it there, so its border does not
    // resize it. The frame's decoration is known once it sits in the MDI area.
    void FitToForm();
    // Destroys the window (Close project).
    void Destroy();

signals:
    // The user closed the window: the application closes the project.
    void CloseProjectRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    CProjectForm* form;
    bool destroying = false;
};

// A memory window. Its close box only hides it, and the next visible window becomes the
// active one; Close project destroys it. Its title carries " *" while its image holds edits.
class CMyChildFrame : public CNormalChild {
    Q_OBJECT
public:
    CMyChildFrame(TargetImages& images, MemoryKind kind, std::string& file, const QString& name,
                  QWidget* parent = nullptr);

    CMemoryView* View() const { return view; }
    MemoryKind Kind() const { return kind; }
    // The title without the mark of an edited image.
    void SetBaseTitle(const QString& title);
    void Destroy();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void UpdateTitle();

    CMemoryView* view;
    MemoryKind kind;
    QString name;
    QString baseTitle;
    bool destroying = false;
};

} // namespace zelk
