// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/preferences_sheet.h"
#include "gui_test_support.h"
#include "shell/command_ids.h"

#include <functional>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace zelk::test {
namespace {

class PreferencesTest : public AppTest {
protected:
    // Chooses Preferences and lets `user` work the sheet while it is shown.
    void WithSheet(const std::function<void(CMyPropertySheet&)>& user) {
        bool reached = false;
        QTimer::singleShot(0, [&] {
            auto* sheet = qobject_cast<CMyPropertySheet*>(QApplication::activeModalWidget());
            ASSERT_NE(sheet, nullptr);
            reached = true;
            user(*sheet);
            if (sheet->isVisible()) {
                sheet->reject();
            }
        });
        frame->Action(cmd::Preferences)->trigger();
        EXPECT_TRUE(reached);
    }

    static QLineEdit* Edit(CMyPropertySheet& sheet, const char* name) {
        return Child<QLineEdit>(sheet, QString::fromLatin1(name));
    }

    static void PressOk(CMyPropertySheet& sheet) {
        sheet.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    }
};

// Which numbers are refused is the preference values' matter; here a refused number keeps the
// sheet open on its page and stores nothing until it is put right.
TEST_F(PreferencesTest, ARefusedNumberKeepsTheSheetOnItsPage) {
    Start();
    WithSheet([&](CMyPropertySheet& sheet) {
        sheet.Pages()->setCurrentIndex(2);
        PressOk(sheet);
        EXPECT_TRUE(sheet.isVisible()) << "a length of 0 is refused";
        EXPECT_EQ(sheet.Pages()->currentIndex(), 2);
        sheet.Pages()->setCurrentIndex(0);
        EXPECT_EQ(sheet.Pages()->currentIndex(), 2) << "leaving the page is refused as well";
        Edit(sheet, "NumberLength")->setText(QStringLiteral("4"));
        Edit(sheet, "SerialNumber")->setText(QStringLiteral("12x"));
        PressOk(sheet);
        EXPECT_TRUE(sheet.isVisible());
        EXPECT_FALSE(std::filesystem::exists(store->Path()));
        Edit(sheet, "SerialNumber")->setText(QStringLiteral("77"));
        PressOk(sheet);
        EXPECT_FALSE(sheet.isVisible());
    });
    EXPECT_EQ(dialogs->messages,
              (std::vector<std::string>{"Please enter an integer between 1 and 8.",
                                        "Please enter an integer between 1 and 8.",
                                        "Please enter a positive integer."}));
    EXPECT_EQ(store->ReadString("Preferences", "SerialNumber", ""), "77");
    EXPECT_EQ(store->ReadInt("Preferences", "Length", 0), 4);
}

// A GPIO port has no cable to choose: its lines are given instead, read by the rule zelk-cli's
// --gpio uses, and a wiring that cannot be is refused before anything is stored.
TEST_F(PreferencesTest, AGpioPortTakesItsLinesInsteadOfACable) {
    Start();
    std::vector<std::string> warnings;
    CMyPropertySheet sheet(frame, PreferenceValues{},
                           PortChoices(folder / "no-parport", {"/dev/gpiochip0"}, {}),
                           [&warnings](const std::string& text) { warnings.push_back(text); });
    auto* ports = Child<QComboBox>(sheet, QStringLiteral("PortList"));
    auto* cables = Child<QComboBox>(sheet, QStringLiteral("CableList"));
    QLineEdit* lines = Edit(sheet, "GpioLines");
    EXPECT_TRUE(cables->isEnabled());
    EXPECT_FALSE(lines->isEnabled());
    ports->setCurrentIndex(3);
    EXPECT_FALSE(cables->isEnabled());
    EXPECT_TRUE(lines->isEnabled());
    lines->setText(QStringLiteral("reset=11"));
    sheet.accept();
    EXPECT_EQ(warnings, std::vector<std::string>{"GPIO lines: sck and reset are both line 11"});
    lines->setText(QStringLiteral("reset=24,enable-low=17"));
    sheet.accept();
    EXPECT_EQ(sheet.Values().portName, "gpio:/dev/gpiochip0");
    EXPECT_EQ(sheet.Values().gpioLines, "sck=11,mosi=10,miso=9,reset=24,enable-low=17");
}

TEST_F(PreferencesTest, CancelChangesNothingAndOkSwitchesToTheSimulatedTarget) {
    Start();
    Programmer* before = app->CurrentProgrammer();
    WithSheet([&](CMyPropertySheet& sheet) {
        Child<QCheckBox>(sheet, QStringLiteral("FlashEraseDevice"))->setChecked(false);
        sheet.Pages()->setCurrentIndex(1);
        sheet.reject();
    });
    EXPECT_EQ(app->CurrentProgrammer(), before);
    EXPECT_FALSE(std::filesystem::exists(store->Path()));

    WithSheet([&](CMyPropertySheet& sheet) {
        auto* ports = Child<QComboBox>(sheet, QStringLiteral("PortList"));
        const int simulated = ports->findText(QStringLiteral("Simulated target: ATmega328P"));
        ASSERT_GE(simulated, 3);
        ports->setCurrentIndex(simulated);
        Edit(sheet, "SckHalfPeriod")->setText(QStringLiteral("0"));
        PressOk(sheet);
        EXPECT_TRUE(sheet.isVisible()) << "a bit timing of 0 is refused";
        Edit(sheet, "SckHalfPeriod")->setText(QStringLiteral("2"));
        sheet.Pages()->setCurrentIndex(1);
        Child<QCheckBox>(sheet, QStringLiteral("EepromVerify"))->setChecked(false);
        PressOk(sheet);
    });
    EXPECT_NE(app->CurrentProgrammer(), before);
    EXPECT_EQ(app->CurrentProgrammer()->SckHalfPeriodUs(), 2);
    EXPECT_EQ(store->ReadInt("AutoProgram", "EepromVerify", 1), 0);
    EXPECT_EQ(store->ReadInt("Preferences", "PortBase", 0), 65535);
    Trigger(cmd::DetectDevice);
    EXPECT_EQ(frame->DeviceText(), "ATmega328P");

    // Opened again it shows what is stored, so that OK keeps it.
    WithSheet([&](CMyPropertySheet& sheet) {
        EXPECT_EQ(Child<QComboBox>(sheet, QStringLiteral("PortList"))->currentText(),
                  "Simulated target: ATmega328P");
        EXPECT_EQ(Edit(sheet, "SckHalfPeriod")->text(), "2");
        EXPECT_FALSE(Child<QCheckBox>(sheet, QStringLiteral("EepromVerify"))->isChecked());
    });
}

// zelk --simulate runs the session on a simulated chip: the sheet shows that chip, OK keeps
// the stored port, and a port picked there replaces both the connection and its note.
TEST_F(PreferencesTest, ASessionOnTheSimulatorKeepsTheStoredPort) {
    StartupOptions options;
    options.simulator = SimulatorSettings{"ATmega8", folder / "chip.bin", {}, true};
    Start(options);
    const QLabel* note = Child<QLabel>(*frame, QStringLiteral("ConnectionNote"));
    EXPECT_EQ(note->text(), "Simulated ATmega8");
    WithSheet([&](CMyPropertySheet& sheet) {
        EXPECT_EQ(Child<QComboBox>(sheet, QStringLiteral("PortList"))->currentText(),
                  "Simulated target: ATmega8");
        Child<QCheckBox>(sheet, QStringLiteral("FixedWaits"))->setChecked(true);
        PressOk(sheet);
    });
    EXPECT_TRUE(app->CurrentProgrammer()->fixedWaits);
    EXPECT_EQ(store->ReadInt("Preferences", "FixedWaits", 0), 1);
    EXPECT_EQ(store->ReadString("Preferences", "Port", "unset"), "");
    EXPECT_EQ(store->ReadInt("Preferences", "PortBase", -7), 0);
    EXPECT_FALSE(note->isHidden());

    WithSheet([&](CMyPropertySheet& sheet) {
        Child<QComboBox>(sheet, QStringLiteral("PortList"))->setCurrentIndex(0);
        PressOk(sheet);
    });
    EXPECT_TRUE(note->isHidden()) << "the session left the simulator";
}

} // namespace
} // namespace zelk::test
