// SPDX-License-Identifier: GPL-3.0-or-later
// The window on a parallel port, as a user's bench has it: the stored port LPT1 is reached
// through ppdev (the stand-in for the kernel's driver, preloaded by the test's runner, with the
// simulated cable and chip behind it), the chip is identified, written and read back, and the
// port is let go when the window closes. The chip is an ATtiny13, so that reading all of it
// on the real clock is quick. Without the stand-in the test has nothing to talk to.
#include "../core/scratch_folder.h"
#include "gui_test_support.h"
#include "memory/memory_view.h"
#include "shell/command_ids.h"

#include <QStatusBar>

namespace zelk::test {
namespace {

class PpdevGui : public AppTest {
protected:
    void SetUp() override {
        const char* proc = std::getenv("ZELK_STANDIN_PROC");
        if (proc == nullptr) {
            GTEST_SKIP() << "runs under the ppdev stand-in only (ctest PpdevGuiThroughTheStandIn)";
        }
        AppTest::SetUp();
        // The kernel's list: parport0 at 0x378, which is LPT1.
        std::filesystem::create_directories(std::filesystem::path(proc) / "parport0");
        testing::WriteWholeFile(std::filesystem::path(proc) / "parport0" / "base-addr", "888\n");
        std::filesystem::remove(std::getenv("ZELK_STANDIN_STATE"));
        record = std::getenv("ZELK_STANDIN_RECORD");
        std::filesystem::remove(record);
        // LPT1 and the first cable, Kestan's Original, as Preferences stores them.
        ASSERT_TRUE(store->WriteInt("Preferences", "PortBase", 0));
        ASSERT_TRUE(store->WriteInt("Preferences", "Interface", 0));
    }

    std::filesystem::path record;
};

TEST_F(PpdevGui, TheStoredParallelPortProgramsAndReadsTheChip) {
    Start();
    ASSERT_TRUE(dialogs->messages.empty()) << dialogs->messages.front();
    Trigger(cmd::NewProject);
    Trigger(cmd::DetectDevice);
    ASSERT_EQ(frame->DeviceText(), "ATtiny13");

    CMemoryView& flash = *app->MemoryView(MemoryKind::Flash);
    QTest::keyClicks(&flash.Grid(), QStringLiteral("C0DE"));
    Trigger(cmd::WriteFlash);
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Write Flash done.");
    EXPECT_EQ(dialogs->messages, std::vector<std::string>{"Verify successfull"});

    dialogs->choices.push_back(SaveChoice::Discard);
    Trigger(cmd::NewProject); // an empty flash image
    ASSERT_EQ(app->State().images.flashImage[0], ErasedByte);
    Trigger(cmd::ReadFlash);
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Read Flash done.");
    EXPECT_EQ(app->State().images.flashImage[0], 0xC0);
    EXPECT_EQ(app->State().images.flashImage[1], 0xDE);

    Quit();
    const std::string events = testing::ReadWholeFile(record);
    const auto claim = events.find("claim\n");
    EXPECT_NE(claim, std::string::npos) << events;
    EXPECT_EQ(events.find("claim\n", claim + 1), std::string::npos)
        << "one claim for the whole session: " << events;
    EXPECT_EQ(events.find("ioperm"), std::string::npos) << "no fall-back to direct port I/O";
    EXPECT_TRUE(events.ends_with(" released\n")) << "the port is let go: " << events;
}

} // namespace
} // namespace zelk::test
