// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/about_box.h"
#include "about/credits_scroller.h"
#include "about/splash_screen.h"
#include "gui_test_support.h"
#include "shell/command_ids.h"
#include "shell/lock_keys.h"
#include "shell/window_placement.h"

#include <functional>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
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
    // No recent projects: no entry for them, and no separator above nothing.
    const QStringList startProjectItems{"&New Project", "&Open Project", "", "E&xit"};
    EXPECT_EQ(VisibleItems(frame->Menus()), startMenus);
    EXPECT_EQ(VisibleItems(VisibleMenu(frame->Menus(), "&Project")), startProjectItems);

    Trigger(cmd::NewProject);
    EXPECT_TRUE(frame->ShowsProjectMenu());
    EXPECT_EQ(VisibleItems(frame->Menus()),
              QStringList({"&Project", "&File", "P&rogram", "&Options", "&Window", "&Help"}));
    EXPECT_EQ(VisibleItems(VisibleMenu(frame->Menus(), "&Project")),
              QStringList({"&New Project", "&Open Project", "&Close project", "&Save project",
                           "Save &As...", "", "E&xit"}));
    EXPECT_EQ(frame->windowTitle(), "zelk - Untitled");

    Trigger(cmd::CloseProject);
    EXPECT_FALSE(frame->ShowsProjectMenu());
    EXPECT_EQ(VisibleItems(frame->Menus()), startMenus);
    EXPECT_EQ(VisibleItems(VisibleMenu(frame->Menus(), "&Project")), startProjectItems);
    EXPECT_EQ(frame->windowTitle(), "zelk");
}

// Alt and a menu's mnemonic open it in either menu state, the same menu at every press; both
// states have an "&Options".
TEST_F(MainFrameTest, MenusOpenWithTheirAltKeys) {
    for (const bool projectOpen : {false, true}) {
        Start();
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
        if (projectOpen) {
            Trigger(cmd::NewProject);
        }
        std::vector<std::pair<Qt::Key, const char*>> keys{
            {Qt::Key_P, "&Project"}, {Qt::Key_P, "&Project"}, {Qt::Key_O, "&Options"}};
        if (projectOpen) {
            keys.emplace_back(Qt::Key_R, "P&rogram");
        }
        for (const auto& [key, title] : keys) {
            QMenu* menu = VisibleMenu(frame->Menus(), title);
            ASSERT_NE(menu, nullptr) << title;
            QTest::keyClick(frame, key, Qt::AltModifier);
            EXPECT_TRUE(menu->isVisible()) << title << " with a project open: " << projectOpen;
            for (QAction* other : frame->Menus()->actions()) {
                if (other->menu() != menu && other->menu() != nullptr) {
                    EXPECT_FALSE(other->menu()->isVisible()) << title;
                }
            }
            menu->close();
        }
        Quit();
    }
}

// The stored numbers are kept to the bounds the placement and the part count have (tested on
// their own below): a window on a screen that is gone comes back on one that is there, and an
// absurd count of bar layout parts is no layout (reading two billion parts would hang). A
// real layout survives a restart.
// The first window is large enough for the toolbar and the status bar's fields.
TEST_F(MainFrameTest, TheFirstWindowShowsTheWholeToolbar) {
    Start();
    EXPECT_GE(frame->width(), frame->ToolBar()->sizeHint().width());
    EXPECT_GT(frame->ToolBar()->sizeHint().width(), 500) << "wider than the old first window";
    EXPECT_GE(frame->height(), 400);
}

TEST_F(MainFrameTest, TheStoredPlaceAndBarLayoutAreBoundedAndSurviveARestart) {
    ASSERT_TRUE(store->WriteString("MainWindow", "Position", "5000,5000,5600,5400"));
    ASSERT_TRUE(store->WriteString("CtrlBars", "Parts", "2000000000"));
    Start();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(QRect(frame->pos(), frame->size())));
    EXPECT_FALSE(frame->ToolBar()->isHidden());
    frame->addToolBar(Qt::LeftToolBarArea, frame->ToolBar());
    frame->DeviceBar()->hide();
    Quit();

    Start();
    EXPECT_EQ(frame->toolBarArea(frame->ToolBar()), Qt::LeftToolBarArea);
    EXPECT_TRUE(frame->DeviceBar()->isHidden());
    EXPECT_FALSE(frame->ToolBar()->isHidden());
}

// Texts fit at a large font: nothing is cut to a fixed pixel width.
TEST_F(MainFrameTest, TextsFitAtALargeFont) {
    const QFont previous = QApplication::font();
    QFont large = previous;
    large.setPointSize(24);
    QApplication::setFont(large);
    Start();
    frame->resize(1600, 900);
    Trigger(cmd::NewProject);
    for (QWidget* widget : frame->findChildren<QWidget*>()) {
        if (widget->isVisible() && (qobject_cast<QPushButton*>(widget) != nullptr ||
                                    qobject_cast<QLabel*>(widget) != nullptr)) {
            QString text = widget->property("text").toString();
            text.remove(QLatin1Char('&'));
            EXPECT_GE(widget->width(), widget->fontMetrics().horizontalAdvance(text))
                << text.toStdString();
        }
    }
    QApplication::setFont(previous);
}

// Offscreen nothing can tell the lock keys' state, so no indicator claims to.
TEST_F(MainFrameTest, LockIndicatorsShowOnlyWhatThePlatformTells) {
    Start();
    EXPECT_EQ(frame->LockIndicatorsShown(), ReadLockKeys().has_value());
    EXPECT_FALSE(frame->LockIndicatorsShown()) << "the tests run offscreen";
}

TEST(BarParts, OnlyACountALayoutCanHaveIsTaken) {
    const std::pair<const char*, int> cases[] = {{"1", 1},  {"3", 3},          {"64", 64},
                                                 {"65", 0}, {"2000000000", 0}, {"0", 0},
                                                 {"-1", 0}, {"", 0},           {"3x", 0}};
    for (const auto& [text, expected] : cases) {
        int parts = 0;
        EXPECT_EQ(ParseBarParts(text, parts), expected != 0) << text;
        EXPECT_EQ(parts, expected) << text;
    }
}

TEST(WindowPlacement, FitsStoredRectanglesIntoTheAreas) {
    const QList<QRect> screens{QRect(0, 0, 1280, 900), QRect(1280, 0, 1920, 1080)};
    struct Case {
        std::int64_t left, top, right, bottom;
        QRect expected;
    };
    const Case cases[] = {
        {100, 100, 600, 500, QRect(100, 100, 500, 400)},            // fits: unchanged
        {1500, 50, 2000, 450, QRect(1500, 50, 500, 400)},           // on the second screen
        {5000, 5000, 5600, 5400, QRect(680, 500, 600, 400)},        // on no screen: the first
        {1200, 100, 1400, 300, QRect(1280, 100, 200, 200)},         // mostly on the second
        {0, 0, 2147483647, 2147483647, QRect(1280, 0, 1920, 1080)}, // cut to a screen
        {-2147483648LL, 0, 2147483647, 10, QRect(0, 0, 1280, 100)},
        {10, 10, 20, 20, QRect(10, 10, 160, 100)}, // never smaller than usable
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FitInAreas(c.left, c.top, c.right, c.bottom, screens), c.expected)
            << c.left << "," << c.top << "," << c.right << "," << c.bottom;
    }
}

// The splash shows only when the command line allows it, and goes on its timer or at the first
// key or click, which does nothing else.
TEST_F(AppTest, TheSplashShowsWhenAllowedAndGoesOnItsTimerOrTheFirstKeyOrClick) {
    Start();
    EXPECT_EQ(app->Splash(), nullptr) << "not allowed";
    Quit();
    StartupOptions options;
    options.splash = true;
    Start(options);
    QPointer<CSplashScreen> splash = app->Splash();
    ASSERT_NE(splash, nullptr);
    EXPECT_TRUE(splash->isVisible());
    splash->Close();
    ProcessEvents();
    EXPECT_EQ(splash, nullptr) << "it deletes itself once closed";
    QPointer<CSplashScreen> timed = CSplashScreen::Open(frame, 50);
    QTest::qWait(200);
    EXPECT_EQ(timed, nullptr) << "its timer closed it";

    struct Case {
        const char* what;
        std::function<void()> press;
    };
    const Case cases[] = {
        {"Ctrl+N", [&] { QTest::keyClick(frame, Qt::Key_N, Qt::ControlModifier); }},
        {"a click on New Project",
         [&] {
             QWidget* button =
                 frame->findChild<QToolBar*>()->widgetForAction(frame->Action(cmd::NewProject));
             QTest::mouseClick(button, Qt::LeftButton);
         }},
    };
    for (const Case& c : cases) {
        QPointer<CSplashScreen> shown = CSplashScreen::Open(frame);
        c.press();
        ProcessEvents();
        EXPECT_EQ(shown, nullptr) << c.what;
        EXPECT_EQ(app->State().projectOpen, 0) << c.what << " must not reach its command";
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
        c.press();
        ProcessEvents();
        EXPECT_EQ(app->State().projectOpen, 1) << c.what << " works once the splash is gone";
        app->Document().OnClose();
    }
}

TEST(AboutBox, AClickOutsideTheButtonOpensTheHomePageAndTheButtonOnlyCloses) {
    std::vector<QUrl> opened;
    CAboutBox about(nullptr, [&](const QUrl& address) { opened.push_back(address); });
    about.show();
    QTest::mouseClick(about.Credits(), Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseClick(&about, Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseClick(&about, Qt::RightButton, {}, QPoint(2, 2));
    ASSERT_EQ(opened.size(), 2U) << "left clicks on the roll and on the box's edge";
    EXPECT_EQ(opened[0], CAboutBox::HomePageUrl());
    EXPECT_FALSE(opened[0].isEmpty()) << "the README lies beside the test programs";

    QTest::mouseClick(about.CloseButton(), Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(opened.size(), 2U);
}

// Every line and the picture have a size, and the roll rises on its timer.
TEST(AboutBox, TheRollHasItsLinesAndRises) {
    CAboutBox about(nullptr, [](const QUrl&) {});
    CreditsRoll whole = about.Credits()->Roll();
    for (int tick = 0; tick < whole.TotalHeight(); ++tick) {
        whole.Tick();
    }
    const auto placed = whole.Visible(whole.TotalHeight());
    EXPECT_EQ(placed.size(), whole.Lines().size());
    for (const CreditsRoll::Placed& line : placed) {
        EXPECT_GT(line.height, 0) << whole.Lines()[line.line].text;
    }
    about.show();
    QTest::qWait(300);
    EXPECT_FALSE(about.Credits()->Roll().Visible(about.Credits()->height()).empty());
}

} // namespace
} // namespace zelk::test
