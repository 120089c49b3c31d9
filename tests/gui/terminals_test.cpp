// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/cables.h"
#include "engine/programmer.h"
#include "gui_test_support.h"
#include "platform/settings_store.h"
#include "sim/simulated_port.h"
#include "terminal/programmer_spi_link.h"
#include "terminal/serial_ports.h"
#include "terminal/serial_terminal.h"
#include "terminal/spi_terminal.h"
#include "terminal/terminal_output.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QSignalSpy>
#include <QTest>

// After the GUI support: it names ::testing from inside zelk.
#include "../core/pty_pair.h"
#include "../core/scratch_folder.h"

namespace zelk {
namespace {

using test::ProcessEvents;

void Receive(CTerminalOutput& pane, const std::string& bytes) {
    for (const char byte : bytes) {
        pane.AppendChar(static_cast<std::uint8_t>(byte));
    }
}

TEST(TerminalOutput, ShowsReceivedBytesByTheTerminalsRules) {
    struct Case {
        std::string received;
        QString shown;
    };
    const Case cases[] = {
        {"OK\r\nnext", QStringLiteral("OK\nnext")},
        {"a\nb", QStringLiteral("ab")},
        {"a\rb\r", QStringLiteral("a\nb\n")},
        {std::string("O\0K", 3), QStringLiteral("OK")},
        {"abc\b\bX", QStringLiteral("aX")},
        {"\b\bx", QStringLiteral("x")},
        {"a\r\b", QStringLiteral("a")},
        {"\xE9\xFF", QStringLiteral("\u00E9\u00FF")},
    };
    for (const Case& c : cases) {
        CTerminalOutput pane;
        Receive(pane, c.received);
        EXPECT_EQ(pane.toPlainText(), c.shown) << c.received;
    }
}

TEST(TerminalOutput, DropsTheOldestTextOnceItReachesTheBound) {
    CTerminalOutput pane;
    std::string text;
    for (int i = 0; i < CTerminalOutput::TextBound; ++i) {
        text.push_back(static_cast<char>('a' + i % 26));
    }
    pane.AppendBytes({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    ASSERT_EQ(pane.TextLength(), CTerminalOutput::TextBound);
    pane.AppendChar('!');
    EXPECT_EQ(pane.TextLength(), CTerminalOutput::TextBound - CTerminalOutput::DroppedAtBound + 1);
    EXPECT_EQ(pane.toPlainText(),
              QString::fromStdString(text.substr(CTerminalOutput::DroppedAtBound)) +
                  QStringLiteral("!"));
    std::vector<std::uint8_t> burst(1000, 'x');
    burst[500] = '\r';
    for (int i = 0; i < 100; ++i) {
        pane.AppendBytes(burst);
        ASSERT_LE(pane.TextLength(), CTerminalOutput::TextBound);
    }
}

TEST(TerminalOutput, TypedCharactersGoToTheTerminalAndLeaveTheTextAlone) {
    CTerminalOutput pane;
    Receive(pane, "abc");
    QSignalSpy typed(&pane, &CTerminalOutput::TerminalKey);
    QTest::keyClick(&pane, Qt::Key_X);
    QTest::keyClick(&pane, Qt::Key_Return);
    QTest::keyClick(&pane, Qt::Key_Backspace);
    QTest::keyClick(&pane, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(&pane, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(typed.count(), 5);
    const int expected[] = {'x', 13, 8, 3, 22};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(typed.at(i).at(0).toInt(), expected[i]);
    }
    EXPECT_EQ(pane.toPlainText(), QStringLiteral("abc"));

    // Delete makes no character: it keeps the pane's own effect.
    pane.moveCursor(QTextCursor::Start);
    QTest::keyClick(&pane, Qt::Key_Delete);
    EXPECT_EQ(typed.count(), 5);
    EXPECT_EQ(pane.toPlainText(), QStringLiteral("bc"));
}

class SerialTerminalTest : public ::testing::Test {
protected:
    void SetUp() override { ports.Add({"Test pty", pty.path}); }
    void StorePort(const std::string& port) { store.WriteString("Settings", "Comport", port); }

    testing::ScratchFolder folder;
    SettingsStore store{folder / "zelk.conf"};
    SerialPortList ports;
    testing::PtyPair pty;
    std::vector<QString> boxes; // the failure boxes shown, as "text|buttons"
};

CSerialTerminal::FailureQuestion Answer(std::vector<QString>& boxes,
                                        std::deque<QMessageBox::StandardButton> answers) {
    return [&boxes, answers](QMessageBox& box) mutable {
        boxes.push_back(box.text() + QStringLiteral("|") +
                        QString::number(static_cast<int>(box.standardButtons())) +
                        QStringLiteral("|") + QString::number(box.icon()));
        const QMessageBox::StandardButton answer = answers.front();
        answers.pop_front();
        return answer;
    };
}

// The first start offers COM2 at 9600 8N1; every reconfiguration is kept for the next start.
TEST_F(SerialTerminalTest, StartsFromComTwoAndKeepsEveryReconfiguration) {
    {
        CSerialTerminal terminal(nullptr, store, ports, Answer(boxes, {QMessageBox::Ignore}));
        EXPECT_EQ(terminal.PortList()->currentText(), QStringLiteral("COM2"));
        EXPECT_EQ(terminal.SpeedList()->currentText(), QStringLiteral("9600"));
        EXPECT_EQ(terminal.DataBitsList()->currentText(), QStringLiteral("8"));
        EXPECT_EQ(terminal.ParityList()->currentText(), QStringLiteral("none"));
        EXPECT_EQ(terminal.StopBitsList()->currentText(), QStringLiteral("1"));
    }
    boxes.clear();
    StorePort("test PTY");
    store.WriteString("Settings", "Speed", "115200");
    store.WriteInt("Settings", "Bits", 7);
    store.WriteInt("Settings", "Parity", 2);
    store.WriteInt("Settings", "Stopbits", 2);
    {
        CSerialTerminal terminal(nullptr, store, ports, Answer(boxes, {}));
        EXPECT_TRUE(terminal.PortOpen());
        EXPECT_EQ(terminal.PortList()->currentText(), QStringLiteral("Test pty"));
        EXPECT_EQ(terminal.SpeedList()->currentText(), QStringLiteral("115200"));
        EXPECT_EQ(terminal.DataBitsList()->currentText(), QStringLiteral("7"));
        EXPECT_EQ(terminal.ParityList()->currentText(), QStringLiteral("even"));
        EXPECT_EQ(terminal.StopBitsList()->currentText(), QStringLiteral("2"));
        terminal.SpeedList()->setCurrentIndex(terminal.SpeedList()->findText("921600"));
        emit terminal.SpeedList()->activated(terminal.SpeedList()->currentIndex());
        EXPECT_TRUE(terminal.PortOpen());
    }
    EXPECT_EQ(store.ReadString("Settings", "Comport", ""), "Test pty");
    EXPECT_EQ(store.ReadString("Settings", "Speed", ""), "921600");
    EXPECT_EQ(store.ReadInt("Settings", "Bits", 0), 7);
    EXPECT_EQ(store.ReadInt("Settings", "Parity", 0), 2);
    EXPECT_EQ(store.ReadInt("Settings", "Stopbits", 0), 2);
    EXPECT_TRUE(boxes.empty());

    // Values outside the lists leave them without a selection, which cannot open.
    store.WriteInt("Settings", "Bits", 9);
    store.WriteInt("Settings", "Parity", 5);
    CSerialTerminal terminal(nullptr, store, ports, Answer(boxes, {QMessageBox::Ignore}));
    EXPECT_EQ(terminal.DataBitsList()->currentIndex(), -1);
    EXPECT_EQ(terminal.ParityList()->currentIndex(), -1);
    EXPECT_FALSE(terminal.PortOpen());
}

TEST_F(SerialTerminalTest, AFailedOpenOffersAbortRetryAndIgnore) {
    StorePort("COM7"); // no such device here
    {
        CSerialTerminal terminal(
            nullptr, store, ports,
            Answer(boxes, {QMessageBox::Retry, QMessageBox::Retry, QMessageBox::Ignore}));
        ASSERT_EQ(boxes.size(), 3U) << "Retry tries again with the same settings";
        EXPECT_EQ(boxes[0], QStringLiteral("Can't open port with this setting|%1|%2")
                                .arg(static_cast<int>(QMessageBox::Abort | QMessageBox::Retry |
                                                      QMessageBox::Ignore))
                                .arg(QMessageBox::Warning));
        QSignalSpy closed(&terminal, &QDialog::finished);
        ProcessEvents();
        EXPECT_EQ(closed.count(), 0) << "Ignore keeps the terminal";
        EXPECT_FALSE(terminal.PortOpen());

        // A typed character that cannot go out is said so, in the title.
        QTest::keyClick(terminal.Output(), Qt::Key_A);
        EXPECT_TRUE(terminal.windowTitle().contains(QStringLiteral("not sent")))
            << terminal.windowTitle().toStdString();
    }
    boxes.clear();
    CSerialTerminal terminal(nullptr, store, ports, Answer(boxes, {QMessageBox::Abort}));
    QSignalSpy closed(&terminal, &QDialog::finished);
    ProcessEvents();
    EXPECT_EQ(closed.count(), 1) << "Abort closes the terminal";
    EXPECT_EQ(boxes.size(), 1U);
}

TEST_F(SerialTerminalTest, ShowsEveryByteReceivedAndSendsWhatIsTyped) {
    StorePort("Test pty");
    CSerialTerminal terminal(nullptr, store, ports, Answer(boxes, {}));
    ASSERT_TRUE(terminal.PortOpen());
    pty.Send({'O', 0x00, 'K', '\r', '\n', 'n', 'e', 'x', 't'});
    for (int i = 0; i < 100 && terminal.Output()->toPlainText().size() < 7; ++i) {
        QTest::qWait(10);
    }
    EXPECT_EQ(terminal.Output()->toPlainText(), QStringLiteral("OK\nnext"));

    QTest::keyClick(terminal.Output(), Qt::Key_H);
    QTest::keyClick(terminal.Output(), Qt::Key_Return);
    EXPECT_EQ(pty.Receive(2), (std::vector<std::uint8_t>{'h', '\r'}));
    EXPECT_EQ(terminal.Output()->toPlainText(), QStringLiteral("OK\nnext")) << "no local echo";

    pty.CloseFar();
    for (int i = 0; i < 100 && terminal.windowTitle() == QStringLiteral("Terminal"); ++i) {
        QTest::qWait(10);
    }
    EXPECT_NE(terminal.windowTitle(), QStringLiteral("Terminal")) << "a lost port is said so";
}

// Escape closes the terminal (it is not sent to the port), as its Close button does.
TEST_F(SerialTerminalTest, EscapeOrCloseEndsTheTerminal) {
    StorePort("Test pty");
    for (const bool byButton : {false, true}) {
        CSerialTerminal terminal(nullptr, store, ports, Answer(boxes, {}));
        terminal.show();
        QSignalSpy closed(&terminal, &QDialog::finished);
        if (byButton) {
            for (QAbstractButton* button : terminal.findChildren<QAbstractButton*>()) {
                if (button->text() == QStringLiteral("Close")) {
                    button->click();
                }
            }
        } else {
            QTest::keyClick(terminal.Output(), Qt::Key_Escape);
        }
        ProcessEvents();
        EXPECT_EQ(closed.count(), 1) << (byButton ? "Close" : "Escape");
    }
    EXPECT_TRUE(pty.Receive(1, 100).empty()) << "nothing was sent";
}

// A target whose program never ends its answer.
class ChattyLink : public SpiLink {
public:
    bool Acquire(std::string&) override { return true; }
    void ResetAndRun() override {}
    std::uint8_t Exchange(std::uint8_t, std::int32_t) override { return 'A'; }
    void Release() override {}
};

TEST(SpiTerminal, StaysResponsiveAndSaysWhenAnAnswerIsCutOff) {
    ChattyLink link;
    CSpiTerminal terminal(nullptr, link);
    std::string reason;
    ASSERT_TRUE(terminal.Start(reason));
    QTest::keyClick(terminal.Output(), Qt::Key_Q);
    // The exchange runs elsewhere: this thread goes on handling events meanwhile.
    for (int i = 0; i < 500 && !terminal.Output()->toPlainText().contains(QLatin1Char('[')); ++i) {
        QTest::qWait(10);
    }
    const QString text = terminal.Output()->toPlainText();
    EXPECT_EQ(text.count(QLatin1Char('A')), static_cast<qsizetype>(SpiAnswerLimit));
    EXPECT_TRUE(text.endsWith(QStringLiteral("[answer cut off after 4096 bytes]\n")))
        << text.right(60).toStdString();
}

// The terminal takes the application's Programmer for its session and gives it back; while
// the flash write worker holds it, the slot is empty and the terminal is refused.
TEST(SpiTerminal, HoldsTheProgrammerOrIsRefusedWhileAnotherCommandHoldsIt) {
    std::unique_ptr<Programmer> slot;
    {
        ProgrammerSpiLink link(slot);
        std::string reason;
        EXPECT_FALSE(link.Acquire(reason));
        EXPECT_EQ(reason, TargetBusyMessage);
    }
    SimDevice device{"Mega", 0x1E950F, 32768, 1024, 3, 128, "", "", "", ""};
    SimConfig config;
    config.device = device;
    slot = std::make_unique<Programmer>(MakeSimulatedPortOpener(config), CableKestan,
                                        std::filesystem::path());
    const Programmer* programmer = slot.get();
    {
        ProgrammerSpiLink link(slot);
        std::string reason;
        ASSERT_TRUE(link.Acquire(reason)) << reason;
        EXPECT_EQ(slot, nullptr) << "no other command can reach the port now";
        link.Release();
        EXPECT_EQ(slot.get(), programmer);
        ASSERT_TRUE(link.Acquire(reason)) << reason;
    }
    EXPECT_EQ(slot.get(), programmer) << "the link gives the Programmer back when it ends";
}

} // namespace
} // namespace zelk
