// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/settings_store.h"
#include "scratch_folder.h"
#include "station/file_digest.h"
#include "station/production_log.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zelk {
namespace {

using testing::ReadWholeFile;
using testing::ScratchFolder;
using testing::WriteWholeFile;

// Published test vectors, and a file longer than one read block.
TEST(FileDigest, GivesTheSha256OfBytesAndFiles) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    ScratchFolder folder;
    const std::string big(1000000, 'a');
    WriteWholeFile(folder / "big.bin", big);
    EXPECT_EQ(FileSha256(folder / "big.bin"),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(FileSha256(folder / "missing.hex"), std::nullopt);
}

class ProductionLogTest : public ::testing::Test {
protected:
    ProductionLogTest() { ::setenv("XDG_STATE_HOME", folder.Path().c_str(), 1); }
    ~ProductionLogTest() override { ::unsetenv("XDG_STATE_HOME"); }

    ScratchFolder folder;
    testing::ConfigHomeAt home{folder.Path()};
};

TEST_F(ProductionLogTest, EachRunIsOneLineNamingTheFilesByTheirDigest) {
    WriteWholeFile(folder / "app.hex", "abc");
    ProductionRun run;
    run.when = 86400 + 3661;
    run.command = "AutoProgram";
    run.device = "ATmega328P";
    run.signature = "1E950F";
    run.files = {folder / "app.hex", folder / "gone.eep"};
    run.passed = false;
    run.outcome = "AutoProgram FAILED at Verify Flash:\nVerify failed at 0000002A !";
    std::string error;
    ASSERT_TRUE(AppendProductionLog(run, error)) << error;
    run.serialNumber = 17;
    run.passed = true;
    run.outcome = "passed";
    ASSERT_TRUE(AppendProductionLog(run, error)) << error;

    const std::string start =
        "1970-01-02T01:01:01Z\tAutoProgram\tdevice=ATmega328P\tsignature=1E950F\tserial=";
    const std::string files =
        "\tfile=" + (folder / "app.hex").string() +
        " sha256=ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\tfile=" +
        (folder / "gone.eep").string() + " sha256=unreadable\tresult=";
    EXPECT_EQ(ReadWholeFile(folder / "zelk" / "production.log"),
              start + files +
                  "FAIL\tAutoProgram FAILED at Verify Flash: Verify failed at 0000002A !\n" +
                  start + "17" + files + "PASS\tpassed\n");
}

// A folder, a FIFO or a link in the log's place is refused at once, never followed or waited
// on.
TEST_F(ProductionLogTest, ALogThatIsNoRegularFileIsRefused) {
    const std::filesystem::path log = folder / "zelk" / "production.log";
    const struct {
        const char* what;
        std::function<void()> make;
    } cases[] = {
        {"folder", [&] { std::filesystem::create_directories(log); }},
        {"FIFO", [&] { ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0); }},
        {"link", [&] { std::filesystem::create_symlink(folder / "elsewhere.log", log); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::create_directories(log.parent_path());
        c.make();
        std::string error;
        EXPECT_FALSE(AppendProductionLog({}, error));
        EXPECT_NE(error.find("production.log"), std::string::npos) << error;
        std::filesystem::remove(log);
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "elsewhere.log"));
}

// Two programs record runs at once (the GUI and zelk-cli): the stored totals count every
// run of both, and each program's session only its own.
TEST_F(ProductionLogTest, RecordedRunsAreCountedByEveryProgramAndKeptUntilReset) {
    SettingsStore store(SettingsStore::UserFile());
    ProductionCount gui = ProductionCount::Load(store);
    ProductionRun run;
    run.command = "AutoProgram";
    std::string error;
    for (const bool passed : {true, true, false}) {
        run.passed = passed;
        ASSERT_TRUE(RecordProductionRun(store, run, error)) << error;
        gui.Counted(store, passed);
    }
    EXPECT_EQ(gui.Text(), "Passed 2, failed 1 (total 2 / 1)");
    run.passed = false;
    ASSERT_TRUE(RecordProductionRun(store, run, error)) << "another program's run";
    EXPECT_EQ(ProductionCount::Load(store).Text(), "Passed 0, failed 0 (total 2 / 2)");
    ASSERT_TRUE(gui.Reset(store));
    EXPECT_EQ(ProductionCount::Load(store).Text(), "Passed 0, failed 0 (total 0 / 0)");
    const std::string log = ReadWholeFile(folder / "zelk" / "production.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4) << "one log line a run";
}

} // namespace
} // namespace zelk
