#include "platform/private_profile.h"

#include <gtest/gtest.h>

namespace zelk {
namespace {

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

TEST(PrivateProfile, CutsValuesTo255CharactersWithoutSplittingACharacter) {
    const std::string ascii(300, 'x');
    EXPECT_EQ(ProfileFile::Parse("[S]\nA=" + ascii).Get("S", "A"), std::string(255, 'x'));

    // "é" takes bytes 254 and 255: keeping half of it would leave invalid text.
    const std::string accented = std::string(254, 'a') + "\xC3\xA9" + "zz";
    EXPECT_EQ(ProfileFile::Parse("[S]\nA=" + accented).Get("S", "A"), std::string(254, 'a'));
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
