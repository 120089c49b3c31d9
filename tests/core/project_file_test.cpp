// SPDX-License-Identifier: GPL-3.0-or-later
#include "scratch_folder.h"
#include "station/project_file.h"
#include "station/recent_projects.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>

namespace zelk {
namespace {

using testing::ReadWholeFile;
using testing::ScratchFolder;
using testing::WriteWholeFile;
using Entries = std::vector<std::string>;

ProjectFileData SampleProject() {
    ProjectFileData data;
    data.projectName = "Blinker & Co";
    data.comment = "rev B, = signs and [brackets]";
    data.flashFile = "/home/ann/boards/blink.hex";
    data.eepromFile = "";
    data.flashWindow = WindowRect{-4, 10, 496, 310};
    data.eepromWindow = std::nullopt;
    data.projectWindow = WindowRect{0, 0, 200, 120};
    return data;
}

// Every value of a project, for comparing two of them at once.
auto Fields(const ProjectFileData& d) {
    return std::make_tuple(d.projectName, d.comment, d.flashFile, d.eepromFile, d.flashWindow,
                           d.eepromWindow, d.projectWindow);
}

TEST(ProjectFile, AFreshFileHoldsTheSevenValuesInOrderAndReadsBack) {
    ScratchFolder folder;
    const auto path = folder / "blink.prj";
    std::string error;
    ASSERT_TRUE(SaveProjectFile(path, SampleProject(), error)) << error;
    EXPECT_EQ(ReadWholeFile(path), "[zelk Project]\r\n"
                                   "ProjectName=Blinker & Co\r\n"
                                   "Comment=rev B, = signs and [brackets]\r\n"
                                   "FlashFile=/home/ann/boards/blink.hex\r\n"
                                   "EEPromFile=\r\n"
                                   "FlashWindow=-4,10,496,310\r\n"
                                   "EEPromWindow=\r\n"
                                   "ProjectWindow=0,0,200,120\r\n"
                                   "CommentFormat=escaped\r\n");
    EXPECT_EQ(Fields(LoadProjectFile(path)), Fields(SampleProject()));
}

// A comment keeps its line breaks and backslashes through a save; a file without the escape
// mark, as older versions wrote it, reads as it stands.
TEST(ProjectFile, CommentsKeepLineBreaksAndOldFilesReadAsBefore) {
    ScratchFolder folder;
    const auto path = folder / "c.prj";
    for (const std::string comment : {"rev B\nfuses: E2 D9\n\nend", "C:\\new\\x",
                                      "\\n is no line break", "trail\\", "crlf\r\nline", "\n"}) {
        ProjectFileData data = SampleProject();
        data.comment = comment;
        std::string error;
        ASSERT_TRUE(SaveProjectFile(path, data, error)) << error;
        EXPECT_EQ(LoadProjectFile(path).comment, comment);
    }

    struct OldFile {
        const char* comment;
        const char* expected;
    };
    for (const OldFile old : {OldFile{"C:\\new\\board", "C:\\new\\board"},
                              OldFile{"two\\\\slashes", "two\\\\slashes"}}) {
        WriteWholeFile(path, std::string("[zelk Project]\r\nComment=") + old.comment + "\r\n");
        EXPECT_EQ(LoadProjectFile(path).comment, old.expected);
    }
}

TEST(ProjectFile, ParsesWindowRectanglesStrictly) {
    const std::pair<std::string_view, std::optional<WindowRect>> cases[] = {
        {"0,0,500,400", WindowRect{0, 0, 500, 400}},
        {" 1, 2 ,3,4 ", WindowRect{1, 2, 3, 4}},
        {"2147483647,-2147483648,0,0", WindowRect{2147483647, -2147483647 - 1, 0, 0}},
        {"", std::nullopt},
        {"1,2,3", std::nullopt},
        {"1,2,3,4x", std::nullopt},
        {"1,,3,4", std::nullopt},
        {"+-1,2,3,4", std::nullopt},
        {"2147483648,0,0,0", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(ParseWindowRect(text), expected) << text;
        if (expected) {
            EXPECT_EQ(ParseWindowRect(FormatWindowRect(*expected)), expected) << text;
        }
    }
}

// A path that holds no project file is reported as what it is and leaves the data untouched;
// loading it, or a file without the project's section, gives the defaults.
TEST(ProjectFile, ReadingSaysWhyAPathGivesNoProjectAndLoadingGivesTheDefaults) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder / "folder.prj");
    ASSERT_EQ(::mkfifo((folder / "fifo.prj").c_str(), 0600), 0);
    WriteWholeFile(folder / "other.prj", "[Something else]\r\nProjectName=x\r\n");
    const std::pair<const char*, const char*> cases[] = {
        {"none.prj", "no such project file"},
        {"folder.prj", "is a folder, not a file"},
        {"fifo.prj", "is not a regular file"},
        {"other.prj", nullptr},
    };
    for (const auto& [name, reason] : cases) {
        SCOPED_TRACE(name);
        ProjectFileData data;
        data.projectName = "Kept";
        std::string error;
        const bool read = ReadProjectFile(folder / name, data, error);
        EXPECT_EQ(read, reason == nullptr);
        if (read) {
            EXPECT_EQ(Fields(data), Fields(ProjectFileData{}));
        } else {
            EXPECT_EQ(error, (folder / name).string() + ": " + reason);
            EXPECT_EQ(data.projectName, "Kept");
        }
        EXPECT_EQ(Fields(LoadProjectFile(folder / name)), Fields(ProjectFileData{}));
    }

    WriteWholeFile(folder / "part.prj",
                   "[zelk Project]\r\nComment=\r\nFlashWindow=1,2,3\r\nProjectWindow=5,6,7,8\r\n");
    const ProjectFileData loaded = LoadProjectFile(folder / "part.prj");
    EXPECT_EQ(loaded.comment, "") << "a present empty value is no absent one";
    EXPECT_EQ(loaded.flashWindow, std::nullopt);
    EXPECT_EQ(loaded.projectWindow, (WindowRect{5, 6, 7, 8}));
}

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
