#include "scratch_folder.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <sys/wait.h>

namespace zelk {
namespace {

std::string Quote(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

struct CliRun {
    int exitCode;
    std::string errors;
};

CliRun RunCli(const testing::ScratchFolder& folder, const std::string& arguments) {
    const auto errors = folder / "stderr.txt";
    const std::string command = Quote(std::filesystem::path(ZELK_BIN_DIR) / "zelk-cli") + " " +
                                arguments + " >/dev/null 2>" + Quote(errors);
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testing::ReadWholeFile(errors)};
}

bool RunShell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

constexpr const char* GoodLine = ":0300300002337A1E\n";

TEST(ConvertCli, BadInputExitsOneNamingTheLineAndKeepsOutput) {
    struct Case {
        std::string text;
        const char* size;
        int line;
    };
    const Case cases[] = {
        {std::string(GoodLine) + ":0300400002337A1F\n", "0x100", 2},
        {std::string(GoodLine) + "\n:10004000AABB\n", "0x100", 3},
        {std::string(GoodLine) + "hello world\n", "0x100", 2},
        {":020000040001F9\n" + std::string(GoodLine), "0x10000", 2},
    };
    for (const char* output : {"out.bin", "out.hex", "out.srec"}) {
        for (const Case& c : cases) {
            testing::ScratchFolder folder;
            testing::WriteWholeFile(folder / "in.hex", c.text);
            testing::WriteWholeFile(folder / output, "previous");
            const CliRun run = RunCli(folder, "convert " + Quote(folder / "in.hex") + " " +
                                                  Quote(folder / output) + " --size " + c.size);
            EXPECT_EQ(run.exitCode, 1) << c.text;
            const std::string prefix =
                "zelk-cli: " + (folder / "in.hex").string() + ":" + std::to_string(c.line) + ": ";
            EXPECT_EQ(run.errors.rfind(prefix, 0), 0u) << run.errors;
            EXPECT_EQ(testing::ReadWholeFile(folder / output), "previous");
        }
    }
}

TEST(ConvertCli, FileProblemsExitOneWithoutLineNumber) {
    testing::ScratchFolder folder;
    testing::WriteWholeFile(folder / "in.hex", GoodLine);
    const struct {
        std::filesystem::path input, output, named;
    } cases[] = {
        {folder / "missing.hex", folder / "out.bin", folder / "missing.hex"},
        {folder / "in.hex", folder / "out.txt", folder / "out.txt"},
        {folder / "in.hex", folder / "no" / "out.bin", folder / "no" / "out.bin"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunCli(folder, "convert " + Quote(c.input) + " " + Quote(c.output));
        EXPECT_EQ(run.exitCode, 1) << c.output;
        EXPECT_EQ(run.errors.rfind("zelk-cli: " + c.named.string() + ": ", 0), 0u) << run.errors;
        EXPECT_FALSE(std::filesystem::exists(c.output));
    }
}

TEST(ConvertCli, UsageErrorsExitTwo) {
    testing::ScratchFolder folder;
    testing::WriteWholeFile(folder / "in.hex", GoodLine);
    const std::string files = Quote(folder / "in.hex") + " " + Quote(folder / "out.bin");
    for (const std::string& arguments :
         {std::string(), "convert " + Quote(folder / "in.hex"), "convert " + files + " --size 0",
          "convert " + files + " --size 0x1000001", "convert " + files + " --size 12k",
          "convert " + files + " --size 0x", "convert " + files + " --frobnicate",
          "erase " + files}) {
        EXPECT_EQ(RunCli(folder, arguments).exitCode, 2) << arguments;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "out.bin"));
    EXPECT_EQ(RunCli(folder, "--help").exitCode, 0);
    EXPECT_EQ(RunCli(folder, "--version").exitCode, 0);
}

// Files made by the GNU toolchain, converted by zelk-cli, must give exactly the bytes srecord
// gives for them; and the files zelk-cli writes must read back in srecord to the same bytes.
TEST(ConvertCli, AgreesWithToolchainByteForByte) {
    if (!RunShell("command -v avr-objcopy") || !RunShell("command -v srec_cat")) {
        GTEST_SKIP() << "avr-objcopy or srec_cat missing (tools/install-deps.sh installs them)";
    }
    struct Case {
        std::size_t dataSize;
        std::size_t offset;
        const char* imageSize;
    };
    for (const Case& c : {Case{0x20000, 0, "0x20000"}, Case{0x2345, 0x1000, "16384"}}) {
        testing::ScratchFolder folder;
        std::mt19937 random(static_cast<unsigned>(c.dataSize));
        std::string data(c.dataSize, '\0');
        for (std::size_t i = 0; i < data.size(); ++i) {
            data[i] = (i / 512) % 4 == 3 ? '\xFF' : static_cast<char>(random());
        }
        testing::WriteWholeFile(folder / "data.bin", data);
        const std::string fill = std::string(" -fill 0xFF 0 ") + c.imageSize + " -o ";
        ASSERT_TRUE(RunShell("srec_cat " + Quote(folder / "data.bin") + " -binary -offset " +
                             std::to_string(c.offset) + fill + Quote(folder / "expected.bin") +
                             " -binary"));
        const std::string expected = testing::ReadWholeFile(folder / "expected.bin");
        for (const auto& [objcopyFormat, srecFormat, extension] :
             {std::tuple{"ihex", "-intel", ".hex"}, std::tuple{"srec", "-motorola", ".srec"}}) {
            const auto made = folder / (std::string("made") + extension);
            ASSERT_TRUE(RunShell("avr-objcopy -I binary -O " + std::string(objcopyFormat) +
                                 " --change-addresses " + std::to_string(c.offset) + " " +
                                 Quote(folder / "data.bin") + " " + Quote(made)));
            const CliRun toBin =
                RunCli(folder, "convert " + Quote(made) + " " + Quote(folder / "out.bin") +
                                   " --size " + c.imageSize);
            ASSERT_EQ(toBin.exitCode, 0) << toBin.errors;
            EXPECT_TRUE(testing::ReadWholeFile(folder / "out.bin") == expected) << objcopyFormat;

            const auto written = folder / (std::string("written") + extension);
            ASSERT_EQ(RunCli(folder, "convert " + Quote(made) + " " + Quote(written) + " --size " +
                                         c.imageSize)
                          .exitCode,
                      0);
            ASSERT_TRUE(RunShell("srec_cat " + Quote(written) + " " + srecFormat + fill +
                                 Quote(folder / "check.bin") + " -binary"));
            EXPECT_TRUE(testing::ReadWholeFile(folder / "check.bin") == expected) << extension;
        }
    }
}

} // namespace
} // namespace zelk
