// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_test_support.h"
#include "memory/memory_view.h"
#include "shell/child_frame.h"
#include "shell/command_ids.h"
#include "shell/mdi_client.h"
#include "shell/project_form.h"
#include "station/project_file.h"

#include <cstdlib>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTest>

namespace zelk::test {
namespace {

class ProjectTest : public AppTest {
protected:
    void NewProject(const QString& title = {}) {
        Trigger(cmd::NewProject);
        if (!title.isEmpty()) {
            app->ProjectFrame()->Form()->TitleEdit()->setText(title);
        }
    }

    QList<QMdiSubWindow*> Children() const { return frame->MdiClient()->subWindowList(); }
    QMdiSubWindow* Active() const { return frame->MdiClient()->activeSubWindow(); }
};

// A cancelled Open keeps the open project. Closing the project window by its close box is
// Close project: the menu returns to the start menu and the memory windows go too, instead of
// lingering hidden.
TEST_F(ProjectTest, CancelledOpenKeepsTheProjectAndItsCloseBoxClosesIt) {
    Start();
    NewProject();
    CChildFrame* project = app->ProjectFrame();
    dialogs->openAnswers.push_back(std::nullopt);
    Trigger(cmd::OpenProject);
    EXPECT_TRUE(dialogs->openAnswers.empty()) << "the open dialog was shown";
    EXPECT_EQ(app->State().projectOpen, 1);
    EXPECT_EQ(app->ProjectFrame(), project);
    ASSERT_EQ(Children().size(), 3);
    EXPECT_TRUE(frame->ShowsProjectMenu());

    project->close();
    ProcessEvents();
    EXPECT_EQ(app->State().projectOpen, 0);
    EXPECT_TRUE(Children().isEmpty());
    EXPECT_EQ(app->FlashFrame(), nullptr);
    EXPECT_FALSE(frame->ShowsProjectMenu());
    EXPECT_FALSE(frame->Action(cmd::SaveProject)->isEnabled());
}

// The first save of a new project asks where, offering the title; later saves write that
// file in place, whatever the title says. Open restores the texts and the window places.
TEST_F(ProjectTest, SaveAndOpenRestoreTextsAndWindowPlaces) {
    Start();
    frame->resize(1000, 800);
    NewProject("Bench");
    app->ProjectFrame()->Form()->CommentEdit()->setPlainText("Board rev B\nfuses E2 D9");
    app->FlashFrame()->setGeometry(10, 20, 300, 200);
    app->EepromFrame()->setGeometry(30, 40, 320, 180);
    app->ProjectFrame()->move(50, 60);
    // A minimised window is stored as the window it returns to, not as a title bar.
    app->EepromFrame()->showMinimized();
    ProcessEvents();
    const std::filesystem::path chosen = folder / "chosen.prj";
    dialogs->saveAnswers.push_back(chosen);
    frame->Action(cmd::SaveProject)->trigger();
    EXPECT_EQ(dialogs->saveOffered, std::vector{folder / "Bench.prj"});
    app->ProjectFrame()->Form()->TitleEdit()->setText("Renamed");
    frame->Action(cmd::SaveProject)->trigger();
    EXPECT_EQ(dialogs->saveOffered.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(folder / "Bench.prj"));
    EXPECT_FALSE(std::filesystem::exists(folder / "Renamed.prj"));

    Trigger(cmd::CloseProject);
    dialogs->openAnswers.push_back(chosen);
    Trigger(cmd::OpenProject);
    EXPECT_EQ(app->State().projectName, "Renamed");
    EXPECT_EQ(app->ProjectFrame()->Form()->CommentEdit()->toPlainText(),
              "Board rev B\nfuses E2 D9");
    EXPECT_EQ(app->FlashFrame()->geometry(), QRect(10, 20, 300, 200));
    EXPECT_EQ(app->EepromFrame()->geometry(), QRect(30, 40, 320, 180));
    EXPECT_EQ(app->ProjectFrame()->pos(), QPoint(50, 60));
    EXPECT_EQ(Active(), app->FlashFrame());
    EXPECT_EQ(app->FlashFrame()->windowTitle(), "Renamed - Flash");
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
        dialogs->saveAnswers.push_back(folder / (std::string(title) + ".prj"));
        frame->Action(cmd::SaveProject)->trigger();
    }
    frame->UpdateCommandStates();
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

// zelk started from a folder that was deleted since: saving offers the home folder and
// nothing throws.
TEST_F(ProjectTest, ADeletedWorkingFolderFallsBackToHome) {
    const std::filesystem::path home =
        folder.parent_path() / (folder.filename().string() + "-home");
    std::filesystem::create_directories(home);
    const std::string previousHome = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    setenv("HOME", home.c_str(), 1);
    Start();
    NewProject("Gone");
    std::filesystem::remove_all(folder);
    dialogs->saveAnswers.push_back(std::filesystem::path("relative.prj"));
    frame->Action(cmd::SaveProject)->trigger();
    frame->Action(cmd::SaveProjectAs)->trigger();
    frame->UpdateCommandStates();
    ASSERT_EQ(dialogs->saveOffered.size(), 2u);
    EXPECT_EQ(dialogs->saveOffered[0], home / "Gone.prj");
    EXPECT_TRUE(std::filesystem::exists(home / "relative.prj"));
    EXPECT_EQ(dialogs->saveOffered[1], home / "Gone.prj");
    setenv("HOME", previousHome.c_str(), 1);
    std::filesystem::remove_all(home);
}

// A memory window closed by its close box gives up being the active window, so Load File
// cannot go into a window nobody sees; the Window menu shows it again.
TEST_F(ProjectTest, AHiddenMemoryWindowIsNotActiveAndCanBeShownAgain) {
    Start();
    NewProject();
    QMdiSubWindow* flash = app->FlashFrame();
    frame->MdiClient()->setActiveSubWindow(flash);
    flash->close();
    ProcessEvents();
    EXPECT_FALSE(flash->isVisible());
    ASSERT_NE(Active(), nullptr);
    EXPECT_NE(Active(), flash);
    EXPECT_TRUE(Active()->isVisible());

    frame->RebuildWindowList();
    QAction* entry = nullptr;
    for (QAction* action : frame->WindowMenu()->actions()) {
        if (action->text().contains("Untitled - Flash")) {
            entry = action;
        }
    }
    ASSERT_NE(entry, nullptr);
    entry->trigger();
    EXPECT_TRUE(flash->isVisible());
    EXPECT_EQ(Active(), flash);
}

// Every window of a new project shows its title bar inside the area, none under another; the
// project window, asked to maximise, stays a normal window with its frame.
TEST_F(ProjectTest, NewWindowsAreAllInSightAndTheProjectWindowDoesNotMaximise) {
    Start();
    frame->resize(1280, 900);
    NewProject();
    const QList<QMdiSubWindow*> stack = frame->MdiClient()->subWindowList(QMdiArea::StackingOrder);
    const QRect area = frame->MdiClient()->viewport()->rect();
    ASSERT_EQ(stack.size(), 3);
    for (qsizetype i = 0; i < stack.size(); ++i) {
        const QRect window = stack[i]->geometry();
        const QPoint title = window.topLeft() + QPoint(window.width() / 2, 6);
        EXPECT_TRUE(area.contains(title)) << stack[i]->windowTitle().toStdString();
        for (qsizetype above = i + 1; above < stack.size(); ++above) {
            EXPECT_FALSE(stack[above]->geometry().contains(window.topLeft() + QPoint(8, 6)))
                << stack[i]->windowTitle().toStdString() << " under "
                << stack[above]->windowTitle().toStdString();
        }
    }

    app->ProjectFrame()->showMaximized();
    ProcessEvents();
    EXPECT_FALSE(app->ProjectFrame()->isMaximized());
    EXPECT_EQ(frame->Menus()->cornerWidget(Qt::TopRightCorner), nullptr);
    EXPECT_FALSE(app->ProjectFrame()->windowFlags() & Qt::WindowMaximizeButtonHint);
}

// Closing a project, or the main window, asks about edited images and project text; Cancel
// stays, Discard goes on, Save writes first.
TEST_F(ProjectTest, UnsavedEditsAreAskedAbout) {
    Start();
    NewProject();
    // Nothing edited: nothing asked.
    Trigger(cmd::CloseProject);
    EXPECT_TRUE(dialogs->questions.empty());
    EXPECT_EQ(app->State().projectOpen, 0);

    NewProject();
    CMemoryView* flash = app->FlashFrame()->View();
    flash->Grid().setFocus();
    QTest::keyClicks(&flash->Grid(), "5");
    EXPECT_TRUE(flash->IsModified());
    EXPECT_EQ(app->FlashFrame()->windowTitle(), "Untitled - Flash *");
    app->ProjectFrame()->Form()->CommentEdit()->setPlainText("new words");

    dialogs->choices = {SaveChoice::Cancel};
    Trigger(cmd::CloseProject);
    EXPECT_EQ(app->State().projectOpen, 1);
    EXPECT_EQ(dialogs->questions.size(), 1u);

    // Exit asks too, and Cancel keeps zelk running.
    dialogs->choices = {SaveChoice::Discard, SaveChoice::Cancel};
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(dialogs->questions.size(), 3u);

    dialogs->choices = {SaveChoice::Discard, SaveChoice::Save};
    dialogs->saveAnswers.push_back(folder / "Edits.prj");
    Trigger(cmd::CloseProject);
    EXPECT_EQ(app->State().projectOpen, 0);
    EXPECT_EQ(LoadProjectFile(folder / "Edits.prj").comment, "new words");
}

} // namespace
} // namespace zelk::test
