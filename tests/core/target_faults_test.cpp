// SPDX-License-Identifier: GPL-3.0-or-later
// The target commands against a misbehaving target: a chip whose writes never finish, one
// that goes away in the middle of a command, a flipped bit. None may report success.
#include "engine/autoprogram.h"
#include "engine/lock_fuse.h"
#include "engine/memory_commands.h"
#include "engine/memory_steps.h"
#include "engine/program_sequence.h"
#include "engine/target_connection.h"
#include "sim_target_fixture.h"
#include "station/project_file.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zelk {
namespace {

using test::ShippedIni;
using test::SimTargetTest;

// PrepareTarget exchanges 40 bytes with a ready target, then each byte read 4.
constexpr std::uint64_t PrepareBytes = 40;

SimFaults StuckBusy() {
    SimFaults faults;
    faults.stuckBusy = true;
    return faults;
}

SimFaults RemovedAfter(std::uint64_t bytes) {
    SimFaults faults;
    faults.removeAfterBytes = bytes;
    return faults;
}

class TargetFaults : public SimTargetTest {
protected:
    // A chip holding `flash` from address 0 and an EEPROM of 0x55, left in its state file.
    void Program(const std::string& device, const std::vector<std::uint8_t>& flash) {
        Attach(device);
        ProgramSteps steps;
        steps.erase = steps.writeFlash = steps.writeEeprom = true;
        std::fill(app.images.flashImage.begin(), app.images.flashImage.end(), ErasedByte);
        std::copy(flash.begin(), flash.end(), app.images.flashImage.begin());
        std::fill(app.images.eepromImage.begin(), app.images.eepromImage.end(), 0x55);
        DefineWholeMemories();
        ASSERT_TRUE(ProgramTarget(*programmer, app.images, steps, ui).succeeded);
        ui.messages.clear();
    }
};

struct FaultCase {
    const char* name;
    const char* device;
    SimFaults faults;
    std::function<bool(Programmer&, TargetImages&, TargetUi&)> command;
    std::string message; // the last message
};

TEST_F(TargetFaults, NoCommandReportsAFailureAsSuccess) {
    const std::vector<std::uint8_t> firmware(300, 0x00);
    const auto writeFlash = [](Programmer& p, TargetImages& images, TargetUi& u) {
        ProgramSteps steps;
        steps.erase = steps.writeFlash = steps.verifyFlash = true;
        return ProgramTarget(p, images, steps, u).succeeded;
    };
    const auto erasedImage = [](auto command) {
        return [command](Programmer& p, TargetImages& images, TargetUi& u) {
            std::fill(images.flashImage.begin(), images.flashImage.end(), ErasedByte);
            return command(p, images, u);
        };
    };
    const std::string stopped = "The target stopped answering: signature FFFFFF at the end.";
    const LockFuseLayout fuses = LoadLockFuseLayout(ShippedIni(), "ATmega328P");
    const auto readFuses = [&fuses](Programmer& p, TargetImages&, TargetUi& u) {
        return ReadFuseBytes(p, u, fuses).has_value();
    };
    SimFaults bitError;
    bitError.bitErrorAtByte = PrepareBytes + 4; // the answer of the first fuse read
    const std::string notErased = "\nThe flash may not have been erased before the write.";
    const FaultCase cases[] = {
        {"erase, polled", "ATmega88", StuckBusy(),
         [](Programmer& p, TargetImages&, TargetUi& u) { return EraseChip(p, u); },
         "Erase failed: the chip stayed busy."},
        {"EEPROM write, polled", "ATmega88", StuckBusy(),
         [](Programmer& p, TargetImages& images, TargetUi& u) {
             images.eepromImage[3] = 0x12;
             images.eepromDefined = AddressSet({{0, 16}});
             return WriteEeprom(p, images, u);
         },
         "Write failed at 00000000 !"},
        {"flash write, timed waits", "ATmega328P", StuckBusy(), writeFlash,
         "Verify failed at 00000000 !"},
        {"flash write, polled", "ATmega88", StuckBusy(), writeFlash,
         "Erase failed: the chip stayed busy."},
        {"read flash", "ATmega328P", RemovedAfter(PrepareBytes + 4 * 100),
         [](Programmer& p, TargetImages& images, TargetUi& u) { return ReadFlash(p, images, u); },
         stopped},
        {"read EEPROM", "ATmega328P", RemovedAfter(PrepareBytes + 4 * 100),
         [](Programmer& p, TargetImages& images, TargetUi& u) { return ReadEeprom(p, images, u); },
         stopped},
        {"read fuses of a target gone after its identification", "ATmega328P",
         RemovedAfter(PrepareBytes), readFuses, stopped},
        {"read fuses with a bit error", "ATmega328P", bitError, readFuses,
         "The fuse low byte read as FE and then as FF. Check the cable and the target's power "
         "supply."},
        {"verify flash of an erased image", "ATmega328P", RemovedAfter(PrepareBytes + 4 * 400),
         erasedImage([](Programmer& p, TargetImages& images, TargetUi& u) {
             images.flashDefined = AddressSet({{300, 0x8000}});
             return VerifyFlash(p, images, u);
         }),
         stopped},
        {"flash byte write, polled, past an erased byte", "AT90S2313", StuckBusy(),
         [](Programmer& p, TargetImages& images, TargetUi& u) {
             images.flashImage[0] = ErasedByte;
             ProgramSteps steps;
             steps.writeFlash = true; // a stuck erase would leave the writes unheard
             return ProgramTarget(p, images, steps, u).succeeded;
         },
         "Write failed at 00000001 !" + notErased},
        {"flash byte write, polled, after a timed erase that did not happen", "AT90S2313",
         StuckBusy(),
         [](Programmer& p, TargetImages& images, TargetUi& u) {
             ProgramSteps steps;
             steps.erase = steps.writeFlash = true; // the write must fail without a verify
             return ProgramTarget(p, images, steps, u).succeeded;
         },
         "Write failed at 00000000 !"},
        {"AutoProgram's flash write, polled", "ATmega88", StuckBusy(),
         [](Programmer& p, TargetImages& images, TargetUi& u) {
             AutoProgramOptions noErase;
             noErase.erase = false; // else the erase would be the step that fails
             const ProgramResult result = RunAutoProgram(p, images, {}, noErase, u);
             EXPECT_EQ(result.failedStep, "Writing flash");
             EXPECT_EQ(result.failedAddress, std::optional<std::uint32_t>(0));
             return result.succeeded;
         },
         "Write failed at 00000000 !" + notErased},
    };
    // On a parallel-port cable and behind the GPIO header's code path.
    for (const int medium : {CableAutoDetect, CableGpio}) {
        cable = medium;
        for (const FaultCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (medium == CableGpio ? ", GPIO" : ""));
            Program(c.device, firmware);
            Attach(c.device, c.faults);
            app.images.flashImage.assign(FlashImageSize, 0xA5);
            app.images.eepromImage.assign(EepromImageSize, 0xA5);
            DefineWholeMemories();
            EXPECT_FALSE(c.command(*programmer, app.images, ui));
            EXPECT_EQ(ui.LastMessage(), c.message);
            EXPECT_EQ(ui.kinds, std::vector<MessageKind>(ui.kinds.size(), MessageKind::Failure));
            if (std::string(c.name).starts_with("read")) {
                EXPECT_EQ(app.images.flashImage, std::vector<std::uint8_t>(FlashImageSize, 0xA5));
                EXPECT_EQ(app.images.eepromImage, std::vector<std::uint8_t>(EepromImageSize, 0xA5))
                    << "a failed read leaves the image as it was";
            }
            ui.messages.clear();
        }
    }
}

// EEPROM is not erased before a write: a 0xFF in the image must reach the chip, and bytes a
// file does not define must stay.
TEST_F(TargetFaults, EepromWriteWritesWhatDiffersInTheDefinedRanges) {
    Program("ATmega328P", {});
    std::fill(app.images.eepromImage.begin(), app.images.eepromImage.end(), ErasedByte);
    app.images.eepromImage[0x11] = 0x42;
    app.images.eepromDefined = AddressSet({{0x10, 0x20}});
    ASSERT_TRUE(WriteEeprom(*programmer, app.images, ui, false));
    EXPECT_EQ(Chip().eeprom[0x10], ErasedByte);
    EXPECT_EQ(Chip().eeprom[0x11], 0x42);
    EXPECT_EQ(Chip().eeprom[0x0F], 0x55) << "outside the file";
    EXPECT_EQ(Chip().eeprom[0x20], 0x55) << "outside the file";
    EXPECT_TRUE(VerifyEeprom(*programmer, app.images, ui));
    app.images.eepromDefined.Add(0, 0x10);
    EXPECT_FALSE(VerifyEeprom(*programmer, app.images, ui));
    EXPECT_EQ(ui.LastMessage(), "Verify failed at 00000000 !");
    app.images.eepromDefined = AddressSet({{0x10, 0x20}});

    // Bytes that already hold their value cost no write.
    const auto cost = [&] {
        const std::uint64_t before = programmer->RequestedDelayUs();
        EXPECT_TRUE(WriteEeprom(*programmer, app.images, ui, false));
        return programmer->RequestedDelayUs() - before;
    };
    const std::uint64_t nothing = cost();
    EXPECT_EQ(cost(), nothing);
    app.images.eepromImage[0x12] = 0x43;
    const std::uint64_t oneByte = cost();
    EXPECT_GE(oneByte, nothing + 10000) << "one EEPROM write's wait";
}

TEST_F(TargetFaults, AnImageLargerThanTheDeviceIsRefusedBeforeAnyWrite) {
    Program("ATmega328P", std::vector<std::uint8_t>(16, 0x11));
    const std::vector<std::uint8_t> flashBefore = Chip().flash;
    const std::vector<std::uint8_t> eepromBefore = Chip().eeprom;
    struct Case {
        MemoryKind memory;
        std::vector<AddressRange> defined;
        std::string message;
    };
    const Case cases[] = {
        {MemoryKind::Flash,
         {{0, 0x100}, {0x7F00, 0x1E000}},
         "fw.hex holds data at 00008000, beyond the ATmega328P's 32768 bytes."},
        {MemoryKind::Eeprom,
         {{0x500, 0x501}},
         "fw.hex holds data at 00000500, beyond the ATmega328P's 1024 bytes."},
    };
    for (const Case& c : cases) {
        ProgramSteps steps;
        steps.erase = true;
        steps.writeFlash = steps.writeEeprom = true;
        DefineWholeMemories();
        app.images.Defined(c.memory) = AddressSet(c.defined);
        steps.flashName = steps.eepromName = "fw.hex";
        const ProgramResult result = ProgramTarget(*programmer, app.images, steps, ui);
        EXPECT_FALSE(result.succeeded);
        EXPECT_EQ(result.message, c.message);
        EXPECT_EQ(Chip().flash, flashBefore) << "not even erased";
        EXPECT_EQ(Chip().eeprom, eepromBefore);
    }
}

// One flipped bit in the first identification read names another device; the reads are
// compared and read again.
TEST_F(TargetFaults, ABitErrorInTheSignatureDoesNotNameAnotherDevice) {
    SimFaults bitError;
    bitError.bitErrorAtByte = 16 + 8; // the middle signature byte of the first comparison read
    Attach("AT90S2313", bitError);
    ASSERT_EQ(PrepareTarget(*programmer, ui), 1);
    EXPECT_EQ(programmer->device.name, "AT90S2313");
    EXPECT_EQ(programmer->device.programSize, 2048u);
    EXPECT_EQ(programmer->signature, 0x1E9101u);
}

// Released before its write time, a lock write would be lost; and one that did not take must
// not pass.
TEST_F(TargetFaults, LockAndFuseWritesAreReadBack) {
    const LockFuseLayout layout = LoadLockFuseLayout(ShippedIni(), "ATmega328P");
    for (const bool fixed : {false, true}) {
        SCOPED_TRACE(fixed);
        fixedWaits = fixed;
        Attach("ATmega328P", StuckBusy(), ShippedIni());
        EXPECT_EQ(WriteLockByte(*programmer, ui, 0xFC), LockWrite::Failed);
        EXPECT_EQ(ui.LastMessage(), fixedWaits
                                        ? "The lock byte was written as FC but reads back as FF !"
                                        : "Writing the lock byte failed: the chip stayed busy.");
        EXPECT_FALSE(WriteFuseBytes(*programmer, ui, layout, {0xE2, 0xD9, 0xFD}));
    }
    SimFaults slow;
    slow.slowFactor = 2.0;
    fixedWaits = false;
    Attach("ATmega328P", slow, ShippedIni());
    ASSERT_EQ(WriteLockByte(*programmer, ui, 0xFC), LockWrite::Confirmed);
    Attach("ATmega328P", {}, ShippedIni());
    EXPECT_EQ(ReadLockByte(*programmer, ui, layout), std::optional<std::uint8_t>(0xFC));
}

// A cancel stops every long command at its next byte: a read leaves the image as it was, a
// check fails rather than passing on what it did not look at, and a write stops writing.
TEST_F(TargetFaults, CancelStopsEveryLongCommandAtItsNextByte) {
    using Command = std::function<bool(Programmer&, TargetImages&, TargetUi&)>;
    const std::pair<const char*, Command> cases[] = {
        {"read flash",
         [](Programmer& p, TargetImages& i, TargetUi& u) { return ReadFlash(p, i, u); }},
        {"read EEPROM",
         [](Programmer& p, TargetImages& i, TargetUi& u) { return ReadEeprom(p, i, u); }},
        {"verify flash",
         [](Programmer& p, TargetImages& i, TargetUi& u) { return VerifyFlash(p, i, u); }},
        {"verify EEPROM",
         [](Programmer& p, TargetImages& i, TargetUi& u) { return VerifyEeprom(p, i, u); }},
        {"blank check", [](Programmer& p, TargetImages&, TargetUi& u) { return BlankCheck(p, u); }},
        {"write EEPROM",
         [](Programmer& p, TargetImages& i, TargetUi& u) { return WriteEeprom(p, i, u); }},
    };
    for (const auto& [name, command] : cases) {
        for (const int medium : {CableAutoDetect, CableGpio}) {
            cable = medium;
            SCOPED_TRACE(std::string(name) + (medium == CableGpio ? ", GPIO" : ""));
            Program("ATmega328P", {});
            std::atomic<int> cancel{1};
            programmer->SetCancelFlag(&cancel);
            app.images.flashImage.assign(FlashImageSize, 0xA5);
            app.images.eepromImage.assign(EepromImageSize, 0xA5);
            const std::uint64_t before = programmer->RequestedDelayUs();
            EXPECT_FALSE(command(*programmer, app.images, ui));
            EXPECT_EQ(ui.messages, std::vector<std::string>{CancelledMessage});
            EXPECT_EQ(app.images.flashImage[0], 0xA5);
            EXPECT_EQ(app.images.eepromImage[0], 0xA5);
            EXPECT_EQ(Chip().eeprom[0], 0x55) << "nothing written";
            EXPECT_LT(programmer->RequestedDelayUs() - before, 100000u) << "only the preparation";
            programmer->SetCancelFlag(nullptr);
        }
    }
}

// Text that is no project is refused by zelk-cli's autoprogram test, a missing file by the
// project file tests.
TEST_F(SimTargetTest, AProjectThatIsNoneIsRefused) {
    const struct {
        const char* contents;
        const char* reason;
    } cases[] = {
        {"\x7F"
         "ELF\x01\x01",
         "has no [zelk Project] section"},
        {"[zelk Project]\nProjectName=x\n", "names no flash file and no EEPROM file"},
    };
    for (const auto& c : cases) {
        testing::WriteWholeFile(folder / "p.prj", c.contents);
        ProjectFileData data;
        std::string error;
        EXPECT_FALSE(ReadProjectForAutoProgram(folder / "p.prj", data, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    ProjectFileData data;
    std::string error;
    testing::WriteWholeFile(folder / "p.prj", "[zelk Project]\nFlashFile=fw.hex\n");
    EXPECT_TRUE(ReadProjectForAutoProgram(folder / "p.prj", data, error)) << error;
    EXPECT_EQ(data.flashFile, "fw.hex");
}

// Polling ends a write when the chip is ready; the worst case is only its bound. A slow chip
// takes longer and still passes; a target clocked too slowly for the SCK phases is not
// entered until the phases are long enough.
TEST_F(TargetFaults, PollingWaitsForTheChipNotForTheWorstCase) {
    const auto programTime = [&](bool fixed, const SimFaults& faults) {
        fixedWaits = fixed;
        Attach("ATmega88", faults);
        ProgramSteps steps;
        steps.erase = steps.writeFlash = steps.verifyFlash = true;
        steps.writeEeprom = steps.verifyEeprom = true;
        for (std::size_t i = 0; i < 8192; ++i) {
            app.images.flashImage[i] = static_cast<std::uint8_t>(i * 13);
            app.images.eepromImage[i % 512] = static_cast<std::uint8_t>(i * 7);
        }
        DefineWholeMemories();
        const std::uint64_t before = programmer->RequestedDelayUs();
        const ProgramResult result = ProgramTarget(*programmer, app.images, steps, ui);
        EXPECT_TRUE(result.succeeded) << result.message;
        return programmer->RequestedDelayUs() - before;
    };
    const std::uint64_t fixed = programTime(true, {});
    const std::uint64_t polled = programTime(false, {});
    // The chip's own times here (4.5 ms a page, 9 ms an EEPROM byte) against the worst cases
    // (25 ms, 15 ms).
    EXPECT_LT(polled * 3, fixed * 2);
    SimFaults slow;
    slow.slowFactor = 1.5;
    EXPECT_GT(programTime(false, slow), polled);

    SimFaults oneMegahertz;
    oneMegahertz.clockHz = 1000000;
    fixedWaits = false;
    Attach("ATmega88", oneMegahertz);
    EXPECT_EQ(PrepareTarget(*programmer, ui), 0) << "1 us phases are too short at 1 MHz";
    sckHalfPeriodUs = 3;
    Attach("ATmega88", oneMegahertz);
    EXPECT_EQ(PrepareTarget(*programmer, ui), 1);
}

} // namespace
} // namespace zelk
