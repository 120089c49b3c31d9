#include "cli_run.h"
#include "hex_inputs.h"
#include "scratch_folder.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>

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

TEST(ConvertCli, InputThatIsNoRegularFileIsRefusedAtOnce) {
    testing::ScratchFolder folder;
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    for (const std::filesystem::path& in :
         {folder / "fifo", std::filesystem::path("/dev/zero"), folder.Path()}) {
        const CliRun run = RunCli(folder, "convert " + Quote(in) + " " + Quote(folder / "out.bin"));
        EXPECT_EQ(run.exitCode, 1) << in;
        EXPECT_NE(run.errors.find(in.string()), std::string::npos) << run.errors;
        EXPECT_FALSE(std::filesystem::exists(folder / "out.bin"));
    }
}

TEST(ConvertCli, UsageErrorsExitTwoAndWriteNothing) {
    testing::ScratchFolder folder;
    WriteWholeFile(folder / "in.hex", GoodLine);
    const std::filesystem::path in = folder / "in.hex", bin = folder / "out.bin";
    const std::string files = "convert " + Quote(in) + " " + Quote(bin);
    for (const std::string& arguments :
         {std::string(), "convert " + Quote(in), files + " --size 0x1000001", files + " --size 12k",
          files + " --frobnicate", "erase " + Quote(in) + " " + Quote(bin)}) {
        EXPECT_EQ(RunCli(folder, arguments).exitCode, 2) << arguments;
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

} // namespace
} // namespace zelk
