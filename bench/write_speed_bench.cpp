// Write and verify speed on a simulated ATmega328P on real time: a 32 KiB random flash image
// and a 1 KiB random EEPROM image, with the data sheets' fixed waits and with Poll RDY/BSY,
// each against its physical floor: the chip's own write times plus the SPI bits of the chosen
// timing (two SCK half periods a bit).
#include "bench/quiet_ui.h"
#include "engine/connection.h"
#include "engine/device_database.h"
#include "engine/program_sequence.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

// Seconds of one step on a freshly prepared target, preparation excluded.
double TimeSteps(Programmer& programmer, const TargetImages& images, const ProgramSteps& steps,
                 QuietUi& ui) {
    ProgramSteps prepareOnly;
    if (!ProgramTarget(programmer, images, prepareOnly, ui).succeeded) {
        std::fprintf(stderr, "preparation failed: %s\n", ui.last.c_str());
        std::exit(1);
    }
    const auto start = std::chrono::steady_clock::now();
    const ProgramResult result = ProgramTarget(programmer, images, steps, ui);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto preparation = std::chrono::steady_clock::now();
    ProgramTarget(programmer, images, prepareOnly, ui);
    const double prepare =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - preparation).count();
    if (!result.succeeded) {
        std::fprintf(stderr, "run failed: %s\n", result.message.c_str());
        std::exit(1);
    }
    return seconds - prepare;
}

Measured Measure(bool fixedWaits, MemoryKind memory, const TargetImages& images) {
    ConnectionSettings settings;
    settings.port = PortKind::Simulator;
    settings.simulator.device = "ATmega328P";
    settings.simulator.virtualTime = false;
    settings.fixedWaits = fixedWaits;
    std::string error;
    std::unique_ptr<Programmer> programmer = MakeProgrammer(settings, error);
    if (!programmer) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    QuietUi ui;
    const bool flash = memory == MemoryKind::Flash;
    ProgramSteps erase;
    erase.erase = true;
    TimeSteps(*programmer, images, erase, ui);
    ProgramSteps write;
    (flash ? write.writeFlash : write.writeEeprom) = true;
    ProgramSteps verify;
    (flash ? verify.verifyFlash : verify.verifyEeprom) = true;
    Measured measured;
    measured.write = TimeSteps(*programmer, images, write, ui);
    measured.verify = TimeSteps(*programmer, images, verify, ui);
    return measured;
}

void Report(const char* what, double fixed, double polled, double floor, double speedGoal) {
    std::printf("%-14s fixed %7.3f s  polled %7.3f s  floor %7.3f s  speed-up %5.2fx (goal >= "
                "%.0fx)  polled/floor %5.3f (goal <= 1.15)\n",
                what, fixed, polled, floor, fixed / polled, speedGoal, polled / floor);
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
    const Measured flashPolled = Measure(false, MemoryKind::Flash, images);
    const Measured eepromFixed = Measure(true, MemoryKind::Eeprom, images);
    const Measured eepromPolled = Measure(false, MemoryKind::Eeprom, images);

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
    Report("Verify flash", flashFixed.verify, flashPolled.verify, flashVerifyFloor, 1);
    Report("Write EEPROM", eepromFixed.write, eepromPolled.write, eepromWriteFloor, 3);
    Report("Verify EEPROM", eepromFixed.verify, eepromPolled.verify, eepromVerifyFloor, 1);
    std::filesystem::remove_all(folder);
    return 0;
}

} // namespace
} // namespace zelk

int main() {
    return zelk::Run();
}
