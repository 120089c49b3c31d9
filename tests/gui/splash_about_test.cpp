#include "about/about_box.h"
#include "about/credits_scroller.h"
#include "about/splash_screen.h"
#include "gui_test_support.h"
#include "shell/command_ids.h"

#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <QToolBar>

namespace zelk {
namespace {

using test::ProcessEvents;

class SplashTest : public test::AppTest {
protected:
    void TearDown() override {
        if (CSplashScreen::Current() != nullptr) {
            CSplashScreen::Current()->Close();
        }
        CSplashScreen::Enable(false);
        AppTest::TearDown();
    }
};

TEST_F(SplashTest, ShowsOnlyWhenEnabledAndGoesOnItsTimer) {
    Start();
    CSplashScreen::Show(frame);
    EXPECT_EQ(CSplashScreen::Current(), nullptr) << "off unless the command line allows it";
    QEvent press(QEvent::KeyPress);
    EXPECT_FALSE(CSplashScreen::FilterMessage(&press));

    CSplashScreen::Enable(true);
    CSplashScreen::Show(frame, 50);
    CSplashScreen* splash = CSplashScreen::Current();
    ASSERT_NE(splash, nullptr);
    EXPECT_TRUE(splash->isVisible());
    EXPECT_EQ(splash->size(), QSize(CSplashScreen::Width, CSplashScreen::Height));
    CSplashScreen::Show(frame);
    EXPECT_EQ(CSplashScreen::Current(), splash) << "one at a time";

    QTest::qWait(200);
    EXPECT_EQ(CSplashScreen::Current(), nullptr);
}

TEST_F(SplashTest, TheFirstKeyOrClickOnlyClosesTheSplash) {
    Start();
    CSplashScreen::Enable(true);
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
        CSplashScreen::Show(frame);
        ASSERT_NE(CSplashScreen::Current(), nullptr) << c.what;
        c.press();
        ProcessEvents();
        EXPECT_EQ(CSplashScreen::Current(), nullptr) << c.what;
        EXPECT_EQ(app->State().projectOpen, 0) << c.what << " must not reach its command";
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
        c.press();
        ProcessEvents();
        EXPECT_EQ(app->State().projectOpen, 1) << c.what << " works once the splash is gone";
        app->CloseProject();
    }
}

TEST(AboutBox, AClickOutsideTheButtonOpensTheHomePageAndTheButtonOnlyCloses) {
    std::vector<QUrl> opened;
    CAboutBox about(nullptr, [&](const QUrl& address) { opened.push_back(address); });
    about.show();
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About zelk"));
    EXPECT_EQ(about.CloseButton()->text(),
              QStringLiteral("Thank you, I've seen enough already, now take it away !"));
    EXPECT_EQ(about.Credits()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_NE(about.cursor().shape(), Qt::PointingHandCursor);

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

TEST(AboutBox, TheRollRisesOnePixelEveryTwentyMilliseconds) {
    CAboutBox about(nullptr, [](const QUrl&) {});
    const CreditsRoll& roll = about.Credits()->Roll();
    EXPECT_EQ(roll.Lines().size(), 27U);
    EXPECT_EQ(roll.Lines()[0].kind, CreditKind::Title);
    EXPECT_EQ(roll.Lines()[3].kind, CreditKind::Picture);
    EXPECT_TRUE(about.Credits()->Rolling());
    EXPECT_EQ(about.Credits()->Interval(), 20);
    for (const CreditsRoll::Placed& line : roll.Visible(about.Credits()->height())) {
        EXPECT_GT(line.height, 0) << "every line and the picture have a size";
    }
    about.show();
    QTest::qWait(300);
    EXPECT_FALSE(roll.Visible(about.Credits()->height()).empty()) << "the title has risen";
}

} // namespace
} // namespace zelk
