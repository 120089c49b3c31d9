#include "platform/settings_store.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zelk {
namespace {

using testing::ReadWholeFile;
using testing::WriteWholeFile;

// Points the store at a scratch folder for the length of a test.
class SettingsStore : public ::testing::Test {
protected:
    std::filesystem::path StoreFile() const { return folder / "Brasswick" / "zelk.conf"; }

    testing::ScratchFolder folder;
    testing::ConfigHomeAt configHome{folder.Path()};
};

TEST_F(SettingsStore, WritesReadBackIgnoringCase) {
    ASSERT_TRUE(WriteSettingString("Settings", "Comport", "COM3"));
    ASSERT_TRUE(WriteSettingInt("Preferences", "location", 5));
    ASSERT_TRUE(WriteSettingInt("PREFERENCES", "Location", 65535));
    EXPECT_EQ(ReadSettingString("settings", "COMPORT", "COM2"), "COM3");
    EXPECT_EQ(ReadSettingInt("Preferences", "Location", 0), 65535);
    EXPECT_EQ(ReadWholeFile(StoreFile()),
              "[Settings]\r\nComport=COM3\r\n\r\n[Preferences]\r\nlocation=65535\r\n");
}

TEST_F(SettingsStore, ReadsTheCallersDefaultForWhatIsNoNumber) {
    std::filesystem::create_directories(StoreFile().parent_path());
    WriteWholeFile(StoreFile(), "[Settings]\nBits=7\nParity=odd\nStopbits=\nSpeed=0x10\n"
                                "Length=3 digits\n");
    const std::pair<std::string_view, int> cases[] = {
        {"Bits", 7}, {"Parity", -1}, {"Stopbits", -1}, {"Speed", 16}, {"Length", 3}, {"None", -1}};
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

    std::filesystem::remove_all(folder / "Brasswick");
    WriteWholeFile(folder / "Brasswick", "a file, not a folder");
    EXPECT_FALSE(WriteSettingString("Settings", "Speed", "9600"));
    EXPECT_EQ(ReadWholeFile(folder / "Brasswick"), "a file, not a folder");
}

// A store the user made read-only is kept, and its reason is told once, not per value.
TEST_F(SettingsStore, ReadOnlyStoreIsKeptAndReportedOnce) {
    ASSERT_TRUE(WriteSettingInt("Preferences", "PortBase", 1));
    EXPECT_EQ(TakeSettingsWriteProblem(), std::nullopt);
    ASSERT_EQ(::chmod(StoreFile().c_str(), 0444), 0);
    const std::string before = ReadWholeFile(StoreFile());

    EXPECT_FALSE(WriteSettingInt("Preferences", "PortBase", 2));
    EXPECT_FALSE(WriteSettingString("MainWindow", "Position", "1,2,3,4"));
    EXPECT_EQ(ReadWholeFile(StoreFile()), before);
    EXPECT_NE(SettingsWriteProblem().find(StoreFile().string() + " is read-only"),
              std::string::npos)
        << SettingsWriteProblem();
    const std::optional<std::string> reported = TakeSettingsWriteProblem();
    ASSERT_TRUE(reported.has_value());
    EXPECT_EQ(*reported, SettingsWriteProblem());
    EXPECT_FALSE(WriteSettingInt("Preferences", "Interface", 3));
    EXPECT_EQ(TakeSettingsWriteProblem(), std::nullopt) << "told once";

    ASSERT_EQ(::chmod(StoreFile().c_str(), 0644), 0);
    EXPECT_TRUE(WriteSettingInt("Preferences", "PortBase", 2));
    EXPECT_EQ(SettingsWriteProblem(), "");
    ASSERT_EQ(::chmod(StoreFile().c_str(), 0444), 0);
    EXPECT_FALSE(WriteSettingInt("Preferences", "PortBase", 3));
    EXPECT_TRUE(TakeSettingsWriteProblem().has_value()) << "a new run of failures is told again";
}

} // namespace
} // namespace zelk
