// SPDX-License-Identifier: GPL-3.0-or-later
// How fast the flash write and verify run on the simulated target: on real time against the
// waits the protocol asked for, and on virtual time in CPU seconds for a full 128 KiB part.
#include "bench/quiet_ui.h"
#include "engine/connection.h"
#include "engine/memory_commands.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace zelk {
namespace {

using bench::QuietUi;

std::unique_ptr<Programmer> Attach(const std::string& device, bool virtualTime) {
    ConnectionSettings settings;
    settings.port = PortKind::Simulator;
    settings.simulator.device = device;
    settings.simulator.virtualTime = virtualTime;
    std::string error;
    std::unique_ptr<Programmer> programmer = MakeProgrammer(settings, error);
    if (!programmer) {
        std::fprintf(stderr, "%s\n", error.c_str());
    }
    return programmer;
}

// Writes a patterned image over the whole flash and verifies it.
bool WriteAndVerify(std::unique_ptr<Programmer>& programmer, QuietUi& ui) {
    TargetImages images;
    for (std::size_t i = 0; i < images.flashImage.size(); ++i) {
        images.flashImage[i] = static_cast<std::uint8_t>(i * 13 + 1);
    }
    if (!EraseChip(*programmer, ui)) {
        return false;
    }
    // The whole flash of the chip the erase identified.
    images.flashDefined.Add(0, programmer->device.programSize);
    return WriteFlash(*programmer, images, ui);
}

int Run() {
    char folder[] = "/tmp/zelk-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr || setenv("XDG_CONFIG_HOME", folder, 1) != 0) {
        return 1;
    }

    QuietUi ui;
    std::unique_ptr<Programmer> real = Attach("ATmega8", false);
    if (!real) {
        return 1;
    }
    const std::uint64_t askedBefore = real->RequestedDelayUs();
    const auto wallBefore = std::chrono::steady_clock::now();
    if (!WriteAndVerify(real, ui)) {
        std::fprintf(stderr, "real-time run failed: %s\n", ui.last.c_str());
        return 1;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const double asked = static_cast<double>(real->RequestedDelayUs() - askedBefore) / 1e6;
    std::printf("ATmega8 8 KiB write+verify, real time: wall %.3f s, waits asked %.3f s, "
                "ratio %.3f (goal < 1.10)\n",
                wall, asked, wall / asked);

    std::unique_ptr<Programmer> simulated = Attach("ATmega128", true);
    if (!simulated) {
        return 1;
    }
    const std::clock_t cpuBefore = std::clock();
    if (!WriteAndVerify(simulated, ui)) {
        std::fprintf(stderr, "virtual-time run failed: %s\n", ui.last.c_str());
        return 1;
    }
    const double cpu = static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    std::printf("ATmega128 128 KiB write+verify, virtual time: CPU %.3f s (goal < 5 s)\n", cpu);
    std::filesystem::remove_all(folder);
    return 0;
}

} // namespace
} // namespace zelk

int main() {
    return zelk::Run();
}
