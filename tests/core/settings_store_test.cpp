// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/private_profile.h"
#include "platform/settings_store.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zelk {
namespace {

using testing::ReadWholeFile;
using testing::WriteWholeFile;

// A store in a scratch folder.
class SettingsStoreTest : public ::testing::Test {
protected:
    std::filesystem::path StoreFile() const { return folder / "Brasswick" / "zelk.conf"; }

    testing::ScratchFolder folder;
    SettingsStore store{StoreFile()};
};

TEST(SettingsStore, LivesInTheUsersConfigurationFolder) {
    testing::ScratchFolder folder;
    testing::ConfigHomeAt configHome{folder.Path()};
    EXPECT_EQ(SettingsStore::UserFile(), folder / "Brasswick" / "zelk.conf");
    testing::ConfigHomeAt relative{"relative/folder"};
    EXPECT_TRUE(SettingsStore::UserFile().string().ends_with(".config/Brasswick/zelk.conf"))
        << "a relative XDG_CONFIG_HOME is ignored";
}

TEST_F(SettingsStoreTest, WritesReadBackIgnoringCase) {
    ASSERT_TRUE(store.WriteString("Settings", "Comport", "COM3"));
    ASSERT_TRUE(store.WriteInt("Preferences", "location", 5));
    ASSERT_TRUE(store.WriteInt("PREFERENCES", "Location", 65535));
    EXPECT_EQ(store.ReadString("settings", "COMPORT", "COM2"), "COM3");
    EXPECT_EQ(store.ReadInt("Preferences", "Location", 0), 65535);
    EXPECT_EQ(ReadWholeFile(StoreFile()),
              "[Settings]\r\nComport=COM3\r\n\r\n[Preferences]\r\nlocation=65535\r\n");
}

TEST_F(SettingsStoreTest, ReadsTheCallersDefaultForWhatIsNoNumber) {
    std::filesystem::create_directories(StoreFile().parent_path());
    WriteWholeFile(StoreFile(), "[Settings]\nBits=7\nParity=odd\nStopbits=\nSpeed=0x10\n"
                                "Length=3 digits\n");
    const std::pair<std::string_view, int> cases[] = {
        {"Bits", 7}, {"Parity", -1}, {"Stopbits", -1}, {"Speed", 16}, {"Length", 3}, {"None", -1}};
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(store.ReadInt("Settings", name, -1), expected) << name;
    }
}

TEST_F(SettingsStoreTest, ReadingNeverWritesAndABrokenStoreReadsAsDefaults) {
    EXPECT_EQ(store.ReadString("MainWindow", "Position", "0,0,500,400"), "0,0,500,400");
    EXPECT_FALSE(std::filesystem::exists(folder / "Brasswick"));

    // A folder where the file should be cannot be read or replaced.
    std::filesystem::create_directories(StoreFile());
    EXPECT_EQ(store.ReadInt("Preferences", "PortBase", 2), 2);
    EXPECT_FALSE(store.WriteInt("Preferences", "PortBase", 1));

    std::filesystem::remove(StoreFile());
    WriteWholeFile(StoreFile(), std::string("\0\xFF\xFE[\x01=\n", 7));
    EXPECT_EQ(store.ReadString("Settings", "Comport", "COM2"), "COM2");

    std::filesystem::remove_all(folder / "Brasswick");
    WriteWholeFile(folder / "Brasswick", "a file, not a folder");
    EXPECT_FALSE(store.WriteString("Settings", "Speed", "9600"));
    EXPECT_EQ(ReadWholeFile(folder / "Brasswick"), "a file, not a folder");
}

// A store the user made read-only is kept, and its reason is told once, not per value.
TEST_F(SettingsStoreTest, ReadOnlyStoreIsKeptAndReportedOnce) {
    ASSERT_TRUE(store.WriteInt("Preferences", "PortBase", 1));
    EXPECT_EQ(store.TakeWriteProblem(), std::nullopt);
    ASSERT_EQ(::chmod(StoreFile().c_str(), 0444), 0);
    const std::string before = ReadWholeFile(StoreFile());

    EXPECT_FALSE(store.WriteInt("Preferences", "PortBase", 2));
    EXPECT_FALSE(store.WriteString("MainWindow", "Position", "1,2,3,4"));
    EXPECT_EQ(ReadWholeFile(StoreFile()), before);
    EXPECT_NE(store.WriteProblem().find(StoreFile().string() + " is read-only"), std::string::npos)
        << store.WriteProblem();
    const std::optional<std::string> reported = store.TakeWriteProblem();
    ASSERT_TRUE(reported.has_value());
    EXPECT_EQ(*reported, store.WriteProblem());
    EXPECT_FALSE(store.WriteInt("Preferences", "Interface", 3));
    EXPECT_EQ(store.TakeWriteProblem(), std::nullopt) << "told once";

    ASSERT_EQ(::chmod(StoreFile().c_str(), 0644), 0);
    EXPECT_TRUE(store.WriteInt("Preferences", "PortBase", 2));
    EXPECT_EQ(store.WriteProblem(), "");
    ASSERT_EQ(::chmod(StoreFile().c_str(), 0444), 0);
    EXPECT_FALSE(store.WriteInt("Preferences", "PortBase", 3));
    EXPECT_TRUE(store.TakeWriteProblem().has_value()) << "a new run of failures is told again";
}

struct ReadCase {
    const char* what;
    std::string_view text;
    std::string_view section;
    std::string_view name;
    std::optional<std::string> expected;
};

TEST(PrivateProfile, ReadsValuesAsTheProfileReaderDoes) {
    const ReadCase cases[] = {
        {"CR LF", "[Devices]\r\nA=AT90S2313\r\n", "Devices", "A", "AT90S2313"},
        {"LF only", "[Devices]\nA=AT90S2313\n", "Devices", "A", "AT90S2313"},
        {"section and name ignore case", "[DEVICES]\nSignature=1\n", "devices", "SIGNATURE", "1"},
        {"blanks around names and values", "  [ S ]  \n \t Name \t=  a b \t\r\n", "S", "Name",
         "a b"},
        {"value keeps further equals signs", "[S]\nA=b=c\n", "S", "A", "b=c"},
        {"first of two equal names", "[S]\nA=1\na=2\n", "S", "A", "1"},
        {"name in another section", "[T]\nA=1\n[S]\nB=2\n", "S", "A", std::nullopt},
        {"second block of a section", "[S]\nA=1\n[T]\nB=2\n[s]\nB=3\n", "S", "B", "3"},
        {"comment line is no value", "[S]\n;A=1\n", "S", "A", std::nullopt},
        {"unclosed header is no section", "[S]\n[T\nA=1\n", "S", "A", "1"},
        {"section name holding a bracket", "[a]b]\nA=1\n", "a]b", "A", "1"},
    };
    for (const ReadCase& c : cases) {
        EXPECT_EQ(ProfileFile::Parse(c.text).Get(c.section, c.name), c.expected) << c.what;
    }
}

// A value cut short reads as another value (a file name names another file): values are read
// whole, and one beyond the limit refuses the file, naming its line.
TEST(PrivateProfile, ReadsValuesWholeAndRefusesOnesBeyondTheLimit) {
    const testing::ScratchFolder folder;
    const std::string whole(ProfileValueLimit, 'x');
    testing::WriteWholeFile(folder / "long.ini", "[S]\nA=" + whole + "\n");
    std::string error;
    const std::optional<ProfileFile> file = ProfileFile::Load(folder / "long.ini", error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->Get("S", "A"), whole);

    testing::WriteWholeFile(folder / "longer.ini", "[S]\nB=1\nA=" + whole + "y\n");
    EXPECT_FALSE(ProfileFile::Load(folder / "longer.ini", error));
    EXPECT_EQ(error, (folder / "longer.ini").string() +
                         ", line 3: the value of A is 4097 characters long; at most 4096 are read");

    ProfileFile edited = ProfileFile::Parse("[S]\nA=1\n");
    EXPECT_FALSE(edited.Set("S", "A", whole + "y"));
    EXPECT_EQ(edited.Get("S", "A"), "1");
}

TEST(PrivateProfile, ListsEveryNameAndSectionWithoutLimit) {
    std::string text = "[Devices]\r\n";
    for (int i = 0; i < 300; ++i) {
        text += "Device" + std::to_string(i) + "=AT" + std::to_string(i) + "\r\n";
    }
    text += "[Other]\r\n[devices]\r\ndevice0=again\r\nLast=1\r\n";
    const ProfileFile file = ProfileFile::Parse(text);

    const std::vector<std::string> names = file.Names("DEVICES");
    ASSERT_EQ(names.size(), 301u);
    EXPECT_EQ(names.front(), "Device0");
    EXPECT_EQ(names[299], "Device299");
    EXPECT_EQ(names.back(), "Last");
    EXPECT_EQ(file.Sections(), (std::vector<std::string>{"Devices", "Other"}));
}

struct SetCase {
    const char* what;
    std::string_view before;
    std::string_view section;
    std::string_view name;
    std::string_view value;
    std::string_view after;
};

TEST(PrivateProfile, WritesInPlaceAndKeepsEveryOtherLine) {
    const SetCase cases[] = {
        {"missing file", "", "zelk Project", "ProjectName", "Blink",
         "[zelk Project]\r\nProjectName=Blink\r\n"},
        {"replace keeps spelling, order and strange lines",
         "; made by hand\r\n[S]\r\n  junk \t line\r\nNAME = old\r\nB=2\r\n", "s", "name", "new",
         "; made by hand\r\n[S]\r\n  junk \t line\r\nNAME =new\r\nB=2\r\n"},
        {"new name after the last value, before trailing blanks",
         "[S]\r\nA=1\r\n; note\r\n\r\n[T]\r\nX=1\r\n", "S", "B", "2",
         "[S]\r\nA=1\r\nB=2\r\n; note\r\n\r\n[T]\r\nX=1\r\n"},
        {"new section at the end", "[S]\r\nA=1", "T", "B", "2", "[S]\r\nA=1\r\n\r\n[T]\r\nB=2\r\n"},
        {"LF lines come back with CR LF", "[S]\nA=1\n\nrest\n", "S", "A", "2",
         "[S]\r\nA=2\r\n\r\nrest\r\n"},
        {"a line break ends the value", "[S]\r\nC=old\r\n", "S", "C", "one\r\nFlashFile=/x",
         "[S]\r\nC=one\r\n"},
    };
    for (const SetCase& c : cases) {
        ProfileFile file = ProfileFile::Parse(c.before);
        EXPECT_TRUE(file.Set(c.section, c.name, c.value)) << c.what;
        EXPECT_EQ(file.Serialize(), c.after) << c.what;
    }
}

} // namespace
} // namespace zelk
