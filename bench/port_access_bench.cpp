// SPDX-License-Identifier: GPL-3.0-or-later
// Port accesses of the serial programming protocol, counted rather than timed: on a real port
// each access is a bus cycle (about 1 us on a mainboard's port, 2-4 us on a PCIe card, plus
// an ioctl through ppdev), so their number sets the pace of a command on a real bench. For
// each cable, on a simulated ATmega328P: the accesses of one instruction whose answer is read
// and of one whose answer is not, of a flash page written, and of a 32 KiB write, read and
// verify, with the time these take at 1 us and at 3 us an access (the accesses plus the waits
// the protocol asks for: the SCK half periods and the chip's write times). On the GPIO header
// the figures count line requests: a setting of the driven lines as a write, a read of MISO as
// a read.
#include "bench/quiet_ui.h"
#include "engine/command_support.h"
#include "engine/connection.h"
#include "engine/device_database.h"
#include "engine/instructions.h"
#include "engine/memory_steps.h"
#include "sim/counting_port.h"
#include "sim/simulated_port.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace zelk {
namespace {

struct Cost {
    PortAccessCounts accesses;
    double seconds = 0; // on the simulated chip's clock
};

struct Costs {
    Cost answered;   // an instruction whose answer is read
    Cost unanswered; // one whose answer is not
    Cost write;
    Cost read;
    Cost verify;
    double pages = 0;
};

void Fail(const char* what) {
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
}

// The costs of the steps on `cable` when every port access takes `accessUs`.
Costs Measure(const CableInfo& cable, const SimDevice& device,
              const std::filesystem::path& database, const std::vector<std::uint8_t>& image,
              std::int32_t accessUs) {
    SimConfig config;
    config.device = device;
    config.cableType = cable.type;
    PortAccessCounts counts;
    SimulatedPort* chip = nullptr;
    Programmer programmer(
        [&](std::string& reason) -> std::unique_ptr<PortIo> {
            return CountedSimulatedPort(config, counts, accessUs, reason, &chip);
        },
        cable.type, database);
    bench::QuietUi ui;
    if (!PrepareKnownTarget(programmer, ui)) {
        std::fprintf(stderr, "%s: %s\n", cable.name.data(), ui.last.c_str());
        std::exit(1);
    }
    const auto measure = [&](auto work) {
        const PortAccessCounts before = counts;
        const std::int64_t startUs = chip->NowUs();
        work();
        return Cost{counts - before, static_cast<double>(chip->NowUs() - startUs) / 1e6};
    };
    Costs costs;
    costs.answered = measure([&] { ReadProgramMemory(programmer, 0); });
    costs.unanswered = measure([&] { LoadProgramMemoryPage(programmer, 0, 0xFF); });
    if (!EraseStep(programmer).Done()) {
        Fail("erase");
    }
    ProgressBar bar(ui);
    const std::span<const std::uint8_t> flash(image);
    const std::vector<AddressRange> all = Walked(nullptr, static_cast<std::uint32_t>(image.size()));
    costs.write = measure([&] {
        if (!WriteFlashStep(programmer, flash, bar).Done()) {
            Fail("write");
        }
    });
    std::vector<std::uint8_t> readBack(image.size());
    costs.read = measure([&] {
        if (!ReadStep(programmer, MemoryKind::Flash, readBack, bar).Done() || readBack != image) {
            Fail("read");
        }
    });
    costs.verify = measure([&] {
        if (!CompareStep(programmer, MemoryKind::Flash, flash, all, bar).Done()) {
            Fail("verify");
        }
    });
    ReleaseTarget(programmer);
    costs.pages = static_cast<double>(image.size()) / programmer.device.pageSize;
    return costs;
}

void Report(const CableInfo& cable, const SimDevice& device, const std::filesystem::path& database,
            const std::vector<std::uint8_t>& image) {
    const Costs fast = Measure(cable, device, database, image, 1);
    const Costs slow = Measure(cable, device, database, image, 3);
    std::printf("| %-17s | %2llu w + %2llu r | %2llu w + %2llu r | %6.0f |", cable.name.data(),
                static_cast<unsigned long long>(fast.answered.accesses.Writes()),
                static_cast<unsigned long long>(fast.answered.accesses.reads),
                static_cast<unsigned long long>(fast.unanswered.accesses.Writes()),
                static_cast<unsigned long long>(fast.unanswered.accesses.reads),
                static_cast<double>(fast.write.accesses.Total()) / fast.pages);
    const Cost Costs::*steps[] = {&Costs::write, &Costs::read, &Costs::verify};
    for (const Cost Costs::*step : steps) {
        std::printf(" %5.2f s | %5.2f s |", (fast.*step).seconds, (slow.*step).seconds);
    }
    std::printf("\n");
}

} // namespace
} // namespace zelk

int main(int argc, char** argv) {
    const std::filesystem::path database =
        argc > 1 ? std::filesystem::path(argv[1])
                 : std::filesystem::path(argv[0]).parent_path() / "zelk.ini";
    zelk::DeviceDatabase devices;
    std::string error;
    if (!devices.Open(database, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::optional<zelk::SimDevice> chip;
    for (const zelk::DeviceEntry& entry : devices.Devices()) {
        if (entry.name == "ATmega328P") {
            chip = zelk::SimDeviceOf(entry);
        }
    }
    if (!chip) {
        std::fprintf(stderr, "%s has no ATmega328P\n", database.c_str());
        return 1;
    }
    std::vector<std::uint8_t> image(32 * 1024);
    std::mt19937 random(328);
    for (std::uint8_t& byte : image) {
        byte = static_cast<std::uint8_t>(random() & 0xFE); // no 0xFF: every page is written
    }
    std::printf("Port accesses (w writes, r reads) on a simulated ATmega328P, SCK half period "
                "1 us; times with 1 us and 3 us an access\n\n");
    std::printf("| cable             | read instr.  | load instr.  | a page | write 1 | write 3 "
                "| read 1  | read 3  | verify 1| verify 3|\n");
    for (const zelk::CableInfo& cable : zelk::Cables()) {
        if (cable.type != zelk::CableNone) {
            zelk::Report(cable, *chip, database, image);
        }
    }
    return 0;
}
