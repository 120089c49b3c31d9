// "Lockbits & Fuses": one box per lock and fuse bit of the device, laid out from zelk.ini,
// with each byte's value in hex beside its boxes and kept in step with them. It reads the
// chip when it opens; a write is read back and a difference reported, and a fuse write the
// cable could not undo is asked about first.
#pragma once

#include "app/user_dialogs.h"
#include "engine/fuse_guard.h"
#include "engine/lock_fuse.h"
#include "engine/programmer.h"
#include "engine/target_ui.h"

#include <array>
#include <filesystem>
#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;

namespace zelk {

class CLockFuseDialog : public QDialog {
    Q_OBJECT
public:
    // Lays the dialog out for `deviceName` (the device a command found last) and reads the
    // chip. With no name yet, the target is identified first.
    CLockFuseDialog(QWidget* parent, Programmer& programmer, TargetUi& ui, UserDialogs& dialogs);

    void OnReadLockbits();
    void OnWriteLockbits();
    void OnReadFuses();
    void OnWriteFuses();

    const LockFuseLayout& Layout() const { return layout; }

private:
    struct Box {
        QCheckBox* check;
        LockFuseByte byte;
        int bit;
    };

    QWidget* BuildGroup(const QString& title, std::initializer_list<LockFuseByte> bytes,
                        const QString& writeText, const QString& readText, bool readShown);
    std::uint8_t Ticks(LockFuseByte byte) const;
    void SetTicks(LockFuseByte byte, std::uint8_t ticks);
    void ShowHex(LockFuseByte byte);
    void TakeHex(LockFuseByte byte);
    FuseBytes FusesFromBoxes() const;
    void ShowFuses(const FuseBytes& fuses);

    Programmer& programmer;
    TargetUi& ui;
    UserDialogs& dialogs;
    std::string deviceName;
    LockFuseLayout layout;
    FuseGuard guard;
    std::vector<Box> boxes;
    std::array<QLineEdit*, 4> hexEdits{};
    // The fuses as last read from the chip; all unprogrammed until a read succeeded.
    FuseBytes chipFuses;
};

} // namespace zelk
