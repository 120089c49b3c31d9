// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader gets from zelk, through the same accessibility interfaces its bridge
// serves: named fields and bars, and the hex editor as a table whose focused cell is the byte
// under the caret. Also the start with a project named on the command line.
#include "../core/scratch_folder.h"
#include "gui_test_support.h"
#include "memory/hex_grid.h"
#include "memory/memory_view.h"
#include "shell/child_frame.h"
#include "shell/command_ids.h"
#include "shell/project_form.h"
#include "station/project_file.h"

#include <array>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <set>

namespace zelk::test {
namespace {

using AccessibilityTest = AppTest;

QString NameOf(QObject* object) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return accessible != nullptr ? accessible->text(QAccessible::Name) : QString();
}

TEST_F(AccessibilityTest, FieldsAndBarsHaveNames) {
    Start();
    Trigger(cmd::NewProject);
    CProjectForm* form = app->ProjectFrame()->Form();
    EXPECT_EQ(NameOf(form->TitleEdit()), "Project Title");
    EXPECT_EQ(NameOf(form->CommentEdit()), "Comments");

    const struct {
        const char* bar;
        const char* name;
        const char* overflow;
    } bars[] = {{"ToolBar", "Toolbar", "More tools"},
                {"DeviceBar", "Device Bar", "More of the device bar"}};
    for (const auto& row : bars) {
        auto* bar = frame->findChild<QToolBar*>(QLatin1String(row.bar));
        ASSERT_NE(bar, nullptr) << row.bar;
        EXPECT_EQ(NameOf(bar), row.name);
        auto* overflow = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
        ASSERT_NE(overflow, nullptr) << row.bar;
        EXPECT_EQ(NameOf(overflow), row.overflow);
    }
    EXPECT_EQ(NameOf(frame->findChild<QWidget*>(QStringLiteral("DeviceName"))),
              "Device: Unknown Device");
}

// Each key reaches one command: two commands on one key would leave it to chance.
TEST_F(AccessibilityTest, TheTargetCommandsHaveKeysOfTheirOwn) {
    Start();
    const struct {
        int command;
        const char* keys;
    } keys[] = {{cmd::ReadFlash, "Ctrl+R"},
                {cmd::WriteFlash, "Ctrl+W"},
                {cmd::VerifyFlash, "Ctrl+Shift+V"},
                {cmd::DetectDevice, "F5"}};
    for (const auto& row : keys) {
        EXPECT_EQ(frame->Action(row.command)->shortcut(), QKeySequence(QLatin1String(row.keys)))
            << row.keys;
    }
    std::set<QString> seen;
    for (QAction* action : static_cast<QWidget*>(frame)->actions()) {
        for (const QKeySequence& shortcut : action->shortcuts()) {
            EXPECT_TRUE(seen.insert(shortcut.toString()).second)
                << shortcut.toString().toStdString() << " is taken twice";
        }
    }
}

class HexGridAccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(0x30 + i);
        }
        grid.resize(grid.WidthFor(16), grid.HeightFor(4));
        grid.SetData(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        grid.show();
        grid.setFocus();
        ProcessEvents();
    }

    std::array<std::uint8_t, 40> bytes{};
    CHexGrid grid;
};

TEST_F(HexGridAccessibilityTest, TheCurrentByteIsTheFocusedCellOfATable) {
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&grid);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->role(), QAccessible::Table);
    QAccessibleTableInterface* cells = table->tableInterface();
    ASSERT_NE(cells, nullptr);
    EXPECT_EQ(cells->rowCount(), 3);
    EXPECT_EQ(cells->columnCount(), 16);
    EXPECT_EQ(cells->rowDescription(2), "0x0020");
    EXPECT_EQ(cells->cellAt(2, 8), nullptr) << "byte 40 lies beyond the image";

    ASSERT_TRUE(grid.GoTo(0x12));
    QAccessibleInterface* current = table->focusChild();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->text(QAccessible::Name), "0x0012: 0x42 = 66 = 'B'");
    EXPECT_EQ(current->text(QAccessible::Value), "42");
    EXPECT_TRUE(current->state().focused);
    ASSERT_NE(current->tableCellInterface(), nullptr);
    EXPECT_EQ(current->tableCellInterface()->rowIndex(), 1);
    EXPECT_EQ(current->tableCellInterface()->columnIndex(), 2);
    EXPECT_EQ(table->indexOfChild(current), 0x12);
    EXPECT_EQ(cells->cellAt(1, 2), current);
    EXPECT_TRUE(current->rect().isValid()) << "the byte is in view";
    EXPECT_FALSE(cells->cellAt(0, 3)->state().focused);
}

// "zelk board.prj" and a project opened from the file manager: the project and its files (a
// project names them; AutoProgram loads them).
TEST_F(AccessibilityTest, AProjectNamedAtTheStartIsOpened) {
    zelk::testing::WriteWholeFile(folder / "app.hex", ":0200000041427B\n:00000001FF\n");
    ProjectFileData project;
    project.projectName = "Board";
    project.flashFile = "app.hex";
    std::string error;
    ASSERT_TRUE(SaveProjectFile(folder / "board.prj", project, error)) << error;
    StartupOptions options;
    options.project = folder / "board.prj";
    Start(options);
    EXPECT_EQ(app->State().projectOpen, 1);
    EXPECT_EQ(app->State().projectName, "Board");
    EXPECT_EQ(std::filesystem::path(app->State().flashFile), folder / "app.hex")
        << "named relative to the project file";
}

TEST_F(AccessibilityTest, AStartProjectThatIsNoProjectIsSaidSo) {
    zelk::testing::WriteWholeFile(folder / "firmware.prj", ":0200000041427B\n:00000001FF\n");
    StartupOptions options;
    options.project = folder / "firmware.prj";
    Start(options);
    EXPECT_EQ(app->State().projectOpen, 0);
    ASSERT_EQ(dialogs->messages.size(), 1u);
    EXPECT_NE(dialogs->messages.front().find("firmware.prj"), std::string::npos)
        << dialogs->messages.front();
}

// Every control that can take the keyboard focus has a name for a screen reader, and no two
// share one. A combo box is left out of the second check: on Linux its name is its value, and
// its label reaches the screen reader as a relation.
QStringList NamingFaults(QWidget& root) {
    QStringList faults;
    std::set<QString> names;
    for (QWidget* widget : root.findChildren<QWidget*>()) {
        // Pages behind other tabs count: only a control hidden for good is left out.
        if (widget->isHidden() || widget->focusPolicy() == Qt::NoFocus) {
            continue;
        }
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        if (accessible == nullptr) {
            continue;
        }
        const QString name = accessible->text(QAccessible::Name).trimmed();
        const QString what = QString::fromLatin1(widget->metaObject()->className()) +
                             QLatin1Char(' ') + widget->objectName();
        if (name.isEmpty()) {
            faults << what + QStringLiteral(" has no name");
        } else if (qobject_cast<QComboBox*>(widget) == nullptr && !names.insert(name).second) {
            faults << what + QStringLiteral(" is a second \"") + name + QLatin1Char('"');
        }
    }
    return faults;
}

TEST_F(AccessibilityTest, EveryControlHasANameOfItsOwn) {
    Start();
    Attach("ATmega328P");
    Trigger(cmd::DetectDevice);
    Trigger(cmd::NewProject);
    frame->show();
    ProcessEvents();
    EXPECT_EQ(NamingFaults(*frame).join(QStringLiteral(", ")).toStdString(), "") << "main window";
    for (const int command : {cmd::Preferences, cmd::LockBitsFuses, cmd::TerminalParallel,
                              cmd::TerminalSerial, cmd::About}) {
        QStringList faults;
        bool reached = false;
        QTimer::singleShot(200, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            reached = true;
            faults = NamingFaults(*dialog);
            dialog->close();
        });
        frame->Action(command)->trigger();
        ProcessEvents();
        EXPECT_TRUE(reached) << command;
        EXPECT_EQ(faults.join(QStringLiteral(", ")).toStdString(), "") << command;
    }
}

} // namespace
} // namespace zelk::test
