// SPDX-License-Identifier: GPL-3.0-or-later
// The GPIO header's code path below the engine: the port that turns register writes into line
// requests, the wiring a user gives, and the checks on a chip's lines. The commands themselves
// run through it in the round-trip, fault, cancel and release tests (their GPIO rows).
#include "cli_run.h"
#include "engine/connection.h"
#include "platform/gpio_chip.h"
#include "platform/gpio_port.h"
#include "platform/settings_store.h"
#include "scratch_folder.h"
#include "station/stored_connection.h"

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace zelk {
namespace {

// Lines that note each request as text: "drive s m r", "set s m r", "float", "miso".
class NotedLines final : public GpioLines {
public:
    explicit NotedLines(std::vector<std::string>& notes) : noted(notes) {}
    void Drive(IspLevels levels) override { noted.push_back("drive " + Text(levels)); }
    void Set(IspLevels levels) override { noted.push_back("set " + Text(levels)); }
    void Float() override { noted.push_back("float"); }
    bool Miso() override {
        noted.push_back("miso");
        return true;
    }
    void Wait(std::int32_t) override {}

private:
    static std::string Text(IspLevels levels) {
        return std::string(levels.sck ? "1" : "0") + (levels.mosi ? "1" : "0") +
               (levels.reset ? "1" : "0");
    }
    std::vector<std::string>& noted;
};

// A line is requested only when its level changes, all three in one request; the drivers bits
// drive the lines and let them go; a port dropped while driving lets them go too.
TEST(GpioPort, RequestsOnlyWhatChangesAndLetsGoAtTheEnd) {
    constexpr std::uint8_t Off = GpioDriverBits;
    constexpr std::uint8_t Sck = GpioSckBit, Mosi = GpioMosiBit, Reset = GpioResetBit;
    const struct {
        const char* name;
        std::vector<std::uint8_t> writes;
        std::vector<std::string> requests;
    } cases[] = {
        {"nothing while the drivers are off", {Off | Reset, Off | Sck}, {}},
        {"drivers on, then one bit: MOSI with SCK low, SCK high",
         {Off | Reset, 0, Mosi, Mosi | Sck},
         {"drive 000", "set 010", "set 110", "float"}},
        {"the same value again is no request", {0, 0, Sck, Sck}, {"drive 000", "set 100", "float"}},
        {"drivers off lets go, on again drives the levels written",
         {Reset, Off | Reset, Reset | Sck},
         {"drive 001", "float", "drive 101", "float"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> requests;
        {
            GpioPort port(std::make_unique<NotedLines>(requests));
            for (const std::uint8_t value : c.writes) {
                port.Write(PortRegister::Data, value);
            }
            port.Write(PortRegister::Control, 0x02); // no control lines: nothing requested
        }
        EXPECT_EQ(requests, c.requests);
    }
    std::vector<std::string> requests;
    GpioPort port(std::make_unique<NotedLines>(requests));
    EXPECT_EQ(port.Read(PortRegister::Status), GpioMisoBit);
    EXPECT_EQ(requests, std::vector<std::string>{"miso"}) << "one read of MISO a status read";
}

TEST(GpioWiring, TheLinesATextGivesOrWhyNot) {
    const struct {
        std::string text;
        std::string result; // GpioLinesText of the wiring, or the reason
    } cases[] = {
        {"", "sck=11,mosi=10,miso=9,reset=25"},
        {"reset=24", "sck=11,mosi=10,miso=9,reset=24"},
        {"sck=2,mosi=3,miso=4,reset=5,enable-low=6,power=7",
         "sck=2,mosi=3,miso=4,reset=5,enable-low=6,power=7"},
        {"sck=10", "sck and mosi are both line 10"},
        {"power=9", "miso and power are both line 9"},
        {"clk=3", "\"clk\" is no GPIO signal (sck, mosi, miso, reset, enable, enable-low, power, "
                  "power-low)"},
        {"sck=x", "\"sck=x\": give a line as NAME=NUMBER (0 to 4095)"},
        {"sck=-1", "\"sck=-1\": give a line as NAME=NUMBER (0 to 4095)"},
        {"sck=4096", "\"sck=4096\": give a line as NAME=NUMBER (0 to 4095)"},
        {"sck=2,,mosi=3", "\"\": give a line as NAME=NUMBER (0 to 4095)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        GpioWiring wiring;
        std::string error;
        const bool applied = ApplyGpioLines(c.text, wiring, error);
        EXPECT_EQ(applied ? GpioLinesText(wiring) : error, c.result);
        if (!applied) {
            EXPECT_EQ(wiring, GpioWiring{}) << "unchanged";
        }
    }
}

// The chip's own count and its consumers are checked before a line is requested.
TEST(GpioWiring, LinesBeyondTheChipOrUsedByAnotherAreRefusedByName) {
    const std::map<unsigned, std::string> used = {{8, "spi0 CS0"}, {25, "gpio-keys"}};
    const auto consumerOf = [&used](unsigned offset) -> std::optional<std::string> {
        const auto found = used.find(offset);
        return found != used.end() ? std::optional(found->second) : std::nullopt;
    };
    GpioWiring wiring;
    EXPECT_EQ(GpioWiringProblem(wiring, 54, consumerOf),
              "/dev/gpiochip0: line 25 (reset) is used by gpio-keys");
    wiring.reset = 24;
    EXPECT_EQ(GpioWiringProblem(wiring, 54, consumerOf), std::nullopt);
    EXPECT_EQ(GpioWiringProblem(wiring, 20, consumerOf),
              "/dev/gpiochip0: reset is line 24, but the chip has lines 0 to 19");
    wiring.enable = GpioSwitchLine{8, true};
    EXPECT_EQ(GpioWiringProblem(wiring, 54, consumerOf),
              "/dev/gpiochip0: line 8 (enable) is used by spi0 CS0");
}

// A port name chooses the chip; stored lines that do not read keep anything from being built
// on a GPIO port, and name the value.
TEST(GpioWiring, APortNameAndTheStoredLinesMakeTheConnection) {
    for (const auto& [name, chip] : {std::pair{"gpio:0", "/dev/gpiochip0"},
                                     std::pair{"gpio:/dev/gpiochip4", "/dev/gpiochip4"}}) {
        ConnectionSettings settings;
        std::string error;
        ASSERT_TRUE(ApplyPortName(name, settings, error)) << error;
        EXPECT_EQ(settings.port, PortKind::Gpio);
        EXPECT_EQ(settings.gpio.chip, chip);
    }
    testing::ScratchFolder folder;
    SettingsStore store(folder / "zelk.conf");
    ASSERT_TRUE(store.WriteString("Preferences", "Port", "gpio:0"));
    ASSERT_TRUE(store.WriteString("Preferences", "GpioLines", "sck=3,mosi=3"));
    std::string error;
    EXPECT_EQ(MakeProgrammer(StoredConnection(store), error), nullptr);
    EXPECT_EQ(error, "the stored GPIO lines \"sck=3,mosi=3\": sck and mosi are both line 3");
}

// zelk-cli on a GPIO port: without a chip it says so; the simulated target behind the GPIO
// header's code path programs and verifies as on any cable.
TEST(GpioCli, NoChipIsSaidAndTheSimulatorProgramsThroughTheHeader) {
    testing::ScratchFolder folder;
    testing::WriteWholeFile(folder / "fw.hex", ":0400000001020304F2\n:00000001FF\n");
    const struct {
        std::string arguments;
        int exitCode;
        std::string says; // part of the standard error
    } cases[] = {
        {"--port gpio:/dev/zelk-no-gpiochip detect", 1,
         "/dev/zelk-no-gpiochip: No such file or directory: there is no GPIO chip here "
         "(gpiodetect lists the chips)"},
        {"--port lpt1 --gpio reset=24 detect", 2, "--gpio names the lines of a GPIO port"},
        {"--port gpio:0 --cable stk200 detect", 2, "leave --cable out"},
        {"--port gpio:0 --gpio sck=1,mosi=1 detect", 2, "--gpio: sck and mosi are both line 1"},
        {"--port lpt1 --cable gpio detect", 2, "the GPIO header is reached through a gpio: port"},
        {"--port sim:ATmega328P --cable gpio program " + testing::Quote(folder / "fw.hex"), 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const testing::CliRun run = testing::RunCli(folder, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.errors;
        EXPECT_NE(run.errors.find(c.says), std::string::npos) << run.errors;
    }
}

} // namespace
} // namespace zelk
