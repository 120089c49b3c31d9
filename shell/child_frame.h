// The three child windows of an open project: the project window holding the project form,
// and one memory window each for the flash and the EEPROM image.
#pragma once

#include "memory/target_images.h"

#include <QMdiSubWindow>
#include <string>

namespace zelk {

class CMemoryView;
class CProjectForm;

// The project window. It cannot be resized; its close box closes the whole project.
class CChildFrame : public QMdiSubWindow {
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

private:
    CProjectForm* form;
    bool destroying = false;
};

// A memory window. Its close box only hides it; Close project destroys it.
class CMyChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    CMyChildFrame(TargetImages& images, MemoryKind kind, std::string& file, const QString& name,
                  QWidget* parent = nullptr);

    CMemoryView* View() const { return view; }
    MemoryKind Kind() const { return kind; }
    void Destroy();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CMemoryView* view;
    MemoryKind kind;
    QString name;
    bool destroying = false;
};

} // namespace zelk
