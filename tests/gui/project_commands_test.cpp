#include "app/command_ids.h"
#include "gui_test_support.h"
#include "memory/memory_view.h"
#include "shell/child_frame.h"
#include "shell/mdi_client.h"
#include "shell/project_form.h"

#include <fstream>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace zelk::test {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ProjectTest : public AppTest {
protected:
    void NewProject(const QString& title = {}, const QString& comment = {}) {
        frame->Action(cmd::NewProject)->trigger();
        ProcessEvents();
        if (!title.isEmpty()) {
            app->ProjectFrame()->Form()->TitleEdit()->setText(title);
        }
        if (!comment.isEmpty()) {
            app->ProjectFrame()->Form()->CommentEdit()->setPlainText(comment);
        }
    }

    QList<QMdiSubWindow*> Children() const { return frame->MdiClient()->subWindowList(); }
    QMdiSubWindow* Active() const { return frame->MdiClient()->activeSubWindow(); }
};

TEST_F(ProjectTest, NewProjectOpensThreeWindowsWithTheProjectWindowActive) {
    Start();
    app->State().flashImage[5] = 0x12;
    NewProject();
    ASSERT_EQ(Children().size(), 3);
    EXPECT_EQ(Active(), app->ProjectFrame());
    EXPECT_EQ(app->FlashFrame()->windowTitle(), "Untitled - Flash");
    EXPECT_EQ(app->EepromFrame()->windowTitle(), "Untitled - EEProm");
    EXPECT_EQ(app->ProjectFrame()->Form()->TitleEdit()->text(), "Untitled");
    EXPECT_EQ(app->State().flashImage[5], 0xFF);
    EXPECT_EQ(app->State().projectOpen, 1);
    // Shrunk to its form and not resizable.
    const QSize size = app->ProjectFrame()->size();
    EXPECT_EQ(app->ProjectFrame()->minimumSize(), size);
    EXPECT_EQ(app->ProjectFrame()->maximumSize(), size);
}

// Closing the project window by its close box is Close project: the menu returns to the start
// menu and the memory windows go too, instead of lingering hidden.
TEST_F(ProjectTest, ProjectWindowCloseBoxClosesTheProject) {
    Start();
    NewProject();
    app->ProjectFrame()->close();
    ProcessEvents();
    EXPECT_EQ(app->State().projectOpen, 0);
    EXPECT_TRUE(Children().isEmpty());
    EXPECT_EQ(app->FlashFrame(), nullptr);
    EXPECT_FALSE(frame->ShowsProjectMenu());
    EXPECT_FALSE(frame->Action(cmd::SaveProject)->isEnabled());
}

TEST_F(ProjectTest, MemoryWindowCloseBoxOnlyHidesIt) {
    Start();
    NewProject();
    CMyChildFrame* flash = app->FlashFrame();
    flash->close();
    ProcessEvents();
    ASSERT_EQ(app->FlashFrame(), flash);
    EXPECT_TRUE(flash->isHidden());
    EXPECT_EQ(app->State().projectOpen, 1);
    EXPECT_TRUE(frame->ShowsProjectMenu());
}

TEST_F(ProjectTest, NewProjectReplacesTheOpenOneAndKeepsTheComment) {
    Start();
    NewProject("First", "kept comment");
    frame->Action(cmd::SaveProject)->trigger();
    NewProject();
    ProcessEvents();
    EXPECT_EQ(Children().size(), 3);
    EXPECT_EQ(app->ProjectFrame()->Form()->CommentEdit()->toPlainText(), "kept comment");
}

TEST_F(ProjectTest, SaveAndOpenRestoreTextsAndWindowPlaces) {
    Start();
    NewProject("Bench", "Board rev B");
    app->FlashFrame()->setGeometry(10, 20, 300, 200);
    app->EepromFrame()->setGeometry(30, 40, 320, 180);
    app->ProjectFrame()->move(50, 60);
    frame->Action(cmd::SaveProject)->trigger();

    const std::filesystem::path saved = folder / "Bench.prj";
    ASSERT_TRUE(std::filesystem::exists(saved));
    EXPECT_NE(ReadFile(saved).find("FlashWindow=10,20,310,220"), std::string::npos);
    ASSERT_FALSE(app->RecentProjects().Entries().empty());
    EXPECT_EQ(std::filesystem::path(app->RecentProjects().Entries().front()), saved);

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

TEST_F(ProjectTest, AWindowWithoutAUsableStoredPlaceStaysWhereItWasCreated) {
    Start();
    std::ofstream(folder / "odd.prj") << "[zelk Project]\r\nProjectName=Odd\r\n"
                                         "FlashWindow=1,2,x,4\r\nEEPromWindow=5,6,205,106\r\n";
    dialogs->openAnswers.push_back(folder / "odd.prj");
    frame->Action(cmd::OpenProject)->trigger();
    ProcessEvents();
    EXPECT_EQ(app->EepromFrame()->geometry(), QRect(5, 6, 200, 100));
    EXPECT_NE(app->FlashFrame()->pos(), QPoint(1, 2));
    EXPECT_GT(app->FlashFrame()->width(), 100);
}

TEST_F(ProjectTest, CancelledOpenLeavesNoProjectOpen) {
    Start();
    NewProject();
    dialogs->openAnswers.push_back(std::nullopt);
    frame->Action(cmd::OpenProject)->trigger();
    ProcessEvents();
    EXPECT_EQ(app->State().projectOpen, 0);
    EXPECT_TRUE(Children().isEmpty());
}

// Save project writes beside the file the project came from, and the recent entry names it.
TEST_F(ProjectTest, SaveProjectWritesBesideTheFileItWasOpenedFrom) {
    Start();
    std::filesystem::create_directories(folder / "boards");
    NewProject("Other");
    dialogs->saveAnswers.push_back(folder / "boards" / "named differently.prj");
    frame->Action(cmd::SaveProjectAs)->trigger();
    EXPECT_EQ(dialogs->offeredNames, std::vector<std::string>{"Other.prj"});
    ASSERT_TRUE(std::filesystem::exists(folder / "boards" / "named differently.prj"));

    frame->Action(cmd::SaveProject)->trigger();
    EXPECT_TRUE(std::filesystem::exists(folder / "boards" / "Other.prj"));
    EXPECT_FALSE(std::filesystem::exists(folder / "Other.prj"));
    EXPECT_EQ(std::filesystem::path(app->RecentProjects().Entries().front()),
              folder / "boards" / "Other.prj");
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
    for (const char* title : {"p1", "p2", "p3", "p4", "p5"}) {
        NewProject(title);
        frame->Action(cmd::SaveProject)->trigger();
    }
    frame->UpdateCommandStates();
    QStringList shown;
    for (int id = cmd::RecentFirst; id <= cmd::RecentLast; ++id) {
        QAction* entry = frame->Action(id);
        EXPECT_TRUE(entry->isVisible());
        EXPECT_TRUE(entry->isEnabled());
        shown << entry->text();
    }
    EXPECT_FALSE(frame->EmptyRecentEntry()->isVisible());
    ASSERT_EQ(shown.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(shown[i].startsWith(QStringLiteral("&%1 ").arg(i + 1)))
            << shown[i].toStdString();
        EXPECT_TRUE(shown[i].contains(QStringLiteral("p%1").arg(5 - i))) << shown[i].toStdString();
    }

    // The list survives a restart, and an entry opens its project with the flash window active.
    Quit();
    Start();
    ASSERT_EQ(app->RecentProjects().Entries().size(), 4u);
    frame->Action(cmd::RecentFirst + 2)->trigger();
    ProcessEvents();
    EXPECT_EQ(app->State().projectName, "p3");
    EXPECT_EQ(Active(), app->FlashFrame());
}

} // namespace
} // namespace zelk::test
