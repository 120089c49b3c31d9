#include "cli_run.h"
#include "scratch_folder.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace zelk {
namespace {

using testing::ReadWholeFile;
using testing::WriteWholeFile;

using testing::CliRun;
using testing::Quote;
using testing::RunCli;

const std::filesystem::path Program = std::filesystem::path(ZELK_TEST_DATA_DIR) / "avr_program.elf";

TEST(ConvertFormatsCli, ConvertsEitherMemoryOfAnElfFileToStandardOutput) {
    testing::ScratchFolder folder;
    const CliRun flash =
        RunCli(folder, "convert " + Quote(Program) + " - --output-format hex --size 16");
    EXPECT_EQ(flash.exitCode, 0) << flash.errors;
    EXPECT_EQ(flash.output, ":1000000002E114E3FDCFD1D2D3D4FFFFFFFFFFFF06\n:00000001FF\n");
    EXPECT_EQ(flash.errors, "zelk-cli: " + Program.string() +
                                ": section .fuse (fuses, 3 bytes) is not converted\n"
                                "zelk-cli: " +
                                Program.string() +
                                ": section .lock (lock bits, 1 byte) is not converted\n");

    const CliRun eeprom = RunCli(folder, "convert --memory eeprom " + Quote(Program) +
                                             " - --output-format BIN --size 4");
    EXPECT_EQ(eeprom.exitCode, 0) << eeprom.errors;
    EXPECT_EQ(eeprom.output, "\xE1\xE2\xE3\xFF");
}

TEST(ConvertFormatsCli, ReadsStandardInputUpTo64MiB) {
    testing::ScratchFolder folder;
    WriteWholeFile(folder / "in.hex", ":0300030002337A4B\n:00000001FF\n");
    const CliRun small = RunCli(folder, "convert - " + Quote(folder / "out.bin") + " --size 8",
                                "cat " + Quote(folder / "in.hex"));
    EXPECT_EQ(small.exitCode, 0) << small.errors;
    EXPECT_EQ(ReadWholeFile(folder / "out.bin"), "\xFF\xFF\xFF\x02\x33\x7A\xFF\xFF");

    const CliRun huge =
        RunCli(folder, "convert - " + Quote(folder / "huge.bin"), "head -c 67108865 /dev/zero");
    EXPECT_EQ(huge.exitCode, 1);
    EXPECT_EQ(huge.errors, "zelk-cli: standard input: larger than 64 MiB\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "huge.bin"));
}

// The output name is judged first: a wrong one is a usage error even when the input is missing.
TEST(ConvertFormatsCli, RefusesAnUnwritableOutputTypeBeforeReading) {
    testing::ScratchFolder folder;
    const std::string missing = Quote(folder / "missing.hex");
    const struct {
        std::string arguments;
        std::string message; // empty: the argument parser's own
    } cases[] = {
        {missing + " " + Quote(folder / "out.dat"),
         "out.dat: unknown file type \".dat\" (use .hex, .srec or .bin, or give an output format)"},
        {missing + " -", "standard output: an output format must be given (hex, srec or bin)"},
        {missing + " - --output-format elf", ""},
        {Quote(Program) + " - --output-format hex --memory ram", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CliRun run = RunCli(folder, "convert " + c.arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.output.empty());
        if (!c.message.empty()) {
            EXPECT_TRUE(run.errors.ends_with(c.message + "\n")) << run.errors;
            EXPECT_EQ(run.errors.find("missing.hex"), std::string::npos);
        }
    }
}

TEST(ConvertFormatsCli, RefusesABinaryLargerThanTheImage) {
    testing::ScratchFolder folder;
    WriteWholeFile(folder / "in.bin", std::string(17, '\x5A'));
    WriteWholeFile(folder / "out.hex", "previous");
    const CliRun run = RunCli(folder, "convert " + Quote(folder / "in.bin") + " " +
                                          Quote(folder / "out.hex") + " --size 16");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errors, "zelk-cli: " + (folder / "in.bin").string() +
                              ": binary of 0x11 bytes is larger than the image (0x10 bytes)\n");
    EXPECT_EQ(ReadWholeFile(folder / "out.hex"), "previous");
}

} // namespace
} // namespace zelk
