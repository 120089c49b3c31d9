// SPDX-License-Identifier: GPL-3.0-or-later
// The mini terminal on a serial port: five lists for the line settings, the received text
// below them, and every typed character sent to the port.
#pragma once

#include "platform/settings_store.h"
#include "terminal/serial_channel.h"
#include "terminal/serial_ports.h"

#include <functional>
#include <memory>
#include <QDialog>
#include <QMessageBox>
#include <vector>

class QComboBox;

namespace zelk {

class CTerminalOutput;

class CSerialTerminal : public QDialog {
    Q_OBJECT
public:
    // Asks the user what to do about a port that did not open; null runs the box modally.
    using FailureQuestion = std::function<QMessageBox::StandardButton(QMessageBox& box)>;

    // Loads the saved line settings from `settings` and opens the port with them; `ports` are
    // the ones offered.
    CSerialTerminal(QWidget* parent, SettingsStore& settings, const SerialPortList& ports,
                    FailureQuestion question = nullptr);
    ~CSerialTerminal() override;

    static constexpr int Speeds[] = {300,   600,    1200,   2400,   4800,   9600,   19200,  38400,
                                     57600, 115200, 230400, 460800, 500000, 921600, 1000000};

    CTerminalOutput* Output() const { return output; }
    QComboBox* PortList() const { return portList; }
    QComboBox* SpeedList() const { return speedList; }
    QComboBox* DataBitsList() const { return dataBitsList; }
    QComboBox* ParityList() const { return parityList; }
    QComboBox* StopBitsList() const { return stopBitsList; }
    bool PortOpen() const { return channel->IsOpen(); }

private:
    void FillLists();
    void LoadSettings();
    // Closes the port, saves the lists' settings and opens the port with them.
    void Reconfigure();
    void OnReceived(const std::vector<std::uint8_t>& bytes);
    void OnTerminalKey(int character);
    // Puts the port's state in the title; an empty note means the port is open and well.
    void ShowPortState(const QString& note);

    QComboBox* portList;
    QComboBox* speedList;
    QComboBox* dataBitsList;
    QComboBox* parityList;
    QComboBox* stopBitsList;
    CTerminalOutput* output;
    SettingsStore& settings;
    const SerialPortList& ports;
    FailureQuestion askOnFailure;
    std::unique_ptr<CSerialChannel> channel;
};

} // namespace zelk
