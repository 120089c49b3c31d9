// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/preferences_sheet.h"

#include "engine/cables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

namespace zelk {
namespace {

enum Page { PortPage = 0, AutoProgramPage = 1, SerialPage = 2 };

QLineEdit* NumberEdit(const QString& name, std::uint32_t value) {
    auto* edit = new QLineEdit(QString::number(value));
    edit->setObjectName(name);
    return edit;
}

} // namespace

CMyPropertySheet::CMyPropertySheet(QWidget* parent, const PreferenceValues& initial,
                                   std::vector<PortChoice> portChoices,
                                   std::function<void(const std::string&)> warning)
    : QDialog(parent), values(initial), ports(std::move(portChoices)), warn(std::move(warning)),
      pages(new QTabWidget), shown(3, false) {
    setWindowTitle(QStringLiteral("Preferences"));
    pages->setObjectName(QStringLiteral("Pages"));
    pages->setAccessibleName(QStringLiteral("Preference pages"));
    pages->addTab(BuildPortPage(), QStringLiteral("Port"));
    pages->addTab(BuildAutoProgramPage(), QStringLiteral("AutoProgram"));
    pages->addTab(BuildSerialPage(), QStringLiteral("Serial Numbering"));
    shown[PortPage] = true;
    connect(pages, &QTabWidget::currentChanged, this, [this](int next) {
        if (next == currentPage) {
            return;
        }
        if (!TakePage(currentPage)) {
            // The page stays until its fields are right.
            const QSignalBlocker quiet(pages);
            pages->setCurrentIndex(currentPage);
            return;
        }
        currentPage = next;
        shown[static_cast<std::size_t>(next)] = true;
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CMyPropertySheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CMyPropertySheet::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    layout->addWidget(buttons);
}

QWidget* CMyPropertySheet::BuildPortPage() {
    auto* page = new QWidget;
    portList = new QComboBox;
    portList->setObjectName(QStringLiteral("PortList"));
    for (const PortChoice& port : ports) {
        portList->addItem(QString::fromStdString(port.text));
    }
    portList->setCurrentIndex(FindPortChoice(ports, values));
    cableList = new QComboBox;
    cableList->setObjectName(QStringLiteral("CableList"));
    cableList->addItem(QStringLiteral("<AutoDetect>"));
    for (int type = CableKestan; type <= CableUsb; ++type) {
        const CableInfo* cable = FindCable(type);
        cableList->addItem(
            cable != nullptr
                ? QString::fromUtf8(cable->name.data(), static_cast<int>(cable->name.size()))
                : QString());
    }
    cableList->setCurrentIndex(values.cablePosition >= 0 &&
                                       values.cablePosition < cableList->count()
                                   ? values.cablePosition
                                   : -1);
    gpioLines = new QLineEdit(QString::fromStdString(values.gpioLines));
    gpioLines->setObjectName(QStringLiteral("GpioLines"));
    gpioLines->setToolTip(QStringLiteral("Line numbers (offsets) on the GPIO chip, as gpioinfo "
                                         "lists them: sck, mosi, miso, reset; optional enable or "
                                         "enable-low, power or power-low"));
    gpioNote = new QLabel(QStringLiteral("A GPIO header has no loop-back wires: zelk cannot "
                                         "recognise it and uses the lines as set here."));
    gpioNote->setWordWrap(true);
    connect(portList, &QComboBox::currentIndexChanged, this, [this] { ShowPortKind(); });
    sckHalfPeriod = NumberEdit(QStringLiteral("SckHalfPeriod"),
                               static_cast<std::uint32_t>(values.sckHalfPeriodUs));
    fixedWaits = new QCheckBox(QStringLiteral("Wait the full write times (do not poll the chip)"));
    fixedWaits->setObjectName(QStringLiteral("FixedWaits"));
    fixedWaits->setChecked(values.fixedWaits);
    verifyWrites = new QCheckBox(QStringLiteral("Verify after writing"));
    verifyWrites->setObjectName(QStringLiteral("VerifyWrites"));
    verifyWrites->setChecked(values.verifyWrites);
    singleRead = new QCheckBox(QStringLiteral("Read once (do not read twice and compare)"));
    singleRead->setObjectName(QStringLiteral("SingleRead"));
    singleRead->setChecked(values.singleRead);
    auto* form = new QFormLayout(page);
    form->addRow(QStringLiteral("Port base address"), portList);
    form->addRow(QStringLiteral("Interface Type"), cableList);
    form->addRow(QStringLiteral("GPIO lines"), gpioLines);
    form->addRow(gpioNote);
    form->addRow(QStringLiteral("SCK half period (us)"), sckHalfPeriod);
    form->addRow(fixedWaits);
    form->addRow(verifyWrites);
    form->addRow(singleRead);
    ShowPortKind();
    return page;
}

void CMyPropertySheet::ShowPortKind() {
    const int port = portList->currentIndex();
    const bool gpio =
        port >= 0 && ports[static_cast<std::size_t>(port)].portName.starts_with("gpio:");
    cableList->setEnabled(!gpio);
    gpioLines->setEnabled(gpio);
    gpioNote->setVisible(gpio);
}

QWidget* CMyPropertySheet::BuildAutoProgramPage() {
    auto* page = new QWidget;
    const auto group =
        [this](const QString& title,
               std::initializer_list<std::pair<const char*, bool AutoProgramSteps::*>> boxes,
               const QString& prefix) {
            auto* box = new QGroupBox(title);
            auto* column = new QVBoxLayout(box);
            for (const auto& [text, member] : boxes) {
                auto* check = new QCheckBox(QString::fromUtf8(text));
                check->setObjectName(prefix + QString::fromUtf8(text).remove(QLatin1Char(' ')));
                // Both groups have a "Program" and a "Verify": the name says whose.
                check->setAccessibleName(QString::fromUtf8(text) + QStringLiteral(" (") + title +
                                         QLatin1Char(')'));
                check->setChecked(values.autoProgram.*member);
                column->addWidget(check);
                steps.emplace_back(check, member);
            }
            column->addStretch();
            return box;
        };
    auto* column = new QVBoxLayout(page);
    auto* row = new QHBoxLayout;
    column->addLayout(row);
    resetCount = new QCheckBox(QStringLiteral("Reset the production count"));
    resetCount->setObjectName(QStringLiteral("ResetCount"));
    column->addWidget(resetCount);
    row->addWidget(group(QStringLiteral("Flash"),
                         {{"Reload File", &AutoProgramSteps::flashReload},
                          {"Erase Device", &AutoProgramSteps::flashErase},
                          {"Program", &AutoProgramSteps::flashProgram},
                          {"Verify", &AutoProgramSteps::flashVerify}},
                         QStringLiteral("Flash")));
    row->addWidget(group(QStringLiteral("EEProm"),
                         {{"Reload File", &AutoProgramSteps::eepromReload},
                          {"Keep EEProm", &AutoProgramSteps::eepromKeep},
                          {"Program", &AutoProgramSteps::eepromProgram},
                          {"Verify", &AutoProgramSteps::eepromVerify}},
                         QStringLiteral("Eeprom")));
    return page;
}

QWidget* CMyPropertySheet::BuildSerialPage() {
    auto* page = new QWidget;
    serialNumber = NumberEdit(QStringLiteral("SerialNumber"), values.serialNumber);
    numberLength = NumberEdit(QStringLiteral("NumberLength"), values.numberLength);
    eepromLocation = NumberEdit(QStringLiteral("EepromLocation"), values.eepromLocation);
    auto* form = new QFormLayout(page);
    form->addRow(QStringLiteral("Serial Number"), serialNumber);
    form->addRow(QStringLiteral("Number Length"), numberLength);
    form->addRow(QStringLiteral("EEPROM Location "), eepromLocation);
    return page;
}

bool CMyPropertySheet::TakeNumber(QLineEdit* edit, NumberField field, std::uint32_t& value) {
    if (const std::optional<std::string> refusal =
            CheckNumberField(edit->text().toStdString(), field, value)) {
        warn(*refusal);
        edit->setFocus();
        edit->selectAll();
        return false;
    }
    return true;
}

bool CMyPropertySheet::TakePage(int page) {
    switch (page) {
    case PortPage: {
        std::uint32_t sck = 0;
        if (!TakeNumber(sckHalfPeriod, SckHalfPeriodField, sck)) {
            return false;
        }
        values.sckHalfPeriodUs = static_cast<std::int32_t>(sck);
        const int port = portList->currentIndex();
        if (port >= 0) {
            values.portPosition = ports[static_cast<std::size_t>(port)].portPosition;
            values.portName = ports[static_cast<std::size_t>(port)].portName;
        } else {
            values.portPosition = -1;
            values.portName.clear();
        }
        values.cablePosition = cableList->currentIndex();
        if (gpioLines->isEnabled()) {
            GpioWiring wiring;
            std::string problem;
            if (!ApplyGpioLines(gpioLines->text().toStdString(), wiring, problem)) {
                warn("GPIO lines: " + problem);
                gpioLines->setFocus();
                return false;
            }
            values.gpioLines = GpioLinesText(wiring);
        }
        values.fixedWaits = fixedWaits->isChecked();
        values.verifyWrites = verifyWrites->isChecked();
        values.singleRead = singleRead->isChecked();
        return true;
    }
    case AutoProgramPage:
        for (const auto& [check, member] : steps) {
            values.autoProgram.*member = check->isChecked();
        }
        values.resetProductionCount = resetCount->isChecked();
        return true;
    case SerialPage: {
        // Field by field from the top; nothing is taken until all three are right.
        PreferenceValues taken = values;
        if (!TakeNumber(serialNumber, SerialNumberField, taken.serialNumber) ||
            !TakeNumber(numberLength, NumberLengthField, taken.numberLength) ||
            !TakeNumber(eepromLocation, EepromLocationField, taken.eepromLocation)) {
            return false;
        }
        values = taken;
        return true;
    }
    default:
        return true;
    }
}

void CMyPropertySheet::accept() {
    if (TakePage(currentPage)) {
        QDialog::accept();
    }
}

} // namespace zelk
