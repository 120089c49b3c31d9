// SPDX-License-Identifier: GPL-3.0-or-later
// The Preferences: "Port", "AutoProgram" and "Serial Numbering" pages over the values of
// preference_values.h. A page is read back and checked when the user leaves it or presses OK;
// a page never shown keeps its values as they were loaded.
#pragma once

#include "station/preference_values.h"

#include <functional>
#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;

namespace zelk {

class CMyPropertySheet : public QDialog {
    Q_OBJECT
public:
    // `warn` shows a refusal to the user (a message box with the exclamation icon).
    CMyPropertySheet(QWidget* parent, const PreferenceValues& values, std::vector<PortChoice> ports,
                     std::function<void(const std::string&)> warn);

    // After OK: the values of every page.
    const PreferenceValues& Values() const { return values; }
    QTabWidget* Pages() const { return pages; }

    void accept() override;

private:
    QWidget* BuildPortPage();
    QWidget* BuildAutoProgramPage();
    QWidget* BuildSerialPage();
    // Reads the page's controls back; false, after warning and focusing the field, when one
    // is refused.
    bool TakePage(int page);
    bool TakeNumber(QLineEdit* edit, NumberField field, std::uint32_t& value);
    // The GPIO lines and their note are for a GPIO port; the cable list for the others.
    void ShowPortKind();

    PreferenceValues values;
    std::vector<PortChoice> ports;
    std::function<void(const std::string&)> warn;
    QTabWidget* pages;
    int currentPage = 0;
    std::vector<bool> shown;
    QComboBox* portList = nullptr;
    QComboBox* cableList = nullptr;
    QLineEdit* gpioLines = nullptr;
    QLabel* gpioNote = nullptr;
    QLineEdit* sckHalfPeriod = nullptr;
    QCheckBox* fixedWaits = nullptr;
    QCheckBox* verifyWrites = nullptr;
    QCheckBox* singleRead = nullptr;
    std::vector<std::pair<QCheckBox*, bool AutoProgramSteps::*>> steps;
    QCheckBox* resetCount = nullptr;
    QLineEdit* serialNumber = nullptr;
    QLineEdit* numberLength = nullptr;
    QLineEdit* eepromLocation = nullptr;
};

} // namespace zelk
