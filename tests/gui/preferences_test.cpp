#include "app/preferences_sheet.h"
#include "gui_test_support.h"
#include "shell/command_ids.h"

#include <functional>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace zelk::test {
namespace {

class PreferencesTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        ::setenv("XDG_STATE_HOME", folder.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("XDG_STATE_HOME");
        AppTest::TearDown();
    }

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

    template <typename Widget> static Widget* Find(CMyPropertySheet& sheet, const char* name) {
        auto* widget = sheet.findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    static void PressOk(CMyPropertySheet& sheet) {
        sheet.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    }
};

TEST_F(PreferencesTest, AnEmptyStoreShowsLptOneAndAutodetectAndRefusesLengthZeroOnceSeen) {
    Start();
    WithSheet([&](CMyPropertySheet& sheet) {
        EXPECT_EQ(Find<QComboBox>(sheet, "PortList")->currentText(), "0x378 (LPT1:)");
        EXPECT_EQ(Find<QComboBox>(sheet, "CableList")->currentText(), "<AutoDetect>");
        EXPECT_EQ(Find<QComboBox>(sheet, "CableList")->count(), 6);
        EXPECT_TRUE(Find<QCheckBox>(sheet, "FlashVerify")->isChecked());
        EXPECT_TRUE(Find<QCheckBox>(sheet, "EepromKeepEEProm")->isChecked());
        sheet.Pages()->setCurrentIndex(2);
        PressOk(sheet);
        EXPECT_TRUE(sheet.isVisible()) << "OK is refused";
        EXPECT_EQ(sheet.Pages()->currentIndex(), 2);
        // Leaving the page is refused as well.
        sheet.Pages()->setCurrentIndex(0);
        EXPECT_EQ(sheet.Pages()->currentIndex(), 2);
        Find<QLineEdit>(sheet, "NumberLength")->setText(QStringLiteral("4"));
        Find<QLineEdit>(sheet, "SerialNumber")->setText(QStringLiteral("12x"));
        PressOk(sheet);
        EXPECT_TRUE(sheet.isVisible());
        Find<QLineEdit>(sheet, "SerialNumber")->setText(QStringLiteral("77"));
        PressOk(sheet);
        EXPECT_FALSE(sheet.isVisible());
    });
    EXPECT_EQ(dialogs->messages,
              (std::vector<std::string>{"Please enter an integer between 1 and 8.",
                                        "Please enter an integer between 1 and 8.",
                                        "Please enter a positive integer."}));
    EXPECT_EQ(ReadSettingString("Preferences", "SerialNumber", ""), "77");
    EXPECT_EQ(ReadSettingInt("Preferences", "Length", 0), 4);
}

TEST_F(PreferencesTest, CancelChangesNothingAndOkSwitchesToTheSimulatedTarget) {
    Start();
    Programmer* before = app->CurrentProgrammer();
    WithSheet([&](CMyPropertySheet& sheet) {
        Find<QCheckBox>(sheet, "FlashEraseDevice")->setChecked(false);
        sheet.Pages()->setCurrentIndex(1);
        sheet.reject();
    });
    EXPECT_EQ(app->CurrentProgrammer(), before);
    EXPECT_FALSE(std::filesystem::exists(SettingsFilePath()));

    WithSheet([&](CMyPropertySheet& sheet) {
        auto* ports = Find<QComboBox>(sheet, "PortList");
        const int simulated = ports->findText(QStringLiteral("Simulated target: ATmega328P"));
        ASSERT_GE(simulated, 3);
        ports->setCurrentIndex(simulated);
        Find<QLineEdit>(sheet, "SckHalfPeriod")->setText(QStringLiteral("0"));
        PressOk(sheet);
        EXPECT_TRUE(sheet.isVisible()) << "a bit timing of 0 is refused";
        Find<QLineEdit>(sheet, "SckHalfPeriod")->setText(QStringLiteral("2"));
        sheet.Pages()->setCurrentIndex(1);
        Find<QCheckBox>(sheet, "EepromVerify")->setChecked(false);
        PressOk(sheet);
    });
    EXPECT_NE(app->CurrentProgrammer(), before);
    EXPECT_EQ(app->CurrentProgrammer()->SckHalfPeriodUs(), 2);
    EXPECT_EQ(ReadSettingInt("AutoProgram", "EepromVerify", 1), 0);
    EXPECT_EQ(ReadSettingInt("Preferences", "PortBase", 0), 65535);
    frame->Action(cmd::DetectDevice)->trigger();
    ProcessEvents();
    EXPECT_EQ(frame->DeviceText(), "ATmega328P");
}

} // namespace
} // namespace zelk::test
