// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal/serial_terminal.h"

#include "platform/settings_store.h"
#include "terminal/serial_ports.h"
#include "terminal/terminal_output.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

namespace zelk {
namespace {

constexpr const char* Section = "Settings";
constexpr const char* Title = "Terminal";

QComboBox* NewList(QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setEditable(false);
    list->setMaxVisibleItems(12);
    return list;
}

void SelectText(QComboBox* list, const std::string& text) {
    // Letter case does not matter: "com2" from an older store still means COM2.
    list->setCurrentIndex(list->findText(QString::fromStdString(text), Qt::MatchFixedString));
}

void SelectIndex(QComboBox* list, int index) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

} // namespace

CSerialTerminal::CSerialTerminal(QWidget* parent, SettingsStore& store,
                                 const SerialPortList& offered, FailureQuestion question)
    : QDialog(parent), portList(NewList(this)), speedList(NewList(this)),
      dataBitsList(NewList(this)), parityList(NewList(this)), stopBitsList(NewList(this)),
      output(new CTerminalOutput(this)), settings(store), ports(offered),
      askOnFailure(question ? std::move(question) : [](QMessageBox& box) {
          return static_cast<QMessageBox::StandardButton>(box.exec());
      }) {
    setWindowTitle(QString::fromLatin1(Title));
    setSizeGripEnabled(true);

    auto* parameters = new QGroupBox(tr("Parameters"), this);
    parameters->setAlignment(Qt::AlignHCenter);
    auto* grid = new QGridLayout(parameters);
    const std::pair<const char*, QComboBox*> columns[] = {{"Port", portList},
                                                          {"Speed", speedList},
                                                          {"Databits", dataBitsList},
                                                          {"Parity", parityList},
                                                          {"Stopbits", stopBitsList}};
    int column = 0;
    for (const auto& [label, list] : columns) {
        grid->addWidget(new QLabel(tr(label), parameters), 0, column);
        grid->addWidget(list, 1, column);
        ++column;
    }

    auto* top = new QHBoxLayout;
    top->addWidget(parameters);
    top->addStretch(1);
    auto* close = new QPushButton(tr("Close"));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    top->addWidget(close, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(output, 1);
    resize(520, 360);

    channel = std::make_unique<CSerialChannel>(SerialEvents{
        .received =
            [this](std::vector<std::uint8_t> bytes) {
                QMetaObject::invokeMethod(
                    this, [this, bytes = std::move(bytes)] { OnReceived(bytes); },
                    Qt::QueuedConnection);
            },
        .lost =
            [this](const std::string& reason) {
                const QString note = QString::fromStdString(reason);
                QMetaObject::invokeMethod(
                    this, [this, note] { ShowPortState(note); }, Qt::QueuedConnection);
            },
    });
    connect(output, &CTerminalOutput::TerminalKey, this, &CSerialTerminal::OnTerminalKey);

    FillLists();
    LoadSettings();
    for (QComboBox* list : {portList, speedList, dataBitsList, parityList, stopBitsList}) {
        // Also when the item picked is the one already selected: that reopens the port.
        connect(list, &QComboBox::activated, this, [this] { Reconfigure(); });
    }
    Reconfigure();
    output->setFocus();
}

CSerialTerminal::~CSerialTerminal() {
    // The reader posts to this window: it must have ended before the window goes.
    channel->Close();
}

void CSerialTerminal::FillLists() {
    for (const SerialPortEntry& port : ports.Entries()) {
        portList->addItem(QString::fromStdString(port.name));
    }
    // USB names from /dev/serial/by-id are long; the open list shows them whole.
    portList->view()->setMinimumWidth(portList->view()->sizeHintForColumn(0) + 24);
    portList->setMinimumContentsLength(14);
    portList->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    for (const int speed : Speeds) {
        speedList->addItem(QString::number(speed));
    }
    for (const char* parity : {"none", "odd", "even", "mark", "space"}) {
        parityList->addItem(QString::fromLatin1(parity));
    }
    for (int bits = 5; bits <= 8; ++bits) {
        dataBitsList->addItem(QString::number(bits));
    }
    for (const char* stopBits : {"1", "1.5", "2"}) {
        stopBitsList->addItem(QString::fromLatin1(stopBits));
    }
}

void CSerialTerminal::LoadSettings() {
    SelectText(portList, settings.ReadString(Section, "Comport", "COM2"));
    SelectText(speedList, settings.ReadString(Section, "Speed", "9600"));
    SelectIndex(dataBitsList, settings.ReadInt(Section, "Bits", 8) - 5);
    SelectIndex(parityList, settings.ReadInt(Section, "Parity", 0));
    SelectIndex(stopBitsList, settings.ReadInt(Section, "Stopbits", 0));
}

void CSerialTerminal::Reconfigure() {
    for (;;) {
        channel->Close();
        const std::string port = portList->currentText().toStdString();
        const std::string speed = speedList->currentText().toStdString();
        SerialLineSettings line;
        line.speed = speedList->currentText().toInt();
        line.parity = parityList->currentIndex();
        line.dataBits = dataBitsList->currentIndex() + 5;
        line.stopBits = stopBitsList->currentIndex();
        settings.ReplaceSection(Section, {{"Comport", port},
                                          {"Speed", speed},
                                          {"Bits", std::to_string(line.dataBits)},
                                          {"Parity", std::to_string(line.parity)},
                                          {"Stopbits", std::to_string(line.stopBits)}});
        if (channel->Open(port, line, ports.Entries())) {
            ShowPortState({});
            return;
        }
        ShowPortState(tr("port closed"));
        QMessageBox box(QMessageBox::Warning, QStringLiteral("zelk"),
                        QStringLiteral("Can't open port with this setting"),
                        QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, this);
        box.setInformativeText(QString::fromStdString(channel->Error()));
        switch (askOnFailure(box)) {
        case QMessageBox::Retry:
            continue;
        case QMessageBox::Abort:
            QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
            return;
        default:
            return;
        }
    }
}

void CSerialTerminal::OnReceived(const std::vector<std::uint8_t>& bytes) {
    output->AppendBytes(bytes);
}

void CSerialTerminal::OnTerminalKey(int character) {
    const std::uint8_t byte = static_cast<std::uint8_t>(character & 0xFF);
    if (!channel->Write({&byte, 1})) {
        ShowPortState(tr("port closed, typed characters are not sent"));
    }
}

void CSerialTerminal::ShowPortState(const QString& note) {
    const QString title = QString::fromLatin1(Title);
    setWindowTitle(note.isEmpty() ? title
                                  : title + QStringLiteral(" - ") + portList->currentText() +
                                        QStringLiteral(": ") + note);
}

} // namespace zelk
