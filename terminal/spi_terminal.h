// SPDX-License-Identifier: GPL-3.0-or-later
// The mini terminal on the cable's SPI lines: typed characters go to the program running on
// the target, its answers are shown.
#pragma once

#include "terminal/spi_terminal_session.h"

#include <mutex>
#include <QDialog>
#include <string>
#include <vector>

namespace zelk {

class CTerminalOutput;

class CSpiTerminal : public QDialog {
    Q_OBJECT
public:
    CSpiTerminal(QWidget* parent, SpiLink& link);
    ~CSpiTerminal() override;

    // Takes the cable and starts the target. False, with the reason, when the cable is in use
    // or cannot be opened; the terminal must not be shown then.
    bool Start(std::string& reason);
    CTerminalOutput* Output() const { return output; }

private:
    // Called by the worker: bytes gather here and the window shows them in one go, so a
    // long answer does not cost one repaint per byte.
    void Gather(std::uint8_t byte);
    void ShowGathered();

    CTerminalOutput* output;
    std::mutex gatheredLock;
    std::vector<std::uint8_t> gathered;
    SpiTerminalSession session;
};

} // namespace zelk
