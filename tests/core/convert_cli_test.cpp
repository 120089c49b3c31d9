// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli_run.h"
#include "hex_inputs.h"
#include "scratch_folder.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <random>

namespace zelk {
namespace {

using testing::ReadWholeFile;
using testing::WriteWholeFile;

using testing::CliRun;
using testing::Quote;
using testing::RunCli;

bool RunShell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

const std::string GoodLine = testing::T30 + testing::Eof;
const std::filesystem::path Program = std::filesystem::path(ZELK_TEST_DATA_DIR) / "avr_program.elf";

// Every damaged file: exit 1, the file and line named, the output file left as it was.
TEST(ConvertCli, BadInputExitsOneNamingTheLineAndKeepsOutput) {
    testing::ScratchFolder folder;
    const std::filesystem::path in = folder / "in.hex";
    const char* outputs[] = {"out.bin", "out.hex", "out.srec"};
    std::size_t turn = 0;
    for (const testing::HexInput& c : testing::RefusedHexInputs()) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path out = folder / outputs[turn++ % std::size(outputs)];
        WriteWholeFile(in, c.text);
        WriteWholeFile(out, "previous");
        const CliRun run = RunCli(folder, "convert " + Quote(in) + " " + Quote(out));
        EXPECT_EQ(run.exitCode, 1);
        const std::string where = c.line == 0 ? "" : ":" + std::to_string(c.line);
        EXPECT_TRUE(run.errors.starts_with("zelk-cli: " + in.string() + where + ": "))
            << run.errors;
        EXPECT_NE(run.errors.find(c.reason), std::string::npos) << run.errors;
        EXPECT_EQ(ReadWholeFile(out), "previous");
    }
}

// Usage errors exit 2 and write nothing. The output name is judged first: a wrong one is a
// usage error even when the input is missing.
TEST(ConvertCli, UsageErrorsExitTwoAndWriteNothing) {
    testing::ScratchFolder folder;
    WriteWholeFile(folder / "in.hex", GoodLine);
    const std::filesystem::path in = folder / "in.hex", bin = folder / "out.bin";
    const std::string files = "convert " + Quote(in) + " " + Quote(bin);
    const std::string missing = "convert " + Quote(folder / "missing.hex");
    const struct {
        std::string arguments;
        std::string message; // empty: the argument parser's own
    } cases[] = {
        {"", ""},
        {"convert " + Quote(in), ""},
        {files + " --size 0x1000001", ""},
        {files + " --size 12k", ""},
        {files + " --frobnicate", ""},
        {"erase " + Quote(in) + " " + Quote(bin), ""},
        {missing + " " + Quote(folder / "out.dat"),
         "out.dat: unknown file type \".dat\" (use .hex, .srec or .bin, or give an output format)"},
        {missing + " -", "standard output: an output format must be given (hex, srec or bin)"},
        {missing + " - --output-format elf", ""},
        {"convert " + Quote(Program) + " - --output-format hex --memory ram", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CliRun run = RunCli(folder, c.arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.output.empty());
        if (!c.message.empty()) {
            EXPECT_TRUE(run.errors.ends_with(c.message + "\n")) << run.errors;
            EXPECT_EQ(run.errors.find("missing.hex"), std::string::npos);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(bin));
}

// Files made by the GNU toolchain, converted by zelk-cli, must give exactly the bytes srecord
// gives for them; and the files zelk-cli writes must read back in srecord to the same bytes.
TEST(ConvertCli, AgreesWithToolchainByteForByte) {
    if (!RunShell("command -v avr-objcopy") || !RunShell("command -v srec_cat")) {
        GTEST_SKIP() << "avr-objcopy or srec_cat missing (tools/install-deps.sh installs them)";
    }
    for (const auto& [dataSize, offset, imageSize] :
         {std::tuple{0x20000, 0, "0x20000"}, std::tuple{0x2345, 0x1000, "16384"}}) {
        testing::ScratchFolder folder;
        std::mt19937 random(static_cast<unsigned>(dataSize));
        std::string data(static_cast<std::size_t>(dataSize), '\0');
        for (std::size_t i = 0; i < data.size(); ++i) {
            data[i] = (i / 512) % 4 == 3 ? '\xFF' : static_cast<char>(random());
        }
        WriteWholeFile(folder / "data.bin", data);
        const std::string fill = std::string(" -fill 0xFF 0 ") + imageSize + " -o ";
        const std::string size = std::string(" --size ") + imageSize;
        ASSERT_TRUE(RunShell("srec_cat " + Quote(folder / "data.bin") + " -binary -offset " +
                             std::to_string(offset) + fill + Quote(folder / "expected.bin") +
                             " -binary"));
        const std::string expected = ReadWholeFile(folder / "expected.bin");
        for (const auto& [objcopyFormat, srecFormat, extension] :
             {std::tuple{"ihex", "-intel", ".hex"}, std::tuple{"srec", "-motorola", ".srec"}}) {
            SCOPED_TRACE(extension);
            const auto made = folder / (std::string("made") + extension);
            const auto written = folder / (std::string("written") + extension);
            ASSERT_TRUE(RunShell("avr-objcopy -I binary -O " + std::string(objcopyFormat) +
                                 " --change-addresses " + std::to_string(offset) + " " +
                                 Quote(folder / "data.bin") + " " + Quote(made)));
            const CliRun toBin =
                RunCli(folder, "convert " + Quote(made) + " " + Quote(folder / "out.bin") + size);
            ASSERT_EQ(toBin.exitCode, 0) << toBin.errors;
            EXPECT_TRUE(ReadWholeFile(folder / "out.bin") == expected);

            ASSERT_EQ(
                RunCli(folder, "convert " + Quote(made) + " " + Quote(written) + size).exitCode, 0);
            ASSERT_TRUE(RunShell("srec_cat " + Quote(written) + " " + srecFormat + fill +
                                 Quote(folder / "check.bin") + " -binary"));
            EXPECT_TRUE(ReadWholeFile(folder / "check.bin") == expected);
        }
    }
}

TEST(ConvertCli, ConvertsEitherMemoryOfAnElfFileToStandardOutput) {
    testing::ScratchFolder folder;
    const CliRun flash =
        RunCli(folder, "convert " + Quote(Program) + " - --output-format hex --size 16");
    EXPECT_EQ(flash.exitCode, 0) << flash.errors;
    EXPECT_EQ(flash.output, ":0A00000002E114E3FDCFD1D2D3D406\n:00000001FF\n");
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

// A conversion holds the addresses its input defines and no others, so a file converted and
// written back onto a chip touches no byte the original left alone.
TEST(ConvertCli, KeepsTheAddressSetOfItsInput) {
    testing::ScratchFolder folder;
    WriteWholeFile(folder / "four.eep", ":04001000FF010203E7\n:00000001FF\n");
    const struct {
        const char* output;
        const char* options;
        std::string expected;
    } cases[] = {
        {"out.hex", "", ":04001000FF010203E7\n:00000001FF\n"},
        {"out.srec", "", "S00700007A656C6B42\nS1070010FF010203E3\nS9030000FC\n"},
        {"out.bin", "", std::string(16, '\xFF') + "\xFF\x01\x02\x03"},
        {"sized.bin", " --size 24",
         std::string(16, '\xFF') + "\xFF\x01\x02\x03" + std::string(4, '\xFF')},
        {"sized.hex", " --size 24", ":04001000FF010203E7\n:00000001FF\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        const CliRun run = RunCli(folder, "convert " + Quote(folder / "four.eep") + " " +
                                              Quote(folder / c.output) + c.options);
        ASSERT_EQ(run.exitCode, 0) << run.errors;
        EXPECT_EQ(ReadWholeFile(folder / c.output), c.expected);
    }
}

TEST(ConvertCli, ReadsStandardInputUpTo64MiB) {
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

} // namespace
} // namespace zelk
