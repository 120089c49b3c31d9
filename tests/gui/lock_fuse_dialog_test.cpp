// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/lock_fuse_dialog.h"
#include "gui_test_support.h"
#include "shell/command_ids.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace zelk::test {
namespace {

class LockFuseDialogTest : public AppTest {
protected:
    // The dialog as Program > LockBits & Fuses opens it: on the device identified, its reads
    // run on the worker.
    std::unique_ptr<CLockFuseDialog> Open() {
        Trigger(cmd::DetectDevice);
        const Programmer& programmer = *app->CurrentProgrammer();
        auto dialog = std::make_unique<CLockFuseDialog>(
            frame, programmer.device.name, programmer.DeviceDatabase(), *dialogs,
            [this](CommandId id, const CommandInput& input, CTargetController::Done done) {
                return app->Target().Start(id, input, std::move(done));
            });
        Settle(*dialog);
        return dialog;
    }

    // Lets the dialog's reads and writes end.
    void Settle(const CLockFuseDialog& dialog) {
        for (int round = 0; round < 2000 && (dialog.Busy() || app->TargetCommandRunning());
             ++round) {
            QTest::qWait(2);
        }
        ProcessEvents();
    }

    static QCheckBox* Box(QWidget& dialog, int id) {
        return Child<QCheckBox>(dialog, QStringLiteral("Box%1").arg(id));
    }

    static QLineEdit* HexEdit(QWidget& dialog, LockFuseByte byte) {
        return Child<QLineEdit>(dialog, QStringLiteral("Hex%1").arg(static_cast<int>(byte)));
    }

    static void SetHex(QWidget& dialog, LockFuseByte byte, const QString& text) {
        HexEdit(dialog, byte)->setText(text);
        emit HexEdit(dialog, byte)->editingFinished();
    }

    void Press(CLockFuseDialog& dialog, const QString& text) {
        for (auto* button : dialog.findChildren<QPushButton*>()) {
            if (button->text() == text) {
                button->click();
                Settle(dialog);
                return;
            }
        }
        ADD_FAILURE() << "no button " << text.toStdString();
    }
};

// Opened before any detection, it identifies the chip itself, shows a box per described bit
// and keeps boxes and hex in step both ways.
TEST_F(LockFuseDialogTest, BoxesAndHexFollowEachOtherAndTheChip) {
    Start();
    Attach("ATmega328P");
    auto dialog = Open();
    EXPECT_EQ(dialog->findChildren<QCheckBox*>().size(), 6 + 8 + 7 + 3);
    EXPECT_EQ(dialog->findChild<QCheckBox*>(QStringLiteral("Box3032")), nullptr)
        << "SPIEN is fixed by the pattern";

    SetHex(*dialog, LockFuseByte::Fuse, QStringLiteral("e2"));
    EXPECT_EQ(HexEdit(*dialog, LockFuseByte::Fuse)->text(), "0xE2");
    EXPECT_FALSE(Box(*dialog, 2128)->isChecked()) << "CKDIV8";
    EXPECT_TRUE(Box(*dialog, 2001)->isChecked()) << "CKSEL0";
    Box(*dialog, 2128)->setChecked(true);
    EXPECT_EQ(HexEdit(*dialog, LockFuseByte::Fuse)->text(), "0x62");
    // SPIEN (bit 5 of the high byte) stays programmed whatever is typed.
    SetHex(*dialog, LockFuseByte::FuseHigh, QStringLiteral("0xFF"));
    EXPECT_EQ(HexEdit(*dialog, LockFuseByte::FuseHigh)->text(), "0xDF");

    // A harmless write reaches the chip and reads back without a word.
    SetHex(*dialog, LockFuseByte::Fuse, QStringLiteral("0x52"));
    SetHex(*dialog, LockFuseByte::FuseHigh, QStringLiteral("0xD1"));
    Press(*dialog, QStringLiteral("Write Fuses"));
    EXPECT_TRUE(dialogs->messages.empty()) << dialogs->messages.front();
    EXPECT_TRUE(dialogs->questions.empty());
    auto again = Open();
    EXPECT_EQ(HexEdit(*again, LockFuseByte::Fuse)->text(), "0x52");
    EXPECT_EQ(HexEdit(*again, LockFuseByte::FuseHigh)->text(), "0xD1");
}

// The wording of the questions is the fuse guard's; here: No writes nothing, Yes writes.
TEST_F(LockFuseDialogTest, AWriteThatEndsSerialProgrammingIsAskedAboutFirst) {
    Start();
    Attach("ATmega328P");
    auto dialog = Open();
    const QString high = HexEdit(*dialog, LockFuseByte::FuseHigh)->text();
    Box(*dialog, 3128)->setChecked(true); // RSTDISBL
    Press(*dialog, QStringLiteral("Write Fuses"));
    ASSERT_EQ(dialogs->questions.size(), 1u);
    EXPECT_NE(dialogs->questions[0].find("RSTDISBL"), std::string::npos);
    EXPECT_EQ(HexEdit(*Open(), LockFuseByte::FuseHigh)->text(), high) << "No writes nothing";

    dialogs->confirmations.push_back(true);
    SetHex(*dialog, LockFuseByte::FuseHigh, high);
    SetHex(*dialog, LockFuseByte::Fuse, QStringLiteral("0x6F"));
    Press(*dialog, QStringLiteral("Write Fuses"));
    ASSERT_EQ(dialogs->questions.size(), 2u);
    EXPECT_NE(dialogs->questions[1].find("CKSEL"), std::string::npos);
    EXPECT_EQ(HexEdit(*Open(), LockFuseByte::Fuse)->text(), "0x6F");
}

TEST_F(LockFuseDialogTest, AWriteTheChipDidNotTakeIsReported) {
    Start();
    SimFaults stuck;
    stuck.stuckBusy = true;
    Attach("ATmega328P", stuck);
    auto dialog = Open();
    Box(*dialog, 1001)->setChecked(true); // LB1
    Press(*dialog, QStringLiteral("Write Lockbits"));
    SetHex(*dialog, LockFuseByte::FuseExt, QStringLiteral("0xFC"));
    Press(*dialog, QStringLiteral("Write Fuses"));
    EXPECT_EQ(dialogs->messages, (std::vector<std::string>{
                                     "Writing the lock byte failed: the chip stayed busy.",
                                     "Writing the fuse low byte failed: the chip stayed busy."}));
    EXPECT_FALSE(Box(*dialog, 1001)->isChecked()) << "the boxes show the chip";
}

TEST_F(LockFuseDialogTest, WithoutATargetTheDialogStaysEmptyAndSaysWhy) {
    Start();
    SimFaults nothing;
    nothing.noneConnected = true;
    Attach("ATmega328P", nothing);
    auto dialog = Open();
    EXPECT_TRUE(dialog->findChildren<QCheckBox*>().empty());
    EXPECT_FALSE(dialogs->messages.empty()) << "the failed identification was told";
}

} // namespace
} // namespace zelk::test
