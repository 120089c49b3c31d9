#include "app/command_ids.h"
#include "engine/port_claim.h"
#include "gui_test_support.h"
#include "shell/child_frame.h"
#include "shell/mdi_client.h"
#include "shell/project_form.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

namespace zelk::test {
namespace {

// The visible items of a visible menu: "" for a separator.
QStringList ItemsOf(QMenu* menu) {
    QStringList items;
    for (QAction* action : menu->actions()) {
        if (action->isVisible()) {
            items << (action->isSeparator() ? QString() : action->text());
        }
    }
    return items;
}

QStringList VisibleMenus(QMenuBar* bar) {
    QStringList titles;
    for (QAction* action : bar->actions()) {
        if (action->isVisible()) {
            titles << action->text();
        }
    }
    return titles;
}

QMenu* VisibleMenu(QMenuBar* bar, const QString& title) {
    for (QAction* action : bar->actions()) {
        if (action->isVisible() && action->text() == title) {
            return action->menu();
        }
    }
    return nullptr;
}

using MainFrameTest = AppTest;

TEST_F(MainFrameTest, StartsWithTheStartMenuToolbarAndDeviceBar) {
    Start();
    EXPECT_EQ(VisibleMenus(frame->Menus()), QStringList({"&Project", "&Options", "&Help"}));
    EXPECT_EQ(ItemsOf(VisibleMenu(frame->Menus(), "&Project")),
              QStringList({"&New Project", "&Open Project", "", "E&xit", "", "mru_list"}));
    EXPECT_EQ(ItemsOf(VisibleMenu(frame->Menus(), "&Options")),
              QStringList({"&Preferences", "", "&Detect Device", "&Reset Device"}));
    EXPECT_EQ(ItemsOf(VisibleMenu(frame->Menus(), "&Help")), QStringList({"&About zelk..."}));
    EXPECT_FALSE(frame->EmptyRecentEntry()->isEnabled());
    EXPECT_EQ(frame->Action(cmd::NewProject)->shortcut(), QKeySequence("Ctrl+N"));

    int buttons = 0;
    for (QAction* action : frame->ToolBar()->actions()) {
        buttons += action->isSeparator() ? 0 : 1;
    }
    EXPECT_EQ(buttons, 15);
    EXPECT_EQ(frame->DeviceText(), "Unknown Device");
    EXPECT_EQ(frame->windowTitle(), "zelk");
    EXPECT_EQ(frame->Action(cmd::WriteFlash)->toolTip(), "Write Flash");
    EXPECT_EQ(frame->Action(cmd::WriteFlash)->statusTip(), "Write to Flash Memory");
    for (int id : {cmd::SaveProject, cmd::AutoProgram, cmd::SerialNumbering, cmd::ReadFlash,
                   cmd::WriteFlash}) {
        EXPECT_FALSE(frame->Action(id)->isEnabled()) << id;
    }
    const QStringList status = [this] {
        QStringList texts;
        for (auto* label : frame->statusBar()->findChildren<QLabel*>()) {
            texts << label->text();
        }
        return texts;
    }();
    for (const char* text : {"Ready", "CAP", "NUM", "SCRL"}) {
        EXPECT_TRUE(status.contains(text)) << text;
    }
}

TEST_F(MainFrameTest, ProjectMenuWhileAProjectIsOpen) {
    Start();
    frame->Action(cmd::NewProject)->trigger();
    ProcessEvents();
    EXPECT_TRUE(frame->ShowsProjectMenu());
    EXPECT_EQ(VisibleMenus(frame->Menus()),
              QStringList({"&Project", "&File", "&Program", "&Options", "&Window", "&Help"}));
    EXPECT_EQ(ItemsOf(VisibleMenu(frame->Menus(), "&Project")),
              QStringList({"&New Project", "&Open Project", "&Close project", "&Save project",
                           "Save &As...", "", "E&xit", "", "mru_list"}));
    EXPECT_EQ(ItemsOf(VisibleMenu(frame->Menus(), "&Program")),
              QStringList({"&Erase Chip", "&Blank Check", "", "&Read Flash", "&Write Flash",
                           "&Verify Flash", "", "Read &EEPROM", "Wr&ite EEPROM", "Veri&fy EEPROM",
                           "", "&AutoProgram", "&LockBits && Fuses", "&Serial Numbering"}));
    EXPECT_EQ(frame->windowTitle(), "zelk - Untitled");

    frame->Action(cmd::CloseProject)->trigger();
    ProcessEvents();
    EXPECT_FALSE(frame->ShowsProjectMenu());
    EXPECT_EQ(frame->windowTitle(), "zelk");
}

// Alt and a menu's mnemonic open it in either menu state; both states have an "&Options".
TEST_F(MainFrameTest, MenusOpenWithTheirAltKeys) {
    for (const bool projectOpen : {false, true}) {
        Start();
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
        if (projectOpen) {
            frame->Action(cmd::NewProject)->trigger();
            ProcessEvents();
        }
        for (const auto& [key, title] :
             {std::pair{Qt::Key_P, "&Project"}, std::pair{Qt::Key_O, "&Options"}}) {
            QMenu* menu = VisibleMenu(frame->Menus(), title);
            ASSERT_NE(menu, nullptr) << title;
            QTest::keyClick(frame, key, Qt::AltModifier);
            EXPECT_TRUE(menu->isVisible()) << title << " with a project open: " << projectOpen;
            menu->close();
        }
        Quit();
    }
}

TEST_F(MainFrameTest, EnablingFollowsProjectTargetAndFlashWrite) {
    Start();
    frame->Action(cmd::NewProject)->trigger();
    EXPECT_TRUE(frame->Action(cmd::SaveProject)->isEnabled());
    EXPECT_FALSE(frame->Action(cmd::ReadFlash)->isEnabled());

    app->State().targetReady = 1;
    frame->UpdateCommandStates();
    EXPECT_TRUE(frame->Action(cmd::ReadFlash)->isEnabled());

    ASSERT_TRUE(TryClaimPort());
    frame->UpdateCommandStates();
    EXPECT_FALSE(frame->Action(cmd::ReadFlash)->isEnabled());
    EXPECT_FALSE(frame->Action(cmd::DetectDevice)->isEnabled());
    // A refused close keeps the window and says why.
    frame->close();
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(dialogs->messages.size(), 1u);
    ReleasePortClaim();
    frame->UpdateCommandStates();
    EXPECT_TRUE(frame->Action(cmd::DetectDevice)->isEnabled());
}

TEST_F(MainFrameTest, CommandsOfLaterWorkSayTheyAreNotYetAvailable) {
    Start();
    frame->Action(cmd::About)->trigger();
    ASSERT_EQ(dialogs->messages.size(), 1u);
    EXPECT_NE(dialogs->messages[0].find("not yet available"), std::string::npos);
}

// The clipboard and undo keys belong to commands this program lacks: they must not reach the
// project form's fields, while Ctrl+N still starts a new project from there.
TEST_F(MainFrameTest, ClipboardKeysHaveNoEffectInTheProjectForm) {
    Start();
    frame->Action(cmd::NewProject)->trigger();
    ProcessEvents();
    CProjectForm* form = app->ProjectFrame()->Form();
    QLineEdit* title = form->TitleEdit();
    QApplication::clipboard()->setText("pasted");
    title->setFocus();
    title->selectAll();

    const QKeyCombination keys[] = {Qt::CTRL | Qt::Key_X, Qt::CTRL | Qt::Key_V,
                                    Qt::SHIFT | Qt::Key_Insert, Qt::CTRL | Qt::Key_Z,
                                    Qt::SHIFT | Qt::Key_Delete};
    for (QKeyCombination key : keys) {
        QTest::keyClick(title, key.key(), key.keyboardModifiers());
        EXPECT_EQ(title->text(), "Untitled") << QKeySequence(key).toString().toStdString();
    }
    QTest::keyClick(form->CommentEdit(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(form->CommentEdit()->toPlainText(), "");

    CChildFrame* before = app->ProjectFrame();
    QTest::keyClick(title, Qt::Key_N, Qt::ControlModifier);
    ProcessEvents();
    EXPECT_NE(app->ProjectFrame(), before);
}

TEST_F(MainFrameTest, BarLayoutSurvivesARestart) {
    Start();
    frame->addToolBar(Qt::LeftToolBarArea, frame->ToolBar());
    frame->DeviceBar()->hide();
    Quit();

    Start();
    EXPECT_EQ(frame->toolBarArea(frame->ToolBar()), Qt::LeftToolBarArea);
    EXPECT_TRUE(frame->DeviceBar()->isHidden());
    EXPECT_FALSE(frame->ToolBar()->isHidden());
}

TEST_F(MainFrameTest, WindowPositionRoundTripsAndFallsBack) {
    struct Case {
        const char* stored;
        QRect expected;
    };
    const Case cases[] = {
        {"20,30,620,530", QRect(20, 30, 600, 500)},
        {"12,junk", QRect(0, 0, 500, 400)},
        {"", QRect(0, 0, 500, 400)},
    };
    for (const Case& c : cases) {
        WriteSettingString("MainWindow", "Position", c.stored);
        Start();
        EXPECT_EQ(QRect(frame->pos(), frame->size()), c.expected) << c.stored;
        Quit();
    }
    WriteSettingString("MainWindow", "Position", "40,50,700,600");
    Start();
    Quit();
    EXPECT_EQ(ReadSettingString("MainWindow", "Position", ""), "40,50,700,600");
}

} // namespace
} // namespace zelk::test
