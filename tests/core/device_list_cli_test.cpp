// SPDX-License-Identifier: GPL-3.0-or-later
// zelk-cli devices: the shipped database lists cleanly; a user's own entries are checked as a
// lookup would check them, each refusal naming the entry and why.
#include "cli_run.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>
#include <string>

namespace zelk {
namespace {

using testing::CliRun;
using testing::Quote;

TEST(DeviceList, TheShippedDatabaseListsEveryDeviceWithoutAProblem) {
    testing::ScratchFolder folder;
    const CliRun run = testing::RunCli(folder, "devices");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.errors, "");
    EXPECT_NE(run.output.find("\nATmega328P       1E950F      32768   1024   128 yes\n"),
              std::string::npos)
        << run.output;
}

TEST(DeviceList, EntriesThatCannotBeUsedAreNamedWithTheReason) {
    testing::ScratchFolder folder;
    testing::WriteWholeFile(folder / "mine.ini", "[Devices]\n"
                                                 "D1=Good\nD2=NoSection\nD3=Twin\nD4=Bad\n"
                                                 "D5=Unsigned\nD6=Empty\n"
                                                 "[Good]\nSignature=0x1E950F\nProgramSize=32768\n"
                                                 "DataSize=1024\nAlgorithm=3\nPageSize=128\n"
                                                 "[Twin]\nSignature=0x1E950F\nProgramSize=1024\n"
                                                 "[Bad]\nSignature=0x1E9001\nProgramSize=1024\n"
                                                 "Algorithm=3\nPageSize=100\n"
                                                 "[Unsigned]\nProgramSize=1024\n"
                                                 "[Empty]\nSignature=0x1E9002\n");
    const CliRun run = testing::RunCli(folder, "--ini " + Quote(folder / "mine.ini") + " devices");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("\nGood "), std::string::npos) << run.output;
    const std::string ini = (folder / "mine.ini").string();
    for (const char* refusal :
         {"NoSection: [Devices] names it, but there is no [NoSection] section",
          "Twin: its signature is Good's, listed before: it never matches",
          "Bad: PageSize 100 is not a power of two from 2 to 256, as page-mode Algorithm 3 needs",
          "Unsigned: no Signature: it cannot identify a device",
          "Empty: ProgramSize is 0: the device has no flash to program"}) {
        EXPECT_NE(run.errors.find(ini + ": " + refusal), std::string::npos) << run.errors;
    }
}

// A file that lists no device, such as a HEX file given by mistake, is no database.
TEST(DeviceList, AFileThatListsNoDeviceIsRefused) {
    testing::ScratchFolder folder;
    testing::WriteWholeFile(folder / "app.hex", ":00000001FF\n");
    const CliRun run = testing::RunCli(folder, "--ini " + Quote(folder / "app.hex") + " devices");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("app.hex: [Devices] names no device"), std::string::npos)
        << run.errors;
}

} // namespace
} // namespace zelk
