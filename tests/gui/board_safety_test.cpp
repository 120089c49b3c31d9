// SPDX-License-Identifier: GPL-3.0-or-later
// The GUI as careful with a board as zelk-cli, tried through the real window as a user would:
// a write onto a chip that was not erased fails at its verify, a short EEPROM file leaves the
// chip's calibration data alone, a file larger than the chip is refused, Enter in the fuse
// dialog writes nothing, and a stored port that cannot be used still opens the window.
#include "../core/recording_target_ui.h"
#include "../core/scratch_folder.h"
#include "app/lock_fuse_dialog.h"
#include "engine/memory_commands.h"
#include "gui_test_support.h"
#include "memory/memory_view.h"
#include "shell/command_ids.h"
#include "sim/simulated_port.h"
#include "station/target_commands.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>

namespace zelk::test {
namespace {

// Answers the memory views' questions: the file to load, and keeps their messages.
struct Prompts : CMemoryView::Prompts {
    QString openPath;
    std::vector<std::string> messages;
    QString AskOpenPath(QWidget*, const QString&) override { return openPath; }
    QString AskSavePath(QWidget*, const QString&, QString&) override { return {}; }
    QString AskAddress(QWidget*) override { return {}; }
    void ShowMessage(QWidget*, const QString& text) override {
        messages.push_back(text.toStdString());
    }
};

class BoardSafetyTest : public AppTest {
protected:
    // A project open on a simulated ATmega328P that has been identified.
    void StartOnChip() {
        Start();
        Attach("ATmega328P");
        Trigger(cmd::NewProject);
        for (const MemoryKind memory : {MemoryKind::Flash, MemoryKind::Eeprom}) {
            app->MemoryView(memory)->SetPrompts(&prompts);
        }
        Trigger(cmd::DetectDevice);
        ASSERT_EQ(frame->DeviceText(), "ATmega328P");
    }

    // The chip, as the state file keeps it once no Programmer holds it.
    ChipState ChipNow() {
        ConnectionSettings settings;
        settings.port = PortKind::Simulator;
        settings.simulator.device = "ATmega328P";
        settings.simulator.stateFile = folder / "ATmega328P.chip";
        app->SetProgrammer(nullptr); // the state file is saved and unlocked
        std::string error;
        std::unique_ptr<Programmer> reader = MakeProgrammer(settings, error);
        EXPECT_NE(reader, nullptr) << error;
        RecordingTargetUi quiet;
        TargetImages images;
        EXPECT_TRUE(ReadEeprom(*reader, images, quiet));
        ChipState chip = dynamic_cast<SimulatedPort&>(*reader->Port()).Chip();
        chip.stateFile.reset(); // the copy must not hold the state file's lock
        reader.reset();
        Attach("ATmega328P");
        Trigger(cmd::DetectDevice);
        return chip;
    }

    // Types hex digits into a memory view at its current byte, as the user does.
    void Type(MemoryKind memory, const QString& digits) {
        QTest::keyClicks(&app->MemoryView(memory)->Grid(), digits);
    }

    QString StatusText() const { return frame->statusBar()->currentMessage(); }

    Prompts prompts;
};

// Writing only programs bits: the verify that follows every write finds what the chip kept.
TEST_F(BoardSafetyTest, WriteFlashOntoAChipThatWasNotErasedFailsItsVerify) {
    StartOnChip();
    Type(MemoryKind::Flash, QStringLiteral("12"));
    Trigger(cmd::WriteFlash);
    EXPECT_EQ(StatusText(), "Write Flash done.");
    EXPECT_EQ(dialogs->messages, std::vector<std::string>{"Verify successfull"});

    app->MemoryView(MemoryKind::Flash)->Grid().GoTo(0);
    Type(MemoryKind::Flash, QStringLiteral("21"));
    Trigger(cmd::WriteFlash);
    EXPECT_EQ(StatusText(), "Write Flash failed.");
    ASSERT_EQ(dialogs->messages.size(), 2u);
    EXPECT_EQ(dialogs->messages[1], "Verify failed at 00000000 !\n"
                                    "The flash may not have been erased before the write.");
}

// The EEPROM write touches the addresses the loaded file defines: calibration data elsewhere
// on the chip survives.
TEST_F(BoardSafetyTest, WriteEepromOfAShortFileKeepsTheChipsCalibrationData) {
    StartOnChip();
    app->MemoryView(MemoryKind::Eeprom)->Grid().GoTo(0x100);
    Type(MemoryKind::Eeprom, QStringLiteral("5A"));
    Trigger(cmd::WriteEeprom);
    ASSERT_EQ(ChipNow().eeprom[0x100], 0x5A) << "the calibration byte is on the chip";

    testing::WriteWholeFile(folder / "data.eep", ":10000000000102030405060708090A0B0C0D0E0F78\n"
                                                 ":00000001FF\n");
    ASSERT_TRUE(app->MemoryView(MemoryKind::Eeprom)
                    ->LoadFile(QString::fromStdString((folder / "data.eep").string())));
    EXPECT_EQ(app->State().images.eepromImage[0x100], ErasedByte) << "the view shows the file";
    dialogs->messages.clear();
    Trigger(cmd::WriteEeprom);
    EXPECT_EQ(dialogs->messages, std::vector<std::string>{"Verify successfull"});
    const ChipState chip = ChipNow();
    EXPECT_EQ(chip.eeprom[0x0F], 0x0F);
    EXPECT_EQ(chip.eeprom[0x100], 0x5A) << "not in the file, so not touched";
}

// A file with data beyond the identified chip is refused with the address; before any chip was
// identified it loads, and the write refuses it before touching the chip.
TEST_F(BoardSafetyTest, AFileLargerThanTheChipIsRefused) {
    testing::WriteWholeFile(folder / "big.bin", std::string(98 * 1024, '\x5A'));
    testing::WriteWholeFile(folder / "high.eep", ":107FF000000102030405060708090A0B0C0D0E0F09\n"
                                                 ":00000001FF\n");
    StartOnChip();
    const struct {
        MemoryKind memory;
        const char* file;
        std::string refusal;
    } cases[] = {
        {MemoryKind::Flash, "big.bin",
         "big.bin holds data at 00008000, beyond the ATmega328P's 32768 bytes."},
        {MemoryKind::Eeprom, "high.eep",
         "high.eep holds data at 00007FF0, beyond the ATmega328P's 1024 bytes."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        prompts.messages.clear();
        EXPECT_FALSE(app->MemoryView(c.memory)->LoadFile(
            QString::fromStdString((folder / c.file).string())));
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0], "Urrrk, can't load that file\n" + c.refusal);
        EXPECT_TRUE(app->State().images.Defined(c.memory).Empty()) << "the image is as it was";
    }

    Attach("ATmega328P"); // a new connection: no chip identified yet
    ASSERT_TRUE(app->MemoryView(MemoryKind::Flash)
                    ->LoadFile(QString::fromStdString((folder / "big.bin").string())));
    Trigger(cmd::DetectDevice);
    Trigger(cmd::WriteFlash);
    EXPECT_EQ(dialogs->messages.back(), "The flash image holds data at 00008000, beyond the "
                                        "ATmega328P's 32768 bytes.");
    EXPECT_EQ(ChipNow().flash[0], ErasedByte) << "the chip was not touched";
}

// Enter in a hex field of the fuse dialog applies the byte to the boxes; no button is the
// default, so nothing is written.
TEST_F(BoardSafetyTest, EnterInTheFuseDialogWritesNothing) {
    StartOnChip();
    const Programmer& programmer = *app->CurrentProgrammer();
    CLockFuseDialog dialog(
        frame, programmer.device.name, programmer.DeviceDatabase(), *dialogs,
        [this](CommandId id, const CommandInput& input, CTargetController::Done done) {
            return app->Target().Start(id, input, std::move(done));
        });
    dialog.show();
    for (int round = 0; round < 2000 && (dialog.Busy() || app->TargetCommandRunning()); ++round) {
        QTest::qWait(2);
    }
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->isDefault() || button->autoDefault()) << button->text().toStdString();
    }
    auto* low = Child<QLineEdit>(dialog, QStringLiteral("Hex1"));
    auto* lock = Child<QLineEdit>(dialog, QStringLiteral("Hex0"));
    lock->setText(QStringLiteral("0xFC"));
    lock->setFocus();
    QTest::keyClick(lock, Qt::Key_Return);
    low->setText(QStringLiteral("e2"));
    low->setFocus();
    QTest::keyClick(low, Qt::Key_Return);
    ProcessEvents();
    EXPECT_FALSE(app->TargetCommandRunning()) << "no write started";
    EXPECT_EQ(low->text(), "0xE2") << "the boxes took the byte";
    EXPECT_TRUE(dialog.isVisible());
    dialog.close();
    const ChipState chip = ChipNow();
    EXPECT_EQ(chip.fuseLow, 0x62);
    EXPECT_EQ(chip.lock, 0xFF);
}

// Every box stays reachable on a small screen: the dialog is no larger than the screen and
// scrolls what does not fit.
TEST_F(BoardSafetyTest, TheFuseDialogFitsTheScreen) {
    StartOnChip();
    CLockFuseDialog dialog(
        frame, "ATmega328P", app->CurrentProgrammer()->DeviceDatabase(), *dialogs,
        [](CommandId, const CommandInput&, CTargetController::Done) { return false; });
    const QSize screen = frame->screen()->availableGeometry().size();
    EXPECT_LE(dialog.height(), screen.height());
    EXPECT_LE(dialog.width(), screen.width());
    EXPECT_NE(dialog.findChild<QScrollArea*>(QStringLiteral("Scroll")), nullptr);
    EXPECT_LT(dialog.sizeHint().height(), 600) << "the fuse bytes stand side by side";
}

// A stored port that cannot be used opens the window all the same, says why, and Preferences
// mends it; until then the target commands say there is no connection.
TEST_F(BoardSafetyTest, StartUpWithABrokenStoredPortOpensTheWindow) {
    ASSERT_TRUE(store->WriteString("Preferences", "Port", "sim:Bogus"));
    ASSERT_TRUE(store->WriteInt("Preferences", "PortBase", 65535));
    Start();
    ASSERT_TRUE(frame->isVisible());
    ASSERT_EQ(dialogs->messages.size(), 1u);
    EXPECT_TRUE(dialogs->messages[0].starts_with("The stored connection cannot be used: "));
    EXPECT_NE(dialogs->messages[0].find("Bogus"), std::string::npos) << dialogs->messages[0];
    EXPECT_TRUE(StatusText().startsWith(QStringLiteral("No connection: ")));
    Trigger(cmd::DetectDevice);
    ASSERT_EQ(dialogs->messages.size(), 2u);
    EXPECT_TRUE(dialogs->messages[1].starts_with("There is no connection to a target"));

    Attach("ATmega328P"); // as Preferences does with the port the user picks
    Trigger(cmd::DetectDevice);
    EXPECT_EQ(frame->DeviceText(), "ATmega328P");
}

// A recent project that is gone, or a file that is no project, is said so and the open project
// stays open.
TEST_F(BoardSafetyTest, AProjectThatCannotBeOpenedLeavesTheOpenOne) {
    testing::WriteWholeFile(folder / "firmware.prj", ":0400000001020304F2\n:00000001FF\n");
    ASSERT_TRUE(store->WriteString("Recent File List", "File1", (folder / "gone.prj").string()));
    Start();
    Trigger(cmd::NewProject);
    app->ProjectFrame()->setWindowTitle(QStringLiteral("Kept"));
    Trigger(cmd::RecentFirst);
    dialogs->openAnswers.push_back(folder / "firmware.prj");
    Trigger(cmd::OpenProject);
    ASSERT_EQ(dialogs->messages.size(), 2u);
    EXPECT_NE(dialogs->messages[0].find("gone.prj: no such project file"), std::string::npos)
        << dialogs->messages[0];
    EXPECT_NE(dialogs->messages[1].find("not a project file"), std::string::npos)
        << dialogs->messages[1];
    EXPECT_EQ(app->State().projectOpen, 1);
    EXPECT_EQ(app->ProjectFrame()->windowTitle(), "Kept");
}

// AutoProgram with no step that programs is refused before it reaches the board and is not
// counted.
TEST_F(BoardSafetyTest, AutoProgramWithNothingToProgramIsRefused) {
    for (const char* step : {"FlashProgram", "EepromProgram"}) {
        ASSERT_TRUE(store->WriteInt("AutoProgram", step, 0));
    }
    StartOnChip();
    Trigger(cmd::AutoProgram);
    ASSERT_FALSE(dialogs->messages.empty());
    EXPECT_TRUE(dialogs->messages.back().starts_with(
        "AutoProgram FAILED at Choosing the steps: AutoProgram has no step that programs"))
        << dialogs->messages.back();
    EXPECT_EQ(Child<QLabel>(*frame, QStringLiteral("ProductionCount"))->text(),
              "Passed 0, failed 0 (total 0 / 0)");
}

} // namespace
} // namespace zelk::test
