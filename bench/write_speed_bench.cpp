// SPDX-License-Identifier: GPL-3.0-or-later
// Write and verify speed on a simulated ATmega328P on real time: a 32 KiB random flash image
// and a 1 KiB random EEPROM image, with the data sheets' fixed waits and with Poll RDY/BSY,
// each against its physical floor: the chip's own write times plus the SPI bits of the chosen
// timing (two SCK half periods a bit). Each step is timed alone, on a prepared target.
#include "bench/quiet_ui.h"
#include "engine/command_support.h"
#include "engine/connection.h"
#include "engine/device_database.h"
#include "engine/memory_steps.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>

namespace zelk {
namespace {

using bench::QuietUi;

constexpr double HalfPeriodUs = 1.0;
constexpr double InstructionUs = 32 * 2 * HalfPeriodUs;

struct Measured {
    double write = 0;
    double verify = 0;
};

// Seconds of one step, timed on its own: the target is prepared before and released after.
template <typename Step> double TimeStep(Programmer& programmer, QuietUi& ui, Step step) {
    if (!PrepareKnownTarget(programmer, ui)) {
        std::fprintf(stderr, "preparation failed: %s\n", ui.last.c_str());
        std::exit(1);
    }
    ProgressBar bar(ui);
    const auto start = std::chrono::steady_clock::now();
    const StepOutcome outcome = step(bar);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ReleaseTarget(programmer);
    if (!outcome.Done()) {
        std::fprintf(stderr, "step failed at %08X\n", static_cast<unsigned>(outcome.address));
        std::exit(1);
    }
    return seconds;
}

Measured Measure(bool fixedWaits, MemoryKind memory, const TargetImages& images) {
    ConnectionSettings settings;
    settings.port = PortKind::Simulator;
    settings.simulator.device = "ATmega328P";
    settings.simulator.virtualTime = false;
    settings.fixedWaits = fixedWaits;
    std::string error;
    std::unique_ptr<Programmer> made = MakeProgrammer(settings, error);
    if (!made) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    Programmer& programmer = *made;
    QuietUi ui;
    TimeStep(programmer, ui, [&](ProgressBar&) { return EraseStep(programmer); });
    const std::uint32_t length = MemoryLength(programmer.device, memory);
    const auto& source = memory == MemoryKind::Flash ? images.flashImage : images.eepromImage;
    const std::span<const std::uint8_t> image(source.data(), length);
    const std::vector<AddressRange> all = Walked(nullptr, length);
    Measured measured;
    measured.write = TimeStep(programmer, ui, [&](ProgressBar& bar) {
        return memory == MemoryKind::Flash ? WriteFlashStep(programmer, image, bar)
                                           : WriteEepromStep(programmer, image, all, bar);
    });
    measured.verify = TimeStep(programmer, ui, [&](ProgressBar& bar) {
        return CompareStep(programmer, memory, image, all, bar);
    });
    return measured;
}

// The polled runs are held against the floor: the best of a few, as another process taking
// the core only ever adds time to a busy wait.
constexpr int PolledRuns = 3;

Measured BestOf(int runs, MemoryKind memory, const TargetImages& images) {
    Measured best = Measure(false, memory, images);
    for (int run = 1; run < runs; ++run) {
        const Measured next = Measure(false, memory, images);
        best.write = std::min(best.write, next.write);
        best.verify = std::min(best.verify, next.verify);
    }
    return best;
}

// A verify waits for nothing, so polling cannot speed it up: it has no speed-up goal.
void Report(const char* what, double fixed, double polled, double floor,
            std::optional<double> speedGoal) {
    std::printf("%-14s fixed %7.3f s  polled %7.3f s  floor %7.3f s  ", what, fixed, polled, floor);
    if (speedGoal) {
        std::printf("speed-up %5.2fx (goal >= %.0fx)  ", fixed / polled, *speedGoal);
    } else {
        std::printf("%29s", "");
    }
    std::printf("polled/floor %5.3f (goal <= 1.15)\n", polled / floor);
}

int Run() {
    char folder[] = "/tmp/zelk-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr || setenv("XDG_CONFIG_HOME", folder, 1) != 0) {
        return 1;
    }
    const DeviceLookup lookup = LookupDevice(FindDeviceDatabase(), 0x950F);
    if (lookup.result != DeviceLookup::Result::Matched) {
        std::fprintf(stderr, "no ATmega328P in zelk.ini\n");
        return 1;
    }
    const DeviceEntry& chip = lookup.entry;
    TargetImages images;
    std::mt19937 random(328);
    for (std::size_t i = 0; i < chip.programSize; ++i) {
        images.flashImage[i] = static_cast<std::uint8_t>(random());
    }
    for (std::int32_t i = 0; i < chip.dataSize; ++i) {
        images.eepromImage[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(random());
    }
    const Measured flashFixed = Measure(true, MemoryKind::Flash, images);
    const Measured flashPolled = BestOf(PolledRuns, MemoryKind::Flash, images);
    const Measured eepromFixed = Measure(true, MemoryKind::Eeprom, images);
    const Measured eepromPolled = BestOf(PolledRuns, MemoryKind::Eeprom, images);

    const double pages = static_cast<double>(chip.programSize / chip.pageSize);
    const double flashBytes = static_cast<double>(chip.programSize);
    const double eepromBytes = static_cast<double>(chip.dataSize);
    // A page: its bytes loaded, the write instruction, the chip's page time. An EEPROM byte
    // that differs: the write instruction and the chip's byte time.
    const double flashWriteFloor =
        (flashBytes * InstructionUs + pages * (InstructionUs + chip.flashWriteUs)) / 1e6;
    const double flashVerifyFloor = flashBytes * InstructionUs / 1e6;
    const double eepromWriteFloor = eepromBytes * (InstructionUs + chip.eepromWriteUs) / 1e6;
    const double eepromVerifyFloor = eepromBytes * InstructionUs / 1e6;
    std::printf("ATmega328P on real time, SCK half period %.0f us\n", HalfPeriodUs);
    Report("Write flash", flashFixed.write, flashPolled.write, flashWriteFloor, 2);
    Report("Verify flash", flashFixed.verify, flashPolled.verify, flashVerifyFloor, {});
    Report("Write EEPROM", eepromFixed.write, eepromPolled.write, eepromWriteFloor, 3);
    Report("Verify EEPROM", eepromFixed.verify, eepromPolled.verify, eepromVerifyFloor, {});
    std::filesystem::remove_all(folder);
    return 0;
}

} // namespace
} // namespace zelk

int main() {
    return zelk::Run();
}
