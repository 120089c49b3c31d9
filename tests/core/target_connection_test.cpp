#include "app/settings_store.h"
#include "engine/port_claim.h"
#include "engine/port_io.h"
#include "engine/port_lines.h"
#include "engine/target_connection.h"
#include "fake_port.h"
#include "recording_target_ui.h"
#include "scratch_folder.h"
#include "sim/simulated_port.h"

#include <array>
#include <cstdlib>
#include <gtest/gtest.h>

namespace zelk {
namespace {

using test::FakePort;
using test::RecordingTargetUi;
using test::ScopedFakePort;

const std::vector<std::uint8_t> IdentifiedOnTheWire = {
    0xAC, 0x53, 0x00, 0x00,                         // Programming Enable
    0x30, 0x00, 0x00, 0x00, 0x30, 0x00, 0x01, 0x00, // the signature
    0x30, 0x00, 0x02, 0x00,                         //
    0x30, 0x00, 0x01, 0x00, 0x30, 0x00, 0x02, 0x00, // the device code again for the device bar
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
        setenv("XDG_CONFIG_HOME", folder.Path().c_str(), 1);
        app.deviceDatabase = folder / "zelk.ini";
        testing::WriteWholeFile(app.deviceDatabase,
                                "[Devices]\nDevice1=AT90S2313\nDevice2=Oversized\n"
                                "[AT90S2313]\nSignature=0x1E9101\nProgramSize=2048\n"
                                "DataSize=128\nAlgorithm=1\nPageSize=0\n"
                                "[Oversized]\nSignature=0x1E9999\nProgramSize=0x40000\n"
                                "DataSize=512\nAlgorithm=2\nPageSize=64\n");
        port.target = OnSp12({0x1E, 0x91, 0x01});
    }
    void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }

    void SetInterface(int type) { ASSERT_TRUE(WriteSettingInt("Preferences", "Interface", type)); }

    testing::ScratchFolder folder;
    FakePort port;
    ScopedFakePort scope{port};
    AppState app;
    RecordingTargetUi ui;
};

TEST_F(PrepareTargetTest, IdentifiesTheTargetWithTheExactWireSequence) {
    EXPECT_EQ(PrepareTarget(app, ui), 1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.deviceText, "AT90S2313");
    EXPECT_EQ(app.device.programSize, 2048u);
    EXPECT_EQ(Engine().cableType, CableSp12);

    // Cable recognition, then reset low, a positive pulse while SCK is low, reset low again.
    const std::vector<std::uint8_t> writes = port.DataWrites();
    ASSERT_GE(writes.size(), 12u);
    EXPECT_EQ(std::vector<std::uint8_t>(writes.begin(), writes.begin() + 12),
              (std::vector<std::uint8_t>{0x00, 0x08, 0x08, 0x28, 0x28, 0x29, // recognition
                                         0x00, 0x00, 0x02, 0x42, 0x40, 0x00}));
    std::vector<std::int64_t> at;
    for (const FakePort::Access& access : port.log) {
        if (access.isWrite) {
            at.push_back(access.atUs);
        }
    }
    EXPECT_EQ(at[8] - at[7], 10000 + 1) << "reset held before the pulse";
    EXPECT_EQ(at[10] - at[9], 5000 + 1) << "the pulse";
    EXPECT_EQ(at[12] - at[11], 30000 + 1) << "reset held before Programming Enable";
    EXPECT_EQ(port.received, IdentifiedOnTheWire);
}

TEST_F(PrepareTargetTest, ATargetOutOfStepIsClockedIntoStepWithoutAnotherReset) {
    // Four bits ahead: four failed attempts, each followed by an SCK pulse, bring it in step.
    port.target->framingOffsetBits = 4;
    EXPECT_EQ(PrepareTarget(app, ui), 1);
    EXPECT_EQ(ui.deviceText, "AT90S2313");
    EXPECT_EQ(port.RisingEdges(0x02), 1) << "the reset pulse is not repeated";
    // One edge from cable recognition, four attempts and pulses, then one whole run.
    EXPECT_EQ(port.RisingEdges(0x01), 1 + 4 * (32 + 1) + 6 * 32);
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
        {CableUsb, none, false}, {0x10004, none, true},      {CableAutoDetect, none, true},
    };
    for (const CableCheckCase& c : cases) {
        FakePort fresh;
        fresh.statusFromData = c.wiring;
        fresh.target = OnSp12({0x1E, 0x91, 0x01});
        ScopedFakePort freshScope(fresh);
        ui.messages.clear();
        ui.deviceText = "Unknown Device";
        SetInterface(c.interface);
        EXPECT_EQ(PrepareTarget(app, ui), c.accepted ? 1 : 0) << c.interface;
        if (c.accepted) {
            EXPECT_TRUE(ui.messages.empty()) << c.interface;
            continue;
        }
        EXPECT_EQ(ui.messages, std::vector<std::string>{
                                   "Cannot find the selected interface on the selected port."});
        EXPECT_EQ(Engine().cableType, CableNone);
        EXPECT_EQ(ui.deviceText, "Unknown Device") << "the device bar is left as it was";
        EXPECT_TRUE(fresh.received.empty()) << "the target is not touched";
    }
}

// A database entry the engine cannot use is refused with its reason, not used half-way.
TEST_F(PrepareTargetTest, AnInvalidDeviceEntryShowsErrorAndKeepsTheNumbers) {
    port.target = OnSp12({0x1E, 0x99, 0x99});
    app.device = {"ATtiny12", 1024, 64, 0, 0};
    EXPECT_EQ(PrepareTarget(app, ui), 0);
    const std::string message = "Device \"Oversized\" in zelk.ini is invalid: ";
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].substr(0, message.size()), message);
    EXPECT_GT(ui.messages[0].size(), message.size()) << "with its reason";
    EXPECT_EQ(ui.deviceText, "Error");
    EXPECT_EQ(app.device.programSize, 1024u) << "the numbers of the device before are kept";
}

TEST_F(PrepareTargetTest, APortThatCannotBeOpenedSaysWhyAndTouchesNothing) {
    SetPortOpener([](int index, std::string& reason) -> std::unique_ptr<PortIo> {
        reason = "port index " + std::to_string(index) + " is not 0, 1 or 2";
        return nullptr;
    });
    SelectPort(65535);
    SelectCable(CableSp12);
    ui.deviceText = "ATtiny12";
    EXPECT_EQ(PrepareTarget(app, ui), 0);
    EXPECT_EQ(app.targetReady, 0);
    EXPECT_EQ(ui.messages, std::vector<std::string>{
                               "Cannot find any supported interface on the selected LPT port.\n"
                               "port index 65535 is not 0, 1 or 2"});
    EXPECT_EQ(ui.deviceText, "ATtiny12");
}

TEST_F(PrepareTargetTest, IsRefusedWhileTheFlashWriteHoldsThePort) {
    app.targetReady = 1;
    ASSERT_TRUE(TryClaimPort());
    EXPECT_EQ(PrepareTarget(app, ui), 0);
    DetectDevice(app, ui);
    ResetDevice(app, ui);
    ReleasePortClaim();
    EXPECT_EQ(app.targetReady, 1) << "the running write's target stays ready";
    EXPECT_EQ(ui.messages, std::vector<std::string>(3, PortBusyMessage));
    EXPECT_TRUE(port.log.empty());
}

// Every command ends with the drivers off; the next one must still recognise the cable.
TEST_F(PrepareTargetTest, RecognisesEachSimulatedCableAgainAfterTheDriversWentOff) {
    for (int cable : {CableKestan, CableAltera, CableStk200, CableSp12}) {
        SCOPED_TRACE(cable);
        SimConfig config;
        config.device = {"AT90S2313", 0x1E9101, 2048, 128, 1, 0, "", "", "", ""};
        config.cableType = cable;
        SetPortOpener(MakeSimulatedPortOpener(config));
        SetInterface(cable);
        DetectDevice(app, ui);
        DetectDevice(app, ui);
        EXPECT_EQ(app.targetReady, 1);
        EXPECT_EQ(Engine().cableType, cable);
        EXPECT_EQ(ui.deviceText, "AT90S2313");
        EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
    }
}

} // namespace
} // namespace zelk
