// SPDX-License-Identifier: GPL-3.0-or-later
// The port accesses of the protocol, pinned for every cable: on a real port each access is a
// bus cycle (and through ppdev an ioctl), and on the GPIO header each line request an ioctl, so
// an access added to the bit loop slows every command on a bench. A bit whose answer is read costs
// two writes (MOSI with SCK falling, SCK rising) and one status read, a bit whose answer is not
// read the two writes alone; SCK goes back low once an instruction, and a write of the value the
// port already holds is left out.
#include "engine/command_support.h"
#include "engine/connection.h"
#include "engine/instructions.h"
#include "engine/memory_steps.h"
#include "recording_target_ui.h"
#include "sim/counting_port.h"
#include "sim/simulated_port.h"
#include "sim_target_fixture.h"

#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace zelk {
namespace {

struct AccessCase {
    const char* what;
    std::function<void(Programmer&)> work;
    std::uint64_t writes;
    std::uint64_t reads;
};

// The accesses of `work` on an ATmega328P already in programming mode on `cable`.
PortAccessCounts CountOn(const CableInfo& cable, bool fixedWaits,
                         const std::function<void(Programmer&)>& work) {
    SimConfig config;
    config.device = SimDeviceOf(ReadDeviceSection(test::ShippedIni(), "ATmega328P"));
    config.cableType = cable.type;
    PortAccessCounts counts;
    Programmer programmer(
        [&](std::string& reason) { return CountedSimulatedPort(config, counts, 0, reason); },
        cable.type, test::ShippedIni());
    programmer.fixedWaits = fixedWaits;
    test::RecordingTargetUi ui;
    EXPECT_TRUE(PrepareKnownTarget(programmer, ui)) << ui.LastMessage();
    const PortAccessCounts before = counts;
    work(programmer);
    const PortAccessCounts spent = counts - before;
    ReleaseTarget(programmer);
    return spent;
}

TEST(PortAccesses, EachCableSpendsTheFewestAccessesABitNeeds) {
    // Every data byte ends in a 0 bit, as every instruction's first byte begins with one: the
    // first bit of the next instruction finds MOSI as it wants it, so its write is left out.
    const std::vector<std::uint8_t> page(128, 0x5A);
    const AccessCase cases[] = {
        {"a read: three bytes sent, one answered",
         [](Programmer& p) { ReadProgramMemory(p, 0x100); }, 4 * 16, 8},
        {"a page load: four bytes sent", [](Programmer& p) { LoadProgramMemoryPage(p, 0, 0x5A); },
         4 * 16, 0},
        {"one byte of the SPI terminal, SCK back low after it",
         [](Programmer& p) { SpiTransfer(p, 0x00); }, 16, 8},
        {"a page written with fixed waits: 128 loads and the page write",
         [&](Programmer& p) {
             test::RecordingTargetUi ui;
             ProgressBar bar(ui);
             EXPECT_TRUE(WriteFlashStep(p, page, bar).Done());
         },
         129 * 4 * 16, 0},
        {"1 KiB read: each byte one read instruction",
         [&](Programmer& p) {
             std::vector<std::uint8_t> into(1024);
             test::RecordingTargetUi ui;
             ProgressBar bar(ui);
             EXPECT_TRUE(ReadStep(p, MemoryKind::Flash, into, bar).Done());
         },
         1024 * 4 * 16, 1024 * 8},
    };
    for (const CableInfo& cable : Cables()) {
        if (cable.type == CableNone) {
            continue;
        }
        SCOPED_TRACE(cable.name);
        for (const AccessCase& c : cases) {
            SCOPED_TRACE(c.what);
            const PortAccessCounts spent = CountOn(cable, true, c.work);
            EXPECT_EQ(spent.Writes(), c.writes);
            EXPECT_EQ(spent.reads, c.reads);
            EXPECT_EQ(spent.controlWrites, 0u) << "the drivers stay as they are";
        }
    }
}

} // namespace
} // namespace zelk
