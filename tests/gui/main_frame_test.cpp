#include "gui_test_support.h"
#include "shell/command_ids.h"

#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>

namespace zelk::test {
namespace {

// The visible entries of a menu or of the menu bar: "" for a separator.
QStringList VisibleItems(const QWidget* menu) {
    QStringList items;
    for (QAction* action : menu->actions()) {
        if (action->isVisible()) {
            items << (action->isSeparator() ? QString() : action->text());
        }
    }
    return items;
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

TEST_F(MainFrameTest, MenusSwitchBetweenStartAndProjectState) {
    Start();
    const QStringList startMenus{"&Project", "&Options", "&Help"};
    const QStringList startProjectItems{"&New Project", "&Open Project", "", "E&xit", "",
                                        "mru_list"};
    EXPECT_EQ(VisibleItems(frame->Menus()), startMenus);
    EXPECT_EQ(VisibleItems(VisibleMenu(frame->Menus(), "&Project")), startProjectItems);
    EXPECT_EQ(frame->DeviceText(), "Unknown Device");

    frame->Action(cmd::NewProject)->trigger();
    ProcessEvents();
    EXPECT_TRUE(frame->ShowsProjectMenu());
    EXPECT_EQ(VisibleItems(frame->Menus()),
              QStringList({"&Project", "&File", "&Program", "&Options", "&Window", "&Help"}));
    EXPECT_EQ(VisibleItems(VisibleMenu(frame->Menus(), "&Project")),
              QStringList({"&New Project", "&Open Project", "&Close project", "&Save project",
                           "Save &As...", "", "E&xit", "", "mru_list"}));
    EXPECT_EQ(frame->windowTitle(), "zelk - Untitled");

    frame->Action(cmd::CloseProject)->trigger();
    ProcessEvents();
    EXPECT_FALSE(frame->ShowsProjectMenu());
    EXPECT_EQ(VisibleItems(frame->Menus()), startMenus);
    EXPECT_EQ(VisibleItems(VisibleMenu(frame->Menus(), "&Project")), startProjectItems);
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

} // namespace
} // namespace zelk::test
