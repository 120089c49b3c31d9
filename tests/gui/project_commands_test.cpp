#include "gui_test_support.h"
#include "memory/memory_view.h"
#include "shell/child_frame.h"
#include "shell/command_ids.h"
#include "shell/mdi_client.h"
#include "shell/project_form.h"

#include <QLineEdit>
#include <QPlainTextEdit>

namespace zelk::test {
namespace {

class ProjectTest : public AppTest {
protected:
    void NewProject(const QString& title = {}) {
        frame->Action(cmd::NewProject)->trigger();
        ProcessEvents();
        if (!title.isEmpty()) {
            app->ProjectFrame()->Form()->TitleEdit()->setText(title);
        }
    }

    QList<QMdiSubWindow*> Children() const { return frame->MdiClient()->subWindowList(); }
    QMdiSubWindow* Active() const { return frame->MdiClient()->activeSubWindow(); }
};

// Closing the project window by its close box is Close project: the menu returns to the start
// menu and the memory windows go too, instead of lingering hidden.
TEST_F(ProjectTest, ProjectWindowCloseBoxClosesTheProject) {
    Start();
    NewProject();
    ASSERT_EQ(Children().size(), 3);
    app->ProjectFrame()->close();
    ProcessEvents();
    EXPECT_EQ(app->State().projectOpen, 0);
    EXPECT_TRUE(Children().isEmpty());
    EXPECT_EQ(app->FlashFrame(), nullptr);
    EXPECT_FALSE(frame->ShowsProjectMenu());
    EXPECT_FALSE(frame->Action(cmd::SaveProject)->isEnabled());
}

TEST_F(ProjectTest, SaveAndOpenRestoreTextsAndWindowPlaces) {
    Start();
    NewProject("Bench");
    app->ProjectFrame()->Form()->CommentEdit()->setPlainText("Board rev B");
    app->FlashFrame()->setGeometry(10, 20, 300, 200);
    app->EepromFrame()->setGeometry(30, 40, 320, 180);
    app->ProjectFrame()->move(50, 60);
    frame->Action(cmd::SaveProject)->trigger();
    const std::filesystem::path saved = folder / "Bench.prj";
    ASSERT_TRUE(std::filesystem::exists(saved));

    frame->Action(cmd::CloseProject)->trigger();
    ProcessEvents();
    dialogs->openAnswers.push_back(saved);
    frame->Action(cmd::OpenProject)->trigger();
    ProcessEvents();

    EXPECT_EQ(app->State().projectName, "Bench");
    EXPECT_EQ(app->ProjectFrame()->Form()->CommentEdit()->toPlainText(), "Board rev B");
    EXPECT_EQ(app->FlashFrame()->geometry(), QRect(10, 20, 300, 200));
    EXPECT_EQ(app->EepromFrame()->geometry(), QRect(30, 40, 320, 180));
    EXPECT_EQ(app->ProjectFrame()->pos(), QPoint(50, 60));
    EXPECT_EQ(Active(), app->FlashFrame());
    EXPECT_EQ(app->FlashFrame()->windowTitle(), "Bench - Flash");
}

TEST_F(ProjectTest, AProjectFileThatCannotBeWrittenIsReported) {
    Start();
    NewProject("Lost");
    dialogs->saveAnswers.push_back(folder / "missing folder" / "Lost.prj");
    frame->Action(cmd::SaveProjectAs)->trigger();
    ASSERT_EQ(dialogs->messages.size(), 1u);
    EXPECT_NE(dialogs->messages[0].find("Lost.prj"), std::string::npos);
    EXPECT_EQ(app->State().projectOpen, 1);
}

TEST_F(ProjectTest, RecentEntriesAreNewestFirstAndAtMostFour) {
    Start();
    EXPECT_TRUE(frame->EmptyRecentEntry()->isVisible());
    EXPECT_FALSE(frame->EmptyRecentEntry()->isEnabled());
    for (const char* title : {"p1", "p2", "p3", "p4", "p5"}) {
        NewProject(title);
        frame->Action(cmd::SaveProject)->trigger();
    }
    frame->UpdateCommandStates();
    EXPECT_FALSE(frame->EmptyRecentEntry()->isVisible());
    for (int i = 0; i < 4; ++i) {
        QAction* entry = frame->Action(cmd::RecentFirst + i);
        EXPECT_TRUE(entry->isVisible() && entry->isEnabled()) << i;
        EXPECT_TRUE(entry->text().startsWith(QStringLiteral("&%1 ").arg(i + 1)) &&
                    entry->text().contains(QStringLiteral("p%1").arg(5 - i)))
            << entry->text().toStdString();
    }

    // The list survives a restart, and an entry opens its project with the flash window active.
    Quit();
    Start();
    frame->Action(cmd::RecentFirst + 2)->trigger();
    ProcessEvents();
    EXPECT_EQ(app->State().projectName, "p3");
    EXPECT_EQ(Active(), app->FlashFrame());
}

} // namespace
} // namespace zelk::test
