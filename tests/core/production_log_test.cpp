#include "app/file_digest.h"
#include "app/production_log.h"
#include "scratch_folder.h"

#include <cstdlib>
#include <gtest/gtest.h>

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

TEST_F(ProductionLogTest, AnUnwritableLogIsReported) {
    std::filesystem::create_directories(folder / "zelk" / "production.log");
    std::string error;
    EXPECT_FALSE(AppendProductionLog({}, error));
    EXPECT_NE(error.find("production.log"), std::string::npos) << error;
}

TEST_F(ProductionLogTest, TheCountKeepsTotalsAcrossStartsUntilReset) {
    ProductionCount first = ProductionCount::Load();
    first.Record(true);
    first.Record(true);
    first.Record(false);
    EXPECT_EQ(first.Text(), "Passed 2, failed 1 (total 2 / 1)");
    ProductionCount second = ProductionCount::Load();
    second.Record(false);
    EXPECT_EQ(second.Text(), "Passed 0, failed 1 (total 2 / 2)");
    second.Reset();
    EXPECT_EQ(ProductionCount::Load().Text(), "Passed 0, failed 0 (total 0 / 0)");
}

} // namespace
} // namespace zelk
