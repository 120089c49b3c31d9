#include "app/settings_store.h"
#include "scratch_folder.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>

namespace zelk {
namespace {

using testing::ReadWholeFile;
using testing::ScratchFolder;
using testing::WriteWholeFile;

// Points the store at a scratch folder and restores the environment afterwards.
class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
            savedConfigHome = old;
        }
        ::setenv("XDG_CONFIG_HOME", folder.Path().c_str(), 1);
    }
    void TearDown() override {
        if (savedConfigHome) {
            ::setenv("XDG_CONFIG_HOME", savedConfigHome->c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
    }
    std::filesystem::path StoreFile() const { return folder / "Brasswick" / "zelk.conf"; }

    ScratchFolder folder;
    std::optional<std::string> savedConfigHome;
};

TEST_F(SettingsStore, LivesUnderTheConfigFolderOfTheMoment) {
    EXPECT_EQ(SettingsFilePath(), StoreFile());
    ::setenv("XDG_CONFIG_HOME", "relative/path", 1); // not absolute: ignored
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(SettingsFilePath(), std::filesystem::path(home) / ".config/Brasswick/zelk.conf");
}

TEST_F(SettingsStore, WritesCreateTheFolderAndReadBack) {
    ASSERT_TRUE(WriteSettingString("Settings", "Comport", "COM3"));
    ASSERT_TRUE(WriteSettingInt("Preferences", "Interface", 65535));
    EXPECT_EQ(ReadSettingString("settings", "COMPORT", "COM2"), "COM3");
    EXPECT_EQ(ReadSettingInt("Preferences", "Interface", 0), 65535);
}

TEST_F(SettingsStore, NamesDifferingOnlyInCaseAreOneValue) {
    ASSERT_TRUE(WriteSettingInt("Preferences", "location", 5));
    ASSERT_TRUE(WriteSettingInt("PREFERENCES", "Location", 7));
    EXPECT_EQ(ReadSettingInt("Preferences", "Location", 0), 7);
    EXPECT_EQ(ReadWholeFile(StoreFile()), "[Preferences]\r\nlocation=7\r\n");
}

TEST_F(SettingsStore, ReadsTheCallersDefaultForWhatIsNoNumber) {
    std::filesystem::create_directories(StoreFile().parent_path());
    WriteWholeFile(StoreFile(), "[Settings]\nBits=7\nParity=odd\nStopbits=\nSpeed=0x10\n"
                                "Length=3 digits\n");
    const std::pair<std::string_view, int> cases[] = {
        {"Bits", 7},   {"Parity", -1}, {"Stopbits", -1},
        {"Speed", 16}, {"Length", 3},  {"Missing", -1},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(ReadSettingInt("Settings", name, -1), expected) << name;
    }
}

TEST_F(SettingsStore, ReadingNeverWritesAndABrokenStoreReadsAsDefaults) {
    EXPECT_EQ(ReadSettingString("MainWindow", "Position", "0,0,500,400"), "0,0,500,400");
    EXPECT_FALSE(std::filesystem::exists(folder / "Brasswick"));

    // A folder where the file should be cannot be read or replaced.
    std::filesystem::create_directories(StoreFile());
    EXPECT_EQ(ReadSettingInt("Preferences", "PortBase", 2), 2);
    EXPECT_FALSE(WriteSettingInt("Preferences", "PortBase", 1));

    std::filesystem::remove(StoreFile());
    WriteWholeFile(StoreFile(), std::string("\0\xFF\xFE[\x01=\n", 7));
    EXPECT_EQ(ReadSettingString("Settings", "Comport", "COM2"), "COM2");
}

TEST_F(SettingsStore, AWriteThatCannotHappenSaysSo) {
    WriteWholeFile(folder / "Brasswick", "a file, not a folder");
    EXPECT_FALSE(WriteSettingString("Settings", "Speed", "9600"));
    EXPECT_EQ(ReadWholeFile(folder / "Brasswick"), "a file, not a folder");
}

TEST_F(SettingsStore, ReplacingASectionDropsItsOldValuesOnly) {
    ASSERT_TRUE(WriteSettingString("Recent File List", "File3", "/old/c.prj"));
    ASSERT_TRUE(WriteSettingString("Settings", "Speed", "19200"));
    ASSERT_TRUE(ReplaceSettingSection("recent file list", {{"File1", "/new/a.prj"}}));
    EXPECT_EQ(ReadSettingString("Recent File List", "File1", ""), "/new/a.prj");
    EXPECT_EQ(ReadSettingString("Recent File List", "File3", "none"), "none");
    EXPECT_EQ(ReadSettingString("Settings", "Speed", ""), "19200");

    ASSERT_TRUE(ClearSettingSection("Settings"));
    EXPECT_EQ(ReadSettingString("Settings", "Speed", "9600"), "9600");
}

} // namespace
} // namespace zelk
