// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/target_options.h"

#include "engine/cables.h"
#include "platform/gpio_chip.h"
#include "sim/sim_faults.h"
#include "station/stored_connection.h"

namespace zelk {
namespace {

// The --cable names: "auto" and one per cable of the table.
std::vector<std::string> CableChoices() {
    std::vector<std::string> names = {"auto"};
    for (const CableInfo& cable : Cables()) {
        if (!cable.cliName.empty()) {
            names.emplace_back(cable.cliName);
        }
    }
    return names;
}

} // namespace

ProgressStyle TargetOptions::Style() const {
    if (quiet) {
        return ProgressStyle::Quiet;
    }
    return progress == "json" ? ProgressStyle::Json : ProgressStyle::Bar;
}

void AddConnectionOptions(CLI::App& app, TargetOptions& options) {
    app.add_option("--port", options.port,
                   "lpt1, lpt2, lpt3, /dev/parportN, gpio:/dev/gpiochipN (or gpio:N) or sim:DEVICE "
                   "(default: the stored port)")
        ->check(CLI::Validator(
            [](std::string& text) {
                ConnectionSettings ignored;
                std::string error;
                ApplyPortName(text, ignored, error);
                return error;
            },
            "PORT"));
    app.add_option("--cable", options.cable,
                   "Cable type (default: the stored cable); gpio puts a simulated target behind "
                   "the GPIO header's code path")
        ->check(CLI::IsMember(CableChoices()));
    app.add_option(
        "--gpio", options.gpio,
        "Lines of a gpio: port, as gpioinfo numbers them: sck=N,mosi=N,miso=N,reset=N, "
        "optional enable=N or enable-low=N (a level shifter's buffer enable) and "
        "power=N or power-low=N (the target's supply) (default: the stored lines, "
        "first sck=11,mosi=10,miso=9,reset=25: the Raspberry Pi's SPI0 pins and BCM 25)");
    app.add_option("--ini", options.ini, "Device database (default: zelk.ini beside zelk)");
    app.add_option("--sck-us,--sck-half-period", options.sckHalfPeriodUs,
                   "Microseconds SCK stays high and low; a target clocked at F Hz needs more "
                   "than 2,000,000 / F (3 for a factory-fresh ATmega at 1 MHz)")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_flag("--fixed-waits", options.fixedWaits,
                 "Wait the data sheets' worst case after every write instead of polling the "
                 "part for ready");
    app.add_flag("--single-read", options.singleRead,
                 "Read flash and EEPROM once: by default a read that is kept is read twice and "
                 "must agree");
    app.add_option("--device", options.device,
                   "Refuse any chip but this one (a name zelk.ini lists, any case) before it is "
                   "touched");
    app.add_option("--progress", options.progress,
                   "bar (on a terminal) or json: one JSON object a line on stderr")
        ->check(CLI::IsMember({"bar", "json"}))
        ->capture_default_str();
    app.add_flag("-q,--quiet", options.quiet,
                 "No progress and no success messages; failures still go to stderr");
    app.add_option("--sim-state", options.simState,
                   "Simulator: file that keeps the chip's memories between runs");
    app.add_option("--sim-time", options.simTime, "Simulator: virtual or real time")
        ->check(CLI::IsMember({"virtual", "real"}))
        ->capture_default_str();
    app.add_option(
           "--sim-fault", options.simFaults,
           "Simulator: a fault to inject (none-connected, wrong-cable=N, no-echo=N, "
           "stuck-busy, bit-error=N, noise=N, remove-after=N, slow=FACTOR, clock=HZ); repeat it "
           "for several")
        ->allow_extra_args(false);
}

bool ConnectionOf(const TargetOptions& options, const SettingsStore& store,
                  ConnectionSettings& settings, std::string& error) {
    settings = StoredConnection(store);
    if (!options.port.empty()) {
        if (!ApplyPortName(options.port, settings, error)) {
            return false;
        }
        settings.storedPortProblem.clear();
    }
    if (!options.gpio.empty()) {
        if (settings.port != PortKind::Gpio) {
            error = "--gpio names the lines of a GPIO port: give --port gpio:/dev/gpiochipN too";
            return false;
        }
        GpioWiring wiring = GpioWiring{}; // the lines given, over the defaults
        wiring.chip = settings.gpio.chip;
        if (!ApplyGpioLines(options.gpio, wiring, error)) {
            error = "--gpio: " + error;
            return false;
        }
        settings.gpio = wiring;
        settings.storedGpioProblem.clear();
    }
    if (!options.cable.empty()) {
        const CableInfo* cable = FindCableByCliName(options.cable);
        settings.cable = cable != nullptr ? cable->type : CableAutoDetect;
        if (settings.port == PortKind::Gpio && cable != nullptr && cable->type != CableGpio) {
            error = "a gpio: port has the GPIO header's wiring: leave --cable out";
            return false;
        }
    }
    settings.deviceDatabase = options.ini;
    settings.sckHalfPeriodUs = options.sckHalfPeriodUs;
    settings.fixedWaits = options.fixedWaits;
    settings.confirmReads = !options.singleRead;
    settings.simulator.stateFile = options.simState;
    settings.simulator.virtualTime = options.simTime == "virtual";
    for (const std::string& fault : options.simFaults) {
        if (!ParseSimFault(fault, settings.simulator.faults, error)) {
            return false;
        }
    }
    if (!settings.simulator.stateFile.empty()) {
        const std::filesystem::path folder = settings.simulator.stateFile.parent_path();
        std::error_code ec;
        if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
            error = "the folder of the simulator state file " +
                    settings.simulator.stateFile.string() + " does not exist";
            return false;
        }
    }
    return true;
}

} // namespace zelk
