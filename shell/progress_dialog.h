// SPDX-License-Identifier: GPL-3.0-or-later
// The modeless "Progress" window of the target commands.
#pragma once

#include <atomic>
#include <QDialog>

class QLabel;
class QProgressBar;

namespace zelk {

class CProgressDialog : public QDialog {
    Q_OBJECT
public:
    // Shown at once, centred over `centreOver` (the screen when null), naming the command.
    CProgressDialog(QWidget* centreOver, const QString& command);

    void SetPosition(int percent);
    // What the bar now measures ("Verifying flash").
    void SetStep(const QString& step);
    QString Step() const;
    int Position() const;
    // While a flag is attached, Cancel stores 1 into it; the window stays open.
    void AttachCancel(std::atomic<int>* flag) { cancelFlag.store(flag); }
    void PressCancel();

private:
    QProgressBar* bar;
    QLabel* step;
    std::atomic<std::atomic<int>*> cancelFlag{nullptr};
};

} // namespace zelk
