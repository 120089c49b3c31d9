#include "app/lock_fuse_dialog.h"
#include "engine/connection.h"
#include "gui_test_support.h"
#include "shell/command_ids.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace zelk::test {
namespace {

class LockFuseDialogTest : public AppTest {
protected:
    void Attach(const SimFaults& faults = {}) {
        ConnectionSettings settings;
        settings.port = PortKind::Simulator;
        settings.simulator.device = "ATmega328P";
        settings.simulator.faults = faults;
        settings.simulator.stateFile = folder / "chip.bin";
        std::string error;
        auto programmer = MakeProgrammer(settings, error);
        ASSERT_NE(programmer, nullptr) << error;
        ASSERT_TRUE(app->SetProgrammer(std::move(programmer)));
    }

    std::unique_ptr<CLockFuseDialog> Open() {
        return std::make_unique<CLockFuseDialog>(frame, *app->CurrentProgrammer(),
                                                 app->TargetInterface(), *dialogs);
    }

    template <typename Widget> static Widget* Find(QWidget& dialog, const QString& name) {
        auto* widget = dialog.findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }

    static QString Hex(QWidget& dialog, LockFuseByte byte) {
        return Find<QLineEdit>(dialog, QStringLiteral("Hex%1").arg(static_cast<int>(byte)))->text();
    }

    static void SetHex(QWidget& dialog, LockFuseByte byte, const QString& text) {
        auto* edit = Find<QLineEdit>(dialog, QStringLiteral("Hex%1").arg(static_cast<int>(byte)));
        edit->setText(text);
        emit edit->editingFinished();
    }

    static void Press(QWidget& dialog, const QString& text) {
        for (auto* button : dialog.findChildren<QPushButton*>()) {
            if (button->text() == text) {
                button->click();
                return;
            }
        }
        ADD_FAILURE() << "no button " << text.toStdString();
    }
};

// Opened before any detection, it identifies the chip itself, shows a box per described bit
// and the bytes it read in hex, and keeps boxes and hex in step both ways.
TEST_F(LockFuseDialogTest, BoxesAndHexFollowEachOtherAndTheChip) {
    Start();
    Attach();
    auto dialog = Open();
    EXPECT_EQ(dialog->windowTitle(), "Lockbits & Fuses");
    EXPECT_EQ(dialog->findChildren<QCheckBox*>().size(), 6 + 8 + 7 + 3);
    EXPECT_EQ(dialog->findChild<QCheckBox*>(QStringLiteral("Box3032")), nullptr)
        << "SPIEN is fixed by the pattern";
    const QString low = Hex(*dialog, LockFuseByte::Fuse);
    EXPECT_TRUE(low.startsWith(QStringLiteral("0x"))) << low.toStdString();

    SetHex(*dialog, LockFuseByte::Fuse, QStringLiteral("e2"));
    EXPECT_EQ(Hex(*dialog, LockFuseByte::Fuse), "0xE2");
    EXPECT_FALSE(Find<QCheckBox>(*dialog, QStringLiteral("Box2128"))->isChecked()) << "CKDIV8";
    EXPECT_TRUE(Find<QCheckBox>(*dialog, QStringLiteral("Box2001"))->isChecked()) << "CKSEL0";
    Find<QCheckBox>(*dialog, QStringLiteral("Box2128"))->setChecked(true);
    EXPECT_EQ(Hex(*dialog, LockFuseByte::Fuse), "0x62");
    // SPIEN (bit 5 of the high byte) stays programmed whatever is typed.
    SetHex(*dialog, LockFuseByte::FuseHigh, QStringLiteral("0xFF"));
    EXPECT_EQ(Hex(*dialog, LockFuseByte::FuseHigh), "0xDF");

    // A harmless write reaches the chip and reads back without a word.
    SetHex(*dialog, LockFuseByte::Fuse, QStringLiteral("0x52"));
    SetHex(*dialog, LockFuseByte::FuseHigh, QStringLiteral("0xD1"));
    Press(*dialog, QStringLiteral("Write Fuses"));
    EXPECT_TRUE(dialogs->messages.empty()) << dialogs->messages.front();
    EXPECT_TRUE(dialogs->questions.empty());
    auto again = Open();
    EXPECT_EQ(Hex(*again, LockFuseByte::Fuse), "0x52");
    EXPECT_EQ(Hex(*again, LockFuseByte::FuseHigh), "0xD1");
}

TEST_F(LockFuseDialogTest, AWriteThatEndsSerialProgrammingIsAskedAboutFirst) {
    Start();
    Attach();
    auto dialog = Open();
    const QString high = Hex(*dialog, LockFuseByte::FuseHigh);
    Find<QCheckBox>(*dialog, QStringLiteral("Box3128"))->setChecked(true); // RSTDISBL
    Press(*dialog, QStringLiteral("Write Fuses"));
    ASSERT_EQ(dialogs->questions.size(), 1u);
    EXPECT_NE(dialogs->questions[0].find("RSTDISBL"), std::string::npos);
    EXPECT_NE(dialogs->questions[0].find("the chip can no longer be programmed through this cable"),
              std::string::npos);
    EXPECT_EQ(Hex(*Open(), LockFuseByte::FuseHigh), high) << "No writes nothing";

    // A changed clock source is asked about as well; Yes writes.
    dialogs->confirmations.push_back(true);
    SetHex(*dialog, LockFuseByte::FuseHigh, high);
    SetHex(*dialog, LockFuseByte::Fuse, QStringLiteral("0x6F"));
    Press(*dialog, QStringLiteral("Write Fuses"));
    ASSERT_EQ(dialogs->questions.size(), 2u);
    EXPECT_NE(dialogs->questions[1].find("CKSEL"), std::string::npos);
    EXPECT_EQ(Hex(*Open(), LockFuseByte::Fuse), "0x6F");
}

TEST_F(LockFuseDialogTest, AWriteTheChipDidNotTakeIsReported) {
    Start();
    SimFaults stuck;
    stuck.stuckBusy = true;
    Attach(stuck);
    auto dialog = Open();
    Find<QCheckBox>(*dialog, QStringLiteral("Box1001"))->setChecked(true); // LB1
    Press(*dialog, QStringLiteral("Write Lockbits"));
    SetHex(*dialog, LockFuseByte::FuseExt, QStringLiteral("0xFC"));
    Press(*dialog, QStringLiteral("Write Fuses"));
    ASSERT_EQ(dialogs->messages.size(), 2u);
    EXPECT_EQ(dialogs->messages[0], "Writing the lock byte failed: the chip stayed busy.");
    EXPECT_EQ(dialogs->messages[1], "Writing the fuse low byte failed: the chip stayed busy.");
    EXPECT_FALSE(Find<QCheckBox>(*dialog, QStringLiteral("Box1001"))->isChecked())
        << "the boxes show the chip";
}

TEST_F(LockFuseDialogTest, WithoutATargetTheDialogStaysEmptyAndSaysWhy) {
    Start();
    SimFaults nothing;
    nothing.noneConnected = true;
    Attach(nothing);
    auto dialog = Open();
    EXPECT_TRUE(dialog->findChildren<QCheckBox*>().empty());
    EXPECT_FALSE(dialogs->messages.empty()) << "the failed identification was told";
}

} // namespace
} // namespace zelk::test
