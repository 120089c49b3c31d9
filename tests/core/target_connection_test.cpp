// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli_run.h"
#include "engine/connection.h"
#include "engine/lock_fuse.h"
#include "engine/target_connection.h"
#include "fake_port.h"
#include "recording_target_ui.h"
#include "scratch_folder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zelk {
namespace {

using test::FakePort;
using test::ProgrammerOn;
using test::RecordingTargetUi;

const std::vector<std::uint8_t> IdentifiedOnTheWire = {
    0xAC, 0x53, 0x00, 0x00,                         // Programming Enable
    0x30, 0x00, 0x00, 0x00, 0x30, 0x00, 0x01, 0x00, // the signature
    0x30, 0x00, 0x02, 0x00,                         //
    0x30, 0x00, 0x00, 0x00, 0x30, 0x00, 0x01, 0x00, // the signature twice more, compared
    0x30, 0x00, 0x02, 0x00, 0x30, 0x00, 0x00, 0x00, // for the device bar
    0x30, 0x00, 0x01, 0x00, 0x30, 0x00, 0x02, 0x00, //
};

// A chip in serial programming mode: it echoes 0x53 in the third byte of Programming Enable
// and sends a signature byte as the fourth byte of a signature read, both only when its own
// byte framing sees the instruction; otherwise it sends 0x00.
std::function<std::uint8_t(const std::vector<std::uint8_t>&)>
Avr(std::array<std::uint8_t, 3> signature) {
    return [signature](const std::vector<std::uint8_t>& r) -> std::uint8_t {
        const std::size_t n = r.size();
        if (n >= 2 && r[n - 2] == 0xAC && r[n - 1] == 0x53) {
            return 0x53;
        }
        if (n >= 3 && r[n - 3] == 0x30 && r[n - 2] == 0x00 && r[n - 1] < 3) {
            return signature[r[n - 1]];
        }
        return 0x00;
    };
}

FakePort::SpiTarget OnSp12(std::array<std::uint8_t, 3> signature) {
    return {.sck = 0x01,
            .mosi = 0x80,
            .reset = 0x02,
            .miso = 0x80,
            .misoInverted = true,
            .respond = Avr(signature)};
}

class PrepareTargetTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::WriteWholeFile(Ini(),
                                "[Devices]\nDevice1=AT90S2313\nDevice2=Oversized\nDevice3=Tiny15\n"
                                "Device4=Mega\n"
                                "[AT90S2313]\nSignature=0x1E9101\nProgramSize=2048\n"
                                "DataSize=128\nAlgorithm=1\nPageSize=0\n"
                                "[Oversized]\nSignature=0x1E9999\nProgramSize=0x40000\n"
                                "DataSize=512\nAlgorithm=2\nPageSize=64\n"
                                "[Tiny15]\nSignature=0x1E9006\nProgramSize=1024\n"
                                "DataSize=64\nAlgorithm=2\nPageSize=32\n"
                                "[Mega]\nSignature=0x1E950F\nProgramSize=32768\n"
                                "DataSize=1024\nAlgorithm=3\nPageSize=128\n");
        port.target = OnSp12({0x1E, 0x91, 0x01});
        programmer = ProgrammerOn(port, CableAutoDetect, Ini());
    }

    std::filesystem::path Ini() const { return folder / "zelk.ini"; }

    testing::ScratchFolder folder;
    FakePort port;
    std::unique_ptr<Programmer> programmer;
    RecordingTargetUi ui;
};

TEST_F(PrepareTargetTest, IdentifiesTheTargetWithTheExactWireSequence) {
    EXPECT_EQ(PrepareTarget(*programmer, ui), 1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.deviceText, "AT90S2313");
    EXPECT_EQ(programmer->device.programSize, 2048u);
    EXPECT_EQ(programmer->CableType(), CableSp12);

    // Cable recognition, then reset low, a positive pulse while SCK is low, reset low again.
    const std::vector<std::uint8_t> writes = port.DataWrites();
    // A value the data register already holds is not written again.
    ASSERT_GE(writes.size(), 10u);
    EXPECT_EQ(std::vector<std::uint8_t>(writes.begin(), writes.begin() + 9),
              (std::vector<std::uint8_t>{0x00, 0x08, 0x28, 0x29, // recognition
                                         0x00, 0x02, 0x42, 0x40, 0x00}));
    std::vector<std::int64_t> at;
    for (const FakePort::Access& access : port.log) {
        if (access.isWrite) {
            at.push_back(access.atUs);
        }
    }
    EXPECT_EQ(at[5] - at[4], 10000 + 2) << "reset held before the pulse";
    EXPECT_EQ(at[7] - at[6], 5000 + 1) << "the pulse";
    EXPECT_EQ(at[9] - at[8], 30000 + 1) << "reset held before Programming Enable";
    EXPECT_EQ(port.received, IdentifiedOnTheWire);
}

TEST_F(PrepareTargetTest, ATargetOutOfStepIsClockedIntoStepWithoutAnotherReset) {
    // Four bits ahead: four failed attempts, each followed by an SCK pulse, bring it in step.
    port.target->framingOffsetBits = 4;
    EXPECT_EQ(PrepareTarget(*programmer, ui), 1);
    EXPECT_EQ(ui.deviceText, "AT90S2313");
    EXPECT_EQ(port.RisingEdges(0x02), 1) << "the reset pulse is not repeated";
    // One edge from cable recognition, four attempts and pulses, then one whole run.
    EXPECT_EQ(port.RisingEdges(0x01), 1 + 4 * (32 + 1) + 10 * 32);
    ASSERT_GE(port.received.size(), IdentifiedOnTheWire.size());
    EXPECT_EQ(std::vector<std::uint8_t>(port.received.end() - IdentifiedOnTheWire.size(),
                                        port.received.end()),
              IdentifiedOnTheWire);
}

struct CableCheckCase {
    int interface;
    std::function<std::uint8_t(std::uint8_t)> wiring;
    bool accepted;
};

TEST_F(PrepareTargetTest, TheConfiguredCableMustBeTheOneFound) {
    const auto none = [](std::uint8_t) { return std::uint8_t{0}; };
    const auto kestan = [](std::uint8_t d) { return (d & 0x08) != 0 ? std::uint8_t{0x08} : 0; };
    const CableCheckCase cases[] = {
        {CableSp12, none, true}, {CableKestan, none, false}, {CableSp12, kestan, false},
        {CableUsb, none, true},  {0x10004, none, true},      {CableAutoDetect, none, true},
    };
    for (const CableCheckCase& c : cases) {
        FakePort fresh;
        fresh.statusFromData = c.wiring;
        fresh.target = OnSp12({0x1E, 0x91, 0x01});
        programmer = ProgrammerOn(fresh, c.interface, Ini());
        ui.messages.clear();
        ui.deviceText = "Unknown Device";
        const int ready = PrepareTarget(*programmer, ui);
        if (c.accepted) {
            // USB has no loop-back wires: it is used as chosen, and this target is not wired
            // for it.
            EXPECT_EQ(ready, c.interface == CableUsb ? 0 : 1) << c.interface;
            EXPECT_EQ(std::count(ui.messages.begin(), ui.messages.end(),
                                 "Cannot find the selected interface on the selected port."),
                      0)
                << c.interface;
            EXPECT_EQ(programmer->CableType(),
                      c.interface == CableAutoDetect ? CableSp12 : (c.interface & 0xFFFF));
            continue;
        }
        EXPECT_EQ(ready, 0) << c.interface;
        EXPECT_EQ(ui.messages, std::vector<std::string>{
                                   "Cannot find the selected interface on the selected port."});
        EXPECT_EQ(programmer->CableType(), CableNone);
        EXPECT_EQ(ui.deviceText, "Unknown Device") << "the device bar is left as it was";
        EXPECT_TRUE(fresh.received.empty()) << "the target is not touched";
    }
}

// A database entry the engine cannot use is refused with its reason, not used half-way.
TEST_F(PrepareTargetTest, AnInvalidDeviceEntryShowsErrorAndKeepsTheNumbers) {
    port.target = OnSp12({0x1E, 0x99, 0x99});
    programmer->device = {"ATtiny12", 1024, 64, Algorithm::TimedBytes, 0};
    EXPECT_EQ(PrepareTarget(*programmer, ui), 0);
    const std::string message = "Device \"Oversized\" in zelk.ini is invalid: ";
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].substr(0, message.size()), message);
    EXPECT_GT(ui.messages[0].size(), message.size()) << "with its reason";
    EXPECT_EQ(ui.deviceText, "Error");
    EXPECT_EQ(programmer->device.programSize, 1024u) << "the numbers of the device before are kept";
}

TEST_F(PrepareTargetTest, APortThatCannotBeOpenedSaysWhyAndTouchesNothing) {
    ConnectionSettings settings;
    settings.lptIndex = 65535;
    settings.cable = CableSp12;
    settings.deviceDatabase = Ini();
    std::string error;
    programmer = MakeProgrammer(settings, error);
    ASSERT_NE(programmer, nullptr) << error;
    ui.deviceText = "ATtiny12";
    EXPECT_EQ(PrepareTarget(*programmer, ui), 0);
    EXPECT_EQ(programmer->targetReady, 0);
    EXPECT_EQ(ui.messages, std::vector<std::string>{
                               "Cannot find any supported interface on the selected LPT port.\n"
                               "port index 65535 is not 0, 1 or 2"});
    EXPECT_EQ(ui.deviceText, "ATtiny12");
}

// Every command ends with the drivers off; the next one must still recognise the cable.
TEST_F(PrepareTargetTest, RecognisesEachSimulatedCableAgainAfterTheDriversWentOff) {
    for (int cable : {CableKestan, CableAltera, CableStk200, CableSp12}) {
        SCOPED_TRACE(cable);
        ConnectionSettings settings;
        settings.port = PortKind::Simulator;
        settings.simulator.device = "AT90S2313";
        settings.cable = cable;
        settings.deviceDatabase = Ini();
        std::string error;
        programmer = MakeProgrammer(settings, error);
        ASSERT_NE(programmer, nullptr) << error;
        DetectDevice(*programmer, ui);
        DetectDevice(*programmer, ui);
        EXPECT_EQ(programmer->targetReady, 1);
        EXPECT_EQ(programmer->CableType(), cable);
        EXPECT_EQ(ui.deviceText, "AT90S2313");
        EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
    }
}

// The lock and fuse bytes as the chip's instruction forms take them: the second-byte lock
// form keeps bits 1 and 2 only, the second-byte fuse form of algorithm 2 bits 0, 1 and 3.
TEST_F(PrepareTargetTest, LockAndFuseWritesSendTheFormOfTheDevicesAlgorithm) {
    const LockFuseLayout fusesOnly({"", "abcdefgh", "", ""}, {}, {});
    const struct {
        std::array<std::uint8_t, 3> signature;
        std::function<void(Programmer&, TargetUi&)> write;
        std::vector<std::uint8_t> sent;
    } cases[] = {
        {{0x1E, 0x91, 0x01},
         [](Programmer& p, TargetUi& u) { WriteLockByte(p, u, 0x00); },
         {0xAC, 0xF9, 0xFF, 0xFF}},
        {{0x1E, 0x91, 0x01},
         [](Programmer& p, TargetUi& u) { WriteLockByte(p, u, 0xFF); },
         {0xAC, 0xFF, 0xFF, 0xFF}},
        {{0x1E, 0x95, 0x0F},
         [](Programmer& p, TargetUi& u) { WriteLockByte(p, u, 0xC0); },
         {0xAC, 0xFF, 0xFF, 0xC0}},
        {{0x1E, 0x90, 0x06},
         [&](Programmer& p, TargetUi& u) { WriteFuseBytes(p, u, fusesOnly, {0x00}); },
         {0xAC, 0xB4, 0xFF, 0xFF}},
        {{0x1E, 0x90, 0x06},
         [&](Programmer& p, TargetUi& u) { WriteFuseBytes(p, u, fusesOnly, {0xFF}); },
         {0xAC, 0xBF, 0xFF, 0xFF}},
        {{0x1E, 0x95, 0x0F},
         [&](Programmer& p, TargetUi& u) { WriteFuseBytes(p, u, fusesOnly, {0x62}); },
         {0xAC, 0xA0, 0x00, 0x62}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        FakePort fresh;
        fresh.target.emplace(OnSp12(c.signature));
        programmer = ProgrammerOn(fresh, CableAutoDetect, Ini());
        // The fake chip keeps no fuses, so the read-back after the write may disagree.
        c.write(*programmer, ui);
        ASSERT_GE(fresh.received.size(), IdentifiedOnTheWire.size() + 4);
        const auto sent = fresh.received.begin() + static_cast<long>(IdentifiedOnTheWire.size());
        EXPECT_EQ(std::vector<std::uint8_t>(sent, sent + 4), c.sent);
    }
}

// A noisy cable that garbles one signature reading of each pair identifies no device: the
// command stops with both readings before it touches the chip.
TEST(SignatureReadings, ReadingsThatKeepDisagreeingStopTheCommand) {
    const testing::ScratchFolder folder;
    testing::WriteWholeFile(folder / "fw.hex", ":0400000001020304F2\n:00000001FF\n");
    const std::string chip =
        " --port sim:AT90S2313 --sim-state " + testing::Quote(folder / "chip.bin");
    // Bytes 24 and 48 are the device bytes of the first and the third comparison reading.
    const testing::CliRun noisy = testing::RunCli(
        folder, chip + " --sim-fault noise=24 write-flash " + testing::Quote(folder / "fw.hex"));
    EXPECT_EQ(noisy.exitCode, 1);
    EXPECT_THAT(noisy.errors, ::testing::HasSubstr("The signature read as 1E9001 and then as "
                                                   "1E9101. Check the cable and the target's "
                                                   "power supply."));
    EXPECT_EQ(testing::RunCli(folder, chip + " blank-check").output, "Device is Empty\n");
}

} // namespace
} // namespace zelk
