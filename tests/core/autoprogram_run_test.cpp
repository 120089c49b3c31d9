#include "app/autoprogram_run.h"
#include "engine/memory_commands.h"
#include "memory/hex_file.h"
#include "sim_target_fixture.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace zelk::test {
namespace {

class AutoProgramRunTest : public SimTargetTest {
protected:
    // A board from an earlier run: an old program at 100, an EEPROM byte of its own at 0.
    void SetUp() override {
        Attach("ATmega328P");
        app.images.flashImage[100] = 0xAA;
        ASSERT_TRUE(StartFlashWrite(ui));
        ASSERT_TRUE(FinishFlashWrite());
        app.images.eepromImage[0] = 0x11;
        ASSERT_TRUE(WriteEeprom(*programmer, app.images, ui));
        app.images = {};
        const std::vector<std::uint8_t> program{0x0C, 0x94, 0x34, 0x00, 0x12};
        std::string error;
        ASSERT_TRUE(WriteImageFile(FlashFile(), program, error)) << error;
    }

    std::string FlashFile() const { return (folder / "app.hex").string(); }

    TargetImages Chip() {
        TargetImages chip;
        EXPECT_TRUE(ReadFlash(*programmer, chip, ui));
        EXPECT_TRUE(ReadEeprom(*programmer, chip, ui));
        return chip;
    }
};

TEST_F(AutoProgramRunTest, EachStepCanBeLeftOutAndTheRunSaysWhatFailed) {
    using Options = AutoProgramSteps;
    const struct Case {
        const char* what;
        bool Options::*off;
        bool Options::*alsoOff;
        std::string outcome;
        std::uint8_t flash0, flash100, eeprom0;
    } cases[] = {
        {"every step", nullptr, nullptr,
         "AutoProgram passed on ATmega328P: Keep EEProm, Reload Flash File, Reload EEProm File, "
         "Erase Device, Program Flash, Verify Flash, Program EEProm, Verify EEProm.",
         0x0C, 0xFF, 0x11},
        {"no reload", &Options::flashReload, nullptr, "", 0xFF, 0xFF, 0x11},
        {"no erase", &Options::flashErase, nullptr,
         "AutoProgram FAILED at Verifying flash: Verify failed at 00000064 !\nThe flash may not "
         "have been erased before the write.",
         0x0C, 0xAA, 0x11},
        {"no flash program", &Options::flashProgram, nullptr,
         "AutoProgram FAILED at Verifying flash: Verify failed at 00000000 !", 0xFF, 0xFF, 0xFF},
        {"no program, no verify", &Options::flashProgram, &Options::flashVerify, "", 0xFF, 0xFF,
         0x11},
        {"no keep", &Options::eepromKeep, nullptr, "", 0x0C, 0xFF, 0xFF},
        {"no EEPROM program", &Options::eepromProgram, nullptr,
         "AutoProgram FAILED at Verifying EEPROM: Verify failed at 00000000 !", 0x0C, 0xFF, 0xFF},
        {"no EEPROM program or verify", &Options::eepromProgram, &Options::eepromVerify, "", 0x0C,
         0xFF, 0xFF},
    };
    for (const Case& c : cases) {
        SetUp();
        Options options;
        if (c.off != nullptr) {
            options.*c.off = false;
        }
        if (c.alsoOff != nullptr) {
            options.*c.alsoOff = false;
        }
        std::atomic<int> cancel{0};
        AutoProgramReport report;
        const bool passed = RunAutoProgramJob(programmer, app.images, {FlashFile(), ""}, options,
                                              ui, cancel, report);
        EXPECT_EQ(passed, report.outcome.starts_with("AutoProgram passed")) << c.what;
        EXPECT_EQ(report.passed, passed) << c.what;
        if (!c.outcome.empty()) {
            EXPECT_EQ(report.outcome, c.outcome) << c.what;
        }
        EXPECT_EQ(report.signature, "1E950F") << c.what;
        const TargetImages chip = Chip();
        EXPECT_EQ(chip.flashImage[0], c.flash0) << c.what;
        EXPECT_EQ(chip.flashImage[100], c.flash100) << c.what;
        EXPECT_EQ(chip.eepromImage[0], c.eeprom0) << c.what;
    }
    EXPECT_TRUE(std::ranges::none_of(ui.messages, [](const std::string& m) {
        return m == "Verify successfull";
    })) << "the steps' own messages are gathered into the outcome";
}

TEST_F(AutoProgramRunTest, ACancelStopsBeforeTheNextStepAndAMissingFileBeforeTheErase) {
    std::atomic<int> cancel{1};
    AutoProgramReport report;
    EXPECT_FALSE(
        RunAutoProgramJob(programmer, app.images, {FlashFile(), ""}, {}, ui, cancel, report));
    EXPECT_EQ(report.outcome, "AutoProgram FAILED at Reading EEPROM: cancelled");

    cancel = 0;
    EXPECT_FALSE(RunAutoProgramJob(programmer, app.images, {(folder / "gone.hex").string(), ""}, {},
                                   ui, cancel, report));
    EXPECT_TRUE(report.outcome.starts_with("AutoProgram FAILED at Loading files: Urrrk"))
        << report.outcome;
    EXPECT_EQ(Chip().flashImage[100], 0xAA) << "the chip was not erased";

    SimFaults nothing;
    nothing.noneConnected = true;
    Attach("ATmega328P", nothing);
    report = {};
    EXPECT_FALSE(
        RunAutoProgramJob(programmer, app.images, {FlashFile(), ""}, {}, ui, cancel, report));
    EXPECT_TRUE(report.outcome.starts_with("AutoProgram FAILED at Detect")) << report.outcome;
    EXPECT_TRUE(report.signature.empty());
}

} // namespace
} // namespace zelk::test
