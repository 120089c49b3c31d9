// SPDX-License-Identifier: GPL-3.0-or-later
// AutoProgram end to end on the simulator, as the GUI and zelk-cli run it: each step can be
// left out, and a run that cannot be sure of the board stops before the erase and says where.
#include "engine/memory_commands.h"
#include "memory/hex_file.h"
#include "sim_target_fixture.h"
#include "station/autoprogram_run.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace zelk::test {
namespace {

class AutoProgramTest : public SimTargetTest {
protected:
    // A board from an earlier run: an old program at 100 and an EEPROM of its own.
    void SetUp() override {
        Attach("ATmega328P");
        app.images.flashImage[100] = 0xAA;
        ASSERT_TRUE(WriteFlashImage());
        std::fill(app.images.eepromImage.begin(), app.images.eepromImage.end(), 0x55);
        ASSERT_TRUE(WriteEeprom(*programmer, app.images, ui));
        app.images = {};
        ui.messages.clear();
        const std::vector<std::uint8_t> program{0x0C, 0x94, 0x34, 0x00, 0x12};
        std::string error;
        ASSERT_TRUE(WriteImageFile(FlashFile(), program, error)) << error;
    }

    std::string FlashFile() const { return (folder / "app.hex").string(); }

    AutoProgramReport Run(const std::string& flashFile, const AutoProgramSteps& steps = {},
                          int cancelled = 0) {
        std::atomic<int> cancel{cancelled};
        programmer->SetCancelFlag(&cancel);
        AutoProgramReport report;
        const bool passed =
            RunAutoProgramJob(*programmer, app.images, {flashFile, ""}, steps, ui, report);
        programmer->SetCancelFlag(nullptr);
        EXPECT_EQ(report.passed, passed);
        EXPECT_EQ(passed, report.outcome.starts_with("AutoProgram passed")) << report.outcome;
        return report;
    }
};

TEST_F(AutoProgramTest, EachStepCanBeLeftOutAndTheRunSaysWhatFailed) {
    using Options = AutoProgramSteps;
    const struct Case {
        const char* what;
        bool Options::*off;
        bool Options::*alsoOff;
        std::string outcome;
        std::uint8_t flash0, flash100, eeprom0;
    } cases[] = {
        {"every step", nullptr, nullptr,
         "AutoProgram passed on ATmega328P: Keep EEProm, Reload Flash File, Erase Device, "
         "Program Flash, Verify Flash, Program EEProm, Verify EEProm.",
         0x0C, 0xFF, 0x55},
        {"no reload: an image of no data is not programmed", &Options::flashReload, nullptr,
         "AutoProgram passed on ATmega328P: Keep EEProm, Erase Device, Program EEProm, Verify "
         "EEProm.",
         0xFF, 0xFF, 0x55},
        {"no erase: the file's bytes are programmed, the rest is left", &Options::flashErase,
         nullptr,
         "AutoProgram passed on ATmega328P: Keep EEProm, Reload Flash File, Program Flash, "
         "Verify Flash, Program EEProm, Verify EEProm.",
         0x0C, 0xAA, 0x55},
        {"no flash program", &Options::flashProgram, nullptr,
         "AutoProgram FAILED at Verifying flash: Verify failed at 00000000 !", 0xFF, 0xFF, 0xFF},
        {"no program, no verify", &Options::flashProgram, &Options::flashVerify, "", 0xFF, 0xFF,
         0x55},
        {"no keep", &Options::eepromKeep, nullptr, "", 0x0C, 0xFF, 0xFF},
        {"no EEPROM program", &Options::eepromProgram, nullptr,
         "AutoProgram FAILED at Verifying EEPROM: Verify failed at 00000000 !", 0x0C, 0xFF, 0xFF},
        {"no EEPROM program or verify", &Options::eepromProgram, &Options::eepromVerify, "", 0x0C,
         0xFF, 0xFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        Options options;
        if (c.off != nullptr) {
            options.*c.off = false;
        }
        if (c.alsoOff != nullptr) {
            options.*c.alsoOff = false;
        }
        const AutoProgramReport report = Run(FlashFile(), options);
        if (!c.outcome.empty()) {
            EXPECT_EQ(report.outcome, c.outcome);
        }
        EXPECT_EQ(report.signature, "1E950F");
        EXPECT_EQ(Chip().flash[0], c.flash0);
        EXPECT_EQ(Chip().flash[100], c.flash100);
        EXPECT_EQ(Chip().eeprom[0], c.eeprom0);
        EXPECT_TRUE(std::ranges::none_of(ui.messages, [](const std::string& m) {
            return m == "Verify successfull";
        })) << "the steps' own messages are gathered into the outcome";
    }
}

// The kept EEPROM is the only copy of the board's own data: a run not sure of it, or of the
// files, must not erase the chip.
TEST_F(AutoProgramTest, ARunThatCannotBeSureStopsBeforeTheErase) {
    testing::WriteWholeFile(folder / "broken.hex", ":0400000001020304F2\r\n:04000400FFFF\r\n");
    const std::string broken = (folder / "broken.hex").string();
    testing::WriteWholeFile(folder / "empty.hex", ":00000001FF\n");
    testing::WriteWholeFile(folder / "empty.bin", "");
    SimFaults bitError;
    bitError.bitErrorAtByte = 40 + 4 * 1024 + 4 * 7 + 4; // byte 7 of the second EEPROM read
    SimFaults removed;
    removed.removeAfterBytes = 40 + 4 * 1500;
    SimFaults removedBefore;
    removedBefore.removeAfterBytes = 10;
    SimFaults nothing;
    nothing.noneConnected = true;
    const struct {
        const char* what;
        SimFaults faults;
        std::string flashFile;
        int cancel;
        std::string outcome; // its start
    } cases[] = {
        {"file that does not load",
         {},
         broken,
         0,
         "AutoProgram FAILED at Loading files: Urrrk, can't load that file\n" + broken + ":2: "},
        {"missing file",
         {},
         (folder / "gone.hex").string(),
         0,
         "AutoProgram FAILED at Loading files: Urrrk"},
        {"HEX file of only an end record",
         {},
         (folder / "empty.hex").string(),
         0,
         "AutoProgram FAILED at Loading files: Urrrk, can't load that file\n" +
             (folder / "empty.hex").string() + ": holds no"},
        {"0-byte binary",
         {},
         (folder / "empty.bin").string(),
         0,
         "AutoProgram FAILED at Loading files: Urrrk, can't load that file\n" +
             (folder / "empty.bin").string() + ": holds no flash data"},
        {"cancelled", {}, FlashFile(), 1, "AutoProgram FAILED at Reading EEPROM: cancelled"},
        {"bit error", bitError, FlashFile(), 0, "AutoProgram FAILED at Reading EEPROM: "},
        {"removed", removed, FlashFile(), 0, "AutoProgram FAILED at Reading EEPROM: "},
        {"removed before", removedBefore, FlashFile(), 0, "AutoProgram FAILED at Detecting"},
        {"nothing connected", nothing, FlashFile(), 0, "AutoProgram FAILED at Detecting"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Attach("ATmega328P", c.faults);
        app.images.flashImage[7] = 0x77;
        const AutoProgramReport report = Run(c.flashFile, {}, c.cancel);
        EXPECT_FALSE(report.passed);
        EXPECT_TRUE(report.outcome.starts_with(c.outcome)) << report.outcome;
        const bool untouched = c.outcome.find("Loading files") != std::string::npos;
        EXPECT_EQ(report.signature.empty(), untouched || c.outcome.ends_with("Detecting"));
        EXPECT_EQ(app.images.flashImage[7], 0x77) << "the image keeps what it held";
        std::string error;
        ASSERT_TRUE(programmer->OpenPort(error)) << error;
        EXPECT_EQ(programmer->Port() != nullptr && untouched, untouched);
        EXPECT_EQ(Chip().flash[100], 0xAA) << "not erased";
    }
}

TEST_F(AutoProgramTest, ARunThatProgramsNothingIsRefused) {
    AutoProgramSteps steps;
    steps.flashProgram = false;
    steps.eepromProgram = false;
    const AutoProgramReport report = Run(FlashFile(), steps);
    EXPECT_EQ(report.outcome, "AutoProgram FAILED at Choosing the steps: AutoProgram has no step "
                              "that programs the chip (Program Flash, Program EEProm): nothing "
                              "was done.");
    EXPECT_EQ(report.signature, "") << "the target was not touched";
}

} // namespace
} // namespace zelk::test
