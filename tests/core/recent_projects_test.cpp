#include "app/recent_projects.h"

#include <gtest/gtest.h>

namespace zelk {
namespace {

using Entries = std::vector<std::string>;

TEST(RecentProjects, KeepsFourMostRecentFirst) {
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
         {"/p/1.prj", "/p/2.prj", "/p/3.prj", "/p/1.prj"},
         {"/p/1.prj", "/p/3.prj", "/p/2.prj"}},
        {"names that differ in case are two files",
         {"/home/a/board.prj", "/home/a/Board.prj"},
         {"/home/a/Board.prj", "/home/a/board.prj"}},
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

TEST(RecentProjects, MenuTextNumbersTheEntryAndShortensForeignPaths) {
    struct Case {
        int index;
        std::string path;
        const char* currentFolder;
        const char* expected;
    };
    const Case cases[] = {
        {0, "/home/ann/boards/blink.prj", "/home/ann/boards", "&1 blink.prj"},
        {2, "/srv/a.prj", "/home/ann", "&3 /srv/a.prj"},
        {3, "/home/ann/projects/customer/board-7/main.prj", "/tmp",
         "&4 /home/.../board-7/main.prj"},
        {0, "/srv/R&D/a.prj", "/", "&1 /srv/R&&D/a.prj"},
        {0, "/srv/R&D/a.prj", "/srv/R&D", "&1 a.prj"},
        {0, "/srv/Boards/a.prj", "/srv/boards", "&1 /srv/Boards/a.prj"},
        {1, "/home/ann/Pläne/Überlänge/Schaltung-ä.prj", "/", "&2 /home/.../Schaltung-ä.prj"},
        {2, "/home/" + std::string(40, 'f') + ".prj", "/", "&3 fffffffffffffffffffffffffff..."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RecentProjectList::MenuText(c.index, c.path, c.currentFolder), c.expected)
            << c.path;
    }
}

} // namespace
} // namespace zelk
