// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/credits_roll.h"
#include "about/home_page.h"
#include "about/splash_decision.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>
#include <tuple>

namespace zelk {
namespace {

using Kind = CreditKind;

TEST(Credits, MarkupSelectsEachLinesKindAndIsNotDrawn) {
    struct Case {
        std::string text;
        std::vector<CreditLine> lines;
    };
    const Case cases[] = {
        {"one line without delimiters", {{Kind::Text, "one line without delimiters"}}},
        {"", {{Kind::Text, ""}}},
        {"zelk\t|sub|||x",
         {{Kind::Title, "zelk"},
          {Kind::Text, "sub"},
          {Kind::Text, ""},
          {Kind::Text, ""},
          {Kind::Text, "x"}}},
        {"Group\n|Title\r|chip^|",
         {{Kind::Group, "Group"},
          {Kind::GroupTitle, "Title"},
          {Kind::Picture, "chip"},
          {Kind::Text, ""}}},
        {"\t|^|a^b|tab\tinside",
         {{Kind::Title, ""},
          {Kind::Picture, ""},
          {Kind::Text, "a^b"},
          {Kind::Text, "tab\tinside"}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseCredits(c.text, '|'), c.lines) << c.text;
    }
}

int TestHeight(const CreditLine& line) {
    return line.kind == Kind::Title ? 30 : line.kind == Kind::Picture ? 50 : 10;
}

// An empty line is as tall as the line before it.
TEST(Credits, LinesRiseFromTheBottomAndTheFirstFollowsTheLast) {
    CreditsRoll roll;
    roll.Load(ParseCredits("|T\t||\t|p^|", '|'), TestHeight);
    // first empty: a normal line; after the title: 30; a lone title mark: 30; after p: 50.
    EXPECT_EQ(roll.TotalHeight(), 10 + 30 + 30 + 30 + 50 + 50);

    // Heights 30, 10 (an empty line after a title would be 30: here it follows text), 50, 30.
    roll.Load(ParseCredits("T\t|a||p^|\t", '|'), TestHeight);
    ASSERT_EQ(roll.TotalHeight(), 30 + 10 + 10 + 50 + 30);

    struct Case {
        int ticks;
        std::vector<std::tuple<std::size_t, int, int>> visible; // line, top, height in 100 pixels
    };
    const Case cases[] = {
        {0, {}},
        {1, {{0, 99, 30}}},
        {45, {{0, 55, 30}, {1, 85, 10}, {2, 95, 10}}},
        {100, {{0, 0, 30}, {1, 30, 10}, {2, 40, 10}, {3, 50, 50}}},
        {130, {{1, 0, 10}, {2, 10, 10}, {3, 20, 50}, {4, 70, 30}}},
        // One round is 130 pixels: the title enters again right after the last line.
        {170, {{3, -20, 50}, {4, 30, 30}, {0, 60, 30}, {1, 90, 10}}},
        {170 + 130 * 1000, {{3, -20, 50}, {4, 30, 30}, {0, 60, 30}, {1, 90, 10}}},
    };
    int done = 0;
    for (const Case& c : cases) {
        for (; done < c.ticks; ++done) {
            roll.Tick();
        }
        std::vector<std::tuple<std::size_t, int, int>> visible;
        for (const CreditsRoll::Placed& placed : roll.Visible(100)) {
            visible.emplace_back(placed.line, placed.top, placed.height);
        }
        EXPECT_EQ(visible, c.visible) << c.ticks;
    }
}

TEST(SplashDecision, ServerSwitchesTurnTheSplashOff) {
    struct Case {
        std::vector<std::string> arguments;
        bool allowed;
    };
    const Case cases[] = {
        {{}, true},
        {{"--simulate", "ATmega328P"}, true},
        {{"-Embedding"}, false},
        {{"/automation"}, false},
        {{"project.prj", "-AUTOMATION"}, false},
        {{"/Embedding"}, false},
        {{"--Embedding"}, true},
        {{"Embedding"}, true},
        {{"-Embeddings"}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplashAllowed(c.arguments), c.allowed)
            << (c.arguments.empty() ? "" : c.arguments.back());
    }
}

TEST(HomePage, TheBuildsAddressElseTheInstalledReadme) {
    testing::ScratchFolder prefix;
    const std::filesystem::path bin = prefix / "bin";
    std::filesystem::create_directories(bin);

    EXPECT_EQ(FindHomePage("https://zelk.example/", bin).address, "https://zelk.example/");
    EXPECT_FALSE(FindHomePage("https://zelk.example/", bin).isFile);
    EXPECT_TRUE(FindHomePage("", bin).address.empty()) << "no README anywhere";

    std::ofstream(bin / "README.md") << "# zelk\n";
    EXPECT_EQ(FindHomePage("", bin).address, (bin / "README.md").string());
    std::filesystem::create_directories(prefix / "share" / "doc" / "zelk");
    std::ofstream(prefix / "share" / "doc" / "zelk" / "README.md") << "# zelk\n";
    const HomePage installed = FindHomePage("", bin);
    EXPECT_TRUE(installed.isFile);
    EXPECT_EQ(installed.address, (prefix / "share" / "doc" / "zelk" / "README.md").string());
}

} // namespace
} // namespace zelk
