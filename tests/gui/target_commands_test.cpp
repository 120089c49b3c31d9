#include "engine/connection.h"
#include "gui_test_support.h"
#include "memory/hex_file.h"
#include "memory/memory_view.h"
#include "shell/command_ids.h"
#include "shell/progress_dialog.h"

#include <fstream>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

namespace zelk::test {
namespace {

// The target commands run on a worker while the window stays live.
class TargetCommandsTest : public AppTest {
protected:
    void Attach(const std::string& device, const SimFaults& faults = {}, bool virtualTime = true) {
        ConnectionSettings settings;
        settings.port = PortKind::Simulator;
        settings.simulator.device = device;
        settings.simulator.faults = faults;
        settings.simulator.virtualTime = virtualTime;
        settings.simulator.stateFile = folder / (device + ".chip");
        std::string error;
        auto programmer = MakeProgrammer(settings, error);
        ASSERT_NE(programmer, nullptr) << error;
        ASSERT_TRUE(app->SetProgrammer(std::move(programmer)));
    }

    void StartWithProject(const std::string& device, const SimFaults& faults = {},
                          bool virtualTime = true) {
        Start();
        Attach(device, faults, virtualTime);
        app->OnNewProject();
        frame->Action(cmd::DetectDevice)->trigger();
        ProcessEvents();
    }

    // Chooses a command and lets the event loop run until its worker has handed back.
    void Run(int id) {
        ASSERT_TRUE(frame->Action(id)->isEnabled()) << id;
        frame->Action(id)->trigger();
        WaitForTheWorker();
    }

    void WaitForTheWorker() {
        for (int round = 0; round < 2000 && app->TargetCommandRunning(); ++round) {
            ProcessEvents();
            QTest::qWait(2);
        }
        ProcessEvents();
        ASSERT_FALSE(app->TargetCommandRunning());
        ASSERT_NE(app->CurrentProgrammer(), nullptr);
    }

    QString StatusText() const { return frame->statusBar()->currentMessage(); }

    std::vector<std::uint8_t>& Flash() { return app->State().images.flashImage; }

    static std::string ReadWholeFile(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_F(TargetCommandsTest, WriteVerifyAndReadRunOnTheWorkerAndReportTheirOutcome) {
    StartWithProject("ATmega328P");
    for (std::size_t i = 0; i < 512; ++i) {
        Flash()[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    }
    Run(cmd::WriteFlash);
    EXPECT_EQ(StatusText(), "Write Flash done.");
    Run(cmd::VerifyFlash);
    EXPECT_EQ(dialogs->messages, std::vector<std::string>{"Verify successfull"});

    std::ranges::fill(Flash(), ErasedByte);
    Run(cmd::ReadFlash);
    EXPECT_EQ(StatusText(), "Read Flash done.");
    EXPECT_EQ(Flash()[511], static_cast<std::uint8_t>(511 ^ 0x5A));
    EXPECT_EQ(app->State().images.flashShownLength, 32768u);
    EXPECT_EQ(app->MemoryView(MemoryKind::Flash)->Grid().Model().Length(), 32768u);
}

// The chip runs in real time here, so that the command is still busy when Cancel is pressed.
TEST_F(TargetCommandsTest, WhileACommandRunsTheWindowIsLiveAndCancelKeepsTheImage) {
    StartWithProject("AT90S2313", {}, false);
    Flash()[0] = 0x42;
    frame->Action(cmd::ReadFlash)->trigger();
    ASSERT_TRUE(app->TargetCommandRunning());
    for (int id : {cmd::Preferences, cmd::NewProject, cmd::CloseProject, cmd::OpenProject,
                   cmd::VerifyFlash, cmd::LockBitsFuses, cmd::LoadFile}) {
        EXPECT_FALSE(frame->Action(id)->isEnabled()) << id;
    }
    EXPECT_TRUE(frame->Action(cmd::About)->isEnabled());
    EXPECT_TRUE(app->MemoryView(MemoryKind::Flash)->IsReadOnly());
    EXPECT_TRUE(app->MemoryView(MemoryKind::Eeprom)->IsReadOnly());

    CProgressDialog* progress = nullptr;
    for (int round = 0; round < 2000 && progress == nullptr; ++round) {
        QTest::qWait(1);
        progress = app->TargetInterface().Progress();
    }
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(app->TargetCommandRunning()) << "the read ended before Cancel";
    QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    WaitForTheWorker();

    EXPECT_EQ(Flash()[0], 0x42);
    EXPECT_EQ(StatusText(), "Read Flash cancelled: the images are as they were.");
    EXPECT_EQ(dialogs->messages,
              std::vector<std::string>{"Read Flash cancelled: the images are as they were."});
    EXPECT_FALSE(app->MemoryView(MemoryKind::Flash)->IsReadOnly());
    EXPECT_TRUE(frame->Action(cmd::Preferences)->isEnabled());
}

TEST_F(TargetCommandsTest, ATargetThatGoesAwayFailsTheCommand) {
    SimFaults removed;
    removed.removeAfterBytes = 400;
    StartWithProject("ATmega328P", removed);
    Flash()[50] = 0x00;
    Run(cmd::VerifyFlash);
    ASSERT_EQ(dialogs->messages.size(), 1u);
    EXPECT_TRUE(dialogs->messages[0].starts_with("Verify failed at")) << dialogs->messages[0];
    EXPECT_EQ(StatusText(), "Verify Flash failed.");
}

TEST_F(TargetCommandsTest, AutoProgramEndsWithOneOutcomeCountsTheBoardAndLogsIt) {
    ::setenv("XDG_STATE_HOME", folder.c_str(), 1);
    StartWithProject("ATmega328P");
    const std::vector<std::uint8_t> program{0x0C, 0x94, 0x34, 0x00};
    std::string error;
    ASSERT_TRUE(WriteImageFile(folder / "app.hex", program, error)) << error;
    app->State().flashFile = (folder / "app.hex").string();
    WriteSettingInt("AutoProgram", "EepromVerify", 0);

    Run(cmd::AutoProgram);
    const std::string passed = "AutoProgram passed on ATmega328P: Keep EEProm, Reload Flash File, "
                               "Reload EEProm File, Erase Device, Program Flash, Verify Flash, "
                               "Program EEProm.";
    EXPECT_EQ(dialogs->messages, std::vector<std::string>{passed});
    EXPECT_EQ(StatusText().toStdString(), passed);
    EXPECT_EQ(Flash()[1], 0x94) << "the reloaded file is in the image";
    auto* count = frame->findChild<QLabel*>(QStringLiteral("ProductionCount"));
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->text(), "Passed 1, failed 0 (total 1 / 0)");

    std::filesystem::remove(folder / "app.hex");
    Run(cmd::AutoProgram);
    EXPECT_EQ(count->text(), "Passed 1, failed 1 (total 1 / 1)");
    const std::string log = ReadWholeFile(folder / "zelk" / "production.log");
    EXPECT_EQ(std::ranges::count(log, '\n'), 2);
    EXPECT_NE(log.find("signature=1E950F"), std::string::npos) << log;
    EXPECT_NE(log.find("result=FAIL\tAutoProgram FAILED at Loading files"), std::string::npos)
        << log;
    ::unsetenv("XDG_STATE_HOME");
}

} // namespace
} // namespace zelk::test
