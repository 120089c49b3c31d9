// SPDX-License-Identifier: GPL-3.0-or-later
// "Lockbits & Fuses": one box per lock and fuse bit of the device, laid out from zelk.ini,
// with each byte's value in hex beside its boxes and kept in step with them. It reads the
// chip when it opens; a write is read back and a difference reported, and a fuse write the
// cable could not undo is asked about first. Its reads and writes are rows of the command
// table run on the worker, so the window never waits on the port; its buttons rest meanwhile.
// No button is the default: Enter in a hex field only applies the typed byte to the boxes.
#pragma once

#include "engine/fuse_guard.h"
#include "engine/lock_fuse.h"
#include "station/target_commands.h"
#include "station/user_dialogs.h"

#include <array>
#include <filesystem>
#include <functional>
#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace zelk {

class CLockFuseDialog : public QDialog {
    Q_OBJECT
public:
    // Starts a row of the command table; `done` follows on the GUI thread. False when it
    // could not start (the user was told).
    using Runner =
        std::function<bool(CommandId id, const CommandInput& input,
                           std::function<void(CommandResult, const CommandOutput&)> done)>;

    // Lays the dialog out for `deviceName` (the device a command found last) from `database`
    // and reads the chip through `run`.
    CLockFuseDialog(QWidget* parent, const std::string& deviceName,
                    const std::filesystem::path& database, UserDialogs& dialogs, Runner run);

    void OnReadLockbits();
    void OnWriteLockbits();
    void OnReadFuses();
    void OnWriteFuses();

    const LockFuseLayout& Layout() const { return layout; }
    // A read or write is on its way.
    bool Busy() const { return busy; }

private:
    struct Box {
        QCheckBox* check;
        LockFuseByte byte;
        int bit;
    };

    QWidget* BuildGroup(const QString& title, std::initializer_list<LockFuseByte> bytes,
                        const QString& writeText, const QString& readText, bool readShown);
    // Runs a row with the buttons at rest until it ends; `then` follows a command that was
    // done.
    void Run(CommandId id, const CommandInput& input,
             std::function<void(const CommandOutput&)> then);
    void SetBusy(bool on);
    std::uint8_t Ticks(LockFuseByte byte) const;
    void SetTicks(LockFuseByte byte, std::uint8_t ticks);
    void ShowHex(LockFuseByte byte);
    void TakeHex(LockFuseByte byte);
    FuseBytes FusesFromBoxes() const;
    void ShowFuses(const FuseBytes& fuses);

    UserDialogs& dialogs;
    Runner run;
    std::string deviceName;
    LockFuseLayout layout;
    FuseGuard guard;
    std::vector<Box> boxes;
    std::array<QLineEdit*, 4> hexEdits{};
    std::vector<QPushButton*> buttons;
    bool busy = false;
    // The fuses as last read from the chip; all unprogrammed until a read succeeded.
    FuseBytes chipFuses;
};

} // namespace zelk
