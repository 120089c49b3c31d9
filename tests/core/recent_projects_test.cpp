#include "app/recent_projects.h"
#include "app/settings_store.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

namespace zelk {
namespace {

using testing::ScratchFolder;
using Entries = std::vector<std::string>;

TEST(RecentProjects, KeepsFourMostRecentFirstIgnoringCase) {
    struct Case {
        const char* what;
        std::vector<std::string> added;
        Entries expected;
    };
    const Case cases[] = {
        {"newest on top", {"/p/a.prj", "/p/b.prj"}, {"/p/b.prj", "/p/a.prj"}},
        {"a fifth drops the oldest",
         {"/p/1.prj", "/p/2.prj", "/p/3.prj", "/p/4.prj", "/p/5.prj"},
         {"/p/5.prj", "/p/4.prj", "/p/3.prj", "/p/2.prj"}},
        {"a known path moves to the top",
         {"/p/1.prj", "/p/2.prj", "/p/3.prj", "/P/1.PRJ"},
         {"/P/1.PRJ", "/p/3.prj", "/p/2.prj"}},
        {"dots are resolved before comparing", {"/p/q/../a.prj", "/p/./a.prj"}, {"/p/a.prj"}},
        {"an empty name is ignored", {"/p/a.prj", ""}, {"/p/a.prj"}},
    };
    for (const Case& c : cases) {
        RecentProjectList list;
        for (const std::string& path : c.added) {
            list.Add(path);
        }
        EXPECT_EQ(list.Entries(), c.expected) << c.what;
    }
}

TEST(RecentProjects, CompletesARelativeNameAgainstTheCurrentFolder) {
    ScratchFolder folder;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    RecentProjectList list;
    list.Add(".prj"); // Save project with an empty title
    list.Add("sub/../blink.prj");
    std::filesystem::current_path(previous);

    const std::filesystem::path here = std::filesystem::canonical(folder.Path());
    EXPECT_EQ(list.Entries(), (Entries{(here / "blink.prj").string(), (here / ".prj").string()}));
}

TEST(RecentProjects, SurvivesTheSettingsStoreAndClearsStaleEntries) {
    ScratchFolder folder;
    testing::ConfigHomeAt configHome(folder.Path());
    ASSERT_TRUE(WriteSettingString("Recent File List", "File4", "/stale/x.prj"));
    RecentProjectList list;
    list.Add("/p/old.prj");
    list.Add("/p/new.prj");
    ASSERT_TRUE(list.SaveToSettings());

    RecentProjectList loaded;
    loaded.LoadFromSettings();
    EXPECT_EQ(loaded.Entries(), (Entries{"/p/new.prj", "/p/old.prj"}));
    EXPECT_EQ(ReadSettingString("Recent File List", "File1", ""), "/p/new.prj");
    EXPECT_EQ(ReadSettingString("Recent File List", "File4", ""), "");
}

TEST(RecentProjects, MenuTextNumbersTheEntryAndShortensForeignPaths) {
    struct Case {
        int index;
        const char* path;
        const char* currentFolder;
        const char* expected;
    };
    const Case cases[] = {
        {0, "/home/ann/boards/blink.prj", "/home/ann/boards", "&1 blink.prj"},
        {1, "/home/ann/boards/blink.prj", "/HOME/ann/boards/", "&2 blink.prj"},
        {2, "/srv/a.prj", "/home/ann", "&3 /srv/a.prj"},
        {3, "/home/ann/projects/customer/board-7/main.prj", "/tmp",
         "&4 /home/.../board-7/main.prj"},
        {0, "/srv/R&D/a.prj", "/", "&1 /srv/R&&D/a.prj"},
        {0, "/srv/R&D/a.prj", "/srv/R&D", "&1 a.prj"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RecentProjectList::MenuText(c.index, c.path, c.currentFolder), c.expected)
            << c.path;
    }
}

TEST(RecentProjects, ShortenedPathsNeverExceedTheLimit) {
    const std::pair<std::string, std::string> cases[] = {
        {"/a/b/c.prj", "/a/b/c.prj"},
        {"/home/ann/projects/customer/board-7/main.prj", "/home/.../board-7/main.prj"},
        {"/very-long-top-folder-name/x/y/main.prj", ".../x/y/main.prj"},
        {"/home/" + std::string(40, 'f') + ".prj", "fffffffffffffffffffffffffff..."},
        {"/home/ann/Pläne/Überlänge/Schaltung-ä.prj", "/home/.../Schaltung-ä.prj"},
        {"/srv/äääää/öööööö/üüüüüü.prj", "/srv/äääää/öööööö/üüüüüü.prj"},
        {"relative/folder/deeper/still/project.prj", "relative/.../still/project.prj"},
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(RecentProjectList::ShortenPath(path, 30), expected) << path;
    }
}

} // namespace
} // namespace zelk
