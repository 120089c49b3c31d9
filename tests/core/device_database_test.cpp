#include "engine/device_database.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <unistd.h>

namespace zelk {
namespace {

namespace fs = std::filesystem;

fs::path ShippedDatabase() {
    const fs::path built = fs::path(ZELK_BIN_DIR) / "zelk.ini";
    if (fs::exists(built)) {
        return built;
    }
    return fs::path(ZELK_TEST_DATA_DIR) / ".." / ".." / "resources" / "zelk.ini";
}

// A fresh folder per test, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        static int counter = 0;
        path = fs::temp_directory_path() /
               ("zelk_devices_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
        fs::create_directories(path);
    }
    ~TempFolder() {
        std::error_code error;
        fs::remove_all(path, error);
    }
    fs::path Write(const fs::path& name, const std::string& text) const {
        const fs::path file = path / name;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }
    fs::path path;
};

// Consistency of the shipped database: every device must be usable and its patterns must
// build a complete lock and fuse dialog.
TEST(ShippedDeviceDatabase, EveryDeviceIsUsableAndFullyLabelled) {
    const fs::path ini = ShippedDatabase();
    ASSERT_TRUE(fs::exists(ini)) << ini;
    const std::vector<DeviceEntry> devices = ReadDeviceList(ini);
    ASSERT_GE(devices.size(), 44u);
    const BitLabels lockLabels = ReadBitLabels(ini, "LockBits");
    const BitLabels fuseLabels = ReadBitLabels(ini, "Fuses");

    std::set<std::uint32_t> codes;
    for (const DeviceEntry& device : devices) {
        SCOPED_TRACE(device.name);
        EXPECT_LE(device.name.size(), 29u);
        EXPECT_EQ(device.signature >> 16, 0x1Eu) << "Atmel manufacturer byte";
        EXPECT_TRUE(codes.insert(device.signature & 0xFFFF).second) << "signature repeated";
        const DeviceLookup lookup = LookupDevice(ini, device.signature & 0xFFFF);
        EXPECT_EQ(lookup.result, DeviceLookup::Result::Matched) << lookup.reason;
        EXPECT_EQ(lookup.entry.name, device.name);
        EXPECT_GT(device.programSize, 0u);
        EXPECT_GT(device.dataSize, 0);
        EXPECT_LE(device.algorithm, 3);
        EXPECT_EQ(device.pageSize == 0, device.algorithm < 2) << "page size only in page mode";

        if (!device.lockBits.empty()) {
            ASSERT_EQ(device.lockBits.size(), 9u);
            for (char bit : device.lockBits.substr(1)) {
                if (bit != 'x') {
                    EXPECT_TRUE(lockLabels.contains(bit)) << "lock bit '" << bit << "'";
                }
            }
        }
        EXPECT_TRUE(!device.fuses.empty() || (device.fusesHi.empty() && device.fusesExt.empty()));
        for (const std::string& pattern : {device.fuses, device.fusesHi, device.fusesExt}) {
            if (pattern.empty()) {
                continue;
            }
            ASSERT_EQ(pattern.size(), 8u) << pattern;
            for (char bit : pattern) {
                if (bit != 'x' && bit != '0' && bit != '1') {
                    EXPECT_TRUE(fuseLabels.contains(bit)) << "fuse bit '" << bit << "'";
                }
            }
        }
    }

    std::set<std::string> distinct;
    for (const auto& [key, label] : fuseLabels) {
        EXPECT_TRUE(key != 'x' && key != '0' && key != '1') << key;
        EXPECT_TRUE(distinct.insert(label).second) << "fuse label repeated: " << label;
    }
}

// Values copied from the data sheets; a wrong copy programs boards wrongly.
TEST(ShippedDeviceDatabase, KnownDevicesHaveTheirDataSheetValues) {
    struct Known {
        const char* name;
        std::uint32_t signature;
        std::uint32_t programSize;
        std::int32_t dataSize;
        std::uint8_t algorithm;
        std::uint16_t pageSize;
    };
    const Known known[] = {
        {"AT90S1200", 0x1E9001, 1024, 64, 0, 0},
        {"AT90S2313", 0x1E9101, 2048, 128, 1, 0},
        {"AT90S4434", 0x1E9202, 4096, 256, 1, 0},
        {"AT90S8535", 0x1E9303, 8192, 512, 1, 0},
        {"ATtiny13", 0x1E9007, 1024, 64, 3, 32},
        {"ATtiny2313", 0x1E910A, 2048, 128, 3, 32},
        {"ATtiny85", 0x1E930B, 8192, 512, 3, 64},
        {"ATtiny26", 0x1E9109, 2048, 128, 3, 32},
        {"ATmega8", 0x1E9307, 8192, 512, 3, 64},
        {"ATmega168", 0x1E9406, 16384, 512, 3, 128},
        {"ATmega328P", 0x1E950F, 32768, 1024, 3, 128},
        {"ATmega64", 0x1E9602, 65536, 2048, 3, 256},
        {"ATmega128", 0x1E9702, 131072, 4096, 3, 256},
        {"ATmega103", 0x1E9701, 131072, 4096, 1, 0},
        {"ATmega644P", 0x1E960A, 65536, 2048, 3, 256},
        {"ATmega1281", 0x1E9704, 131072, 4096, 3, 256},
    };
    const fs::path ini = ShippedDatabase();
    for (const Known& device : known) {
        SCOPED_TRACE(device.name);
        const DeviceLookup lookup = LookupDevice(ini, device.signature & 0xFFFF);
        ASSERT_EQ(lookup.result, DeviceLookup::Result::Matched);
        EXPECT_EQ(lookup.entry.name, device.name);
        EXPECT_EQ(lookup.entry.signature, device.signature);
        EXPECT_EQ(lookup.entry.programSize, device.programSize);
        EXPECT_EQ(lookup.entry.dataSize, device.dataSize);
        EXPECT_EQ(lookup.entry.algorithm, device.algorithm);
        EXPECT_EQ(lookup.entry.pageSize, device.pageSize);
    }
    // Bit positions: a fuse in the wrong place sets the wrong clock or kills the reset pin.
    const DeviceEntry mega328 = ReadDeviceSection(ini, "ATmega328P");
    const BitLabels fuseLabels = ReadBitLabels(ini, "Fuses");
    EXPECT_EQ(fuseLabels.at(mega328.fusesHi[0]).substr(0, 8), "RSTDISBL");
    EXPECT_EQ(mega328.fusesHi[2], '0') << "SPIEN stays programmed";
    EXPECT_EQ(fuseLabels.at(mega328.fuses[0]).substr(0, 6), "CKDIV8");
    EXPECT_EQ(fuseLabels.at(mega328.fusesExt[7]).substr(0, 9), "BODLEVEL0");
    EXPECT_EQ(ReadBitLabels(ini, "LockBits").at(ReadDeviceSection(ini, "ATmega128").lockBits[8]),
              "LB1 lock bit 1");
}

std::string Section(const std::string& name, const std::string& keys) {
    return "[" + name + "]\n" + keys + "\n";
}

TEST(LookupDevice, MatchesAndRefusesAsTheEntriesSay) {
    struct Case {
        const char* what;
        std::string ini;
        std::uint16_t code;
        DeviceLookup::Result result;
        std::string name;
        std::string reasonPart;
    };
    using R = DeviceLookup::Result;
    const std::string good = "ProgramSize=2048\nDataSize=128\nAlgorithm=1";
    const Case cases[] = {
        {"low 16 bits", "[Devices]\nd=A\n" + Section("A", "Signature=0x19101\n" + good), 0x9101,
         R::Matched, "A", ""},
        {"decimal signature", "[Devices]\nd=A\n" + Section("A", "Signature=37121\n" + good), 0x9101,
         R::Matched, "A", ""},
        {"first match wins",
         "[Devices]\n1=A\n2=B\n" + Section("A", "Signature=0x1E9101\n" + good) +
             Section("B", "Signature=0x1E9101\n" + good),
         0x9101, R::Matched, "A", ""},
        {"empty entries skipped", "[Devices]\n1=\n2=B\n" + Section("B", "Signature=5\n" + good), 5,
         R::Matched, "B", ""},
        {"section without signature never matches code 0",
         "[Devices]\n1=Missing\n2=NoSig\n" + Section("NoSig", good), 0, R::NotFound, "", ""},
        {"unknown code", "[Devices]\nd=A\n" + Section("A", "Signature=0x1E9101\n" + good), 0x9102,
         R::NotFound, "", ""},
        {"no devices section", Section("A", "Signature=0x1E9101\n" + good), 0x9101, R::NotFound, "",
         ""},
        {"flash too large",
         "[Devices]\nd=A\n" + Section("A", "Signature=1\nProgramSize=262144\nAlgorithm=1"), 1,
         R::Invalid, "A", "ProgramSize 262144 exceeds the 131072-byte flash image"},
        {"negative flash", "[Devices]\nd=A\n" + Section("A", "Signature=1\nProgramSize=-2"), 1,
         R::Invalid, "A", "ProgramSize -2"},
        {"EEPROM too large",
         "[Devices]\nd=A\n" + Section("A", "Signature=1\nProgramSize=8\nDataSize=40000"), 1,
         R::Invalid, "A", "DataSize 40000 exceeds the 32768-byte EEPROM image"},
        {"negative EEPROM", "[Devices]\nd=A\n" + Section("A", "Signature=1\nDataSize=-1"), 1,
         R::Invalid, "A", "DataSize -1"},
        {"page mode without page",
         "[Devices]\nd=A\n" + Section("A", "Signature=1\nProgramSize=1024\nAlgorithm=3"), 1,
         R::Invalid, "A", "PageSize 0"},
        {"page of 512 bytes cannot be loaded",
         "[Devices]\nd=A\n" +
             Section("A", "Signature=1\nProgramSize=4096\nAlgorithm=2\nPageSize=512"),
         1, R::Invalid, "A", "PageSize 512"},
        {"page not a power of two",
         "[Devices]\nd=A\n" +
             Section("A", "Signature=1\nProgramSize=960\nAlgorithm=2\nPageSize=96"),
         1, R::Invalid, "A", "PageSize 96"},
        {"page does not divide flash",
         "[Devices]\nd=A\n" +
             Section("A", "Signature=1\nProgramSize=2050\nAlgorithm=3\nPageSize=128"),
         1, R::Invalid, "A", "does not divide ProgramSize 2050"},
        {"an invalid first match is not passed over",
         "[Devices]\n1=A\n2=B\n" + Section("A", "Signature=1\nDataSize=99999") +
             Section("B", "Signature=1\n" + good),
         1, R::Invalid, "A", "DataSize 99999"},
        {"byte mode needs no page", "[Devices]\nd=A\n" + Section("A", "Signature=1\nAlgorithm=0"),
         1, R::Matched, "A", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        const DeviceLookup lookup = LookupDevice(folder.Write("zelk.ini", c.ini), c.code);
        EXPECT_EQ(lookup.result, c.result);
        if (c.result != R::NotFound) {
            EXPECT_EQ(lookup.entry.name, c.name);
        }
        if (c.result == R::Invalid) {
            EXPECT_NE(lookup.reason.find(c.reasonPart), std::string::npos) << lookup.reason;
        } else {
            EXPECT_EQ(lookup.reason, "");
        }
    }
}

TEST(LookupDevice, TakesTheLowBitsOfAlgorithmAndPageSize) {
    TempFolder folder;
    const fs::path ini = folder.Write(
        "zelk.ini", "[Devices]\nd=A\n[A]\nSignature=0x1E9307\nProgramSize=0x2000\nDataSize=512\n"
                    "Algorithm=258\nPageSize=65600\nLockBits=RxxFEDCBA\nFuses=MLFEDCBA\n");
    const DeviceLookup lookup = LookupDevice(ini, 0x9307);
    ASSERT_EQ(lookup.result, DeviceLookup::Result::Matched) << lookup.reason;
    EXPECT_EQ(lookup.entry.algorithm, 2);
    EXPECT_EQ(lookup.entry.pageSize, 64);
    EXPECT_EQ(lookup.entry.programSize, 8192u);
    EXPECT_EQ(lookup.entry.lockBits, "RxxFEDCBA");
    EXPECT_EQ(lookup.entry.fuses, "MLFEDCBA");
    EXPECT_EQ(lookup.entry.fusesHi, "");
}

TEST(LookupDevice, MissingFileIsNotFound) {
    TempFolder folder;
    EXPECT_EQ(LookupDevice(folder.path / "zelk.ini", 0x9101).result,
              DeviceLookup::Result::NotFound);
    EXPECT_TRUE(ReadDeviceList(folder.path / "zelk.ini").empty());
    EXPECT_TRUE(ReadBitLabels(folder.path / "zelk.ini", "Fuses").empty());
}

TEST(LookupDevice, SeesEveryEntryOfALongList) {
    std::string text = "[Devices]\n";
    std::string sections;
    for (int i = 0; i < 300; ++i) {
        const std::string name = "Device" + std::to_string(i);
        text += "Entry" + std::to_string(i) + "=" + name + "\n";
        sections += Section(name, "Signature=" + std::to_string(0x1E0000 + i));
    }
    TempFolder folder;
    const fs::path ini = folder.Write("zelk.ini", text + sections);
    const DeviceLookup lookup = LookupDevice(ini, 299);
    EXPECT_EQ(lookup.result, DeviceLookup::Result::Matched);
    EXPECT_EQ(lookup.entry.name, "Device299");
    EXPECT_EQ(ReadDeviceList(ini).size(), 300u);
}

TEST(ReadBitLabels, KeysAreSingleCharactersComparedWithCase) {
    TempFolder folder;
    const fs::path ini = folder.Write(
        "zelk.ini", "[LockBits]\nA=LB1\n[fuses]\r\n a = lower case \r\nA=upper case\n"
                    "AB=two characters\nA=second A\nL=0123456789012345678901234567890123\n"
                    "; c=comment\n[Other]\nB=elsewhere\n");
    const BitLabels fuses = ReadBitLabels(ini, "Fuses");
    EXPECT_EQ(fuses, (BitLabels{{'a', "lower case"},
                                {'A', "upper case"},
                                {'L', "01234567890123456789012345678"}}));
    EXPECT_EQ(ReadBitLabels(ini, "LockBits"), (BitLabels{{'A', "LB1"}}));
    EXPECT_TRUE(ReadBitLabels(ini, "Missing").empty());
}

TEST(FindDeviceDatabase, PrefersTheExecutableFolderThenTheInstalledLayout) {
    TempFolder folder;
    const fs::path bin = folder.path / "bin";
    fs::create_directories(bin);
    EXPECT_EQ(FindDeviceDatabaseFrom(bin), bin / "zelk.ini") << "nothing there";
    const fs::path installed = folder.Write("share/zelk/zelk.ini", "[Devices]\n");
    EXPECT_EQ(FindDeviceDatabaseFrom(bin), installed);
    folder.Write("bin/zelk.ini", "[Devices]\n");
    EXPECT_EQ(FindDeviceDatabaseFrom(bin), bin / "zelk.ini");
}

} // namespace
} // namespace zelk
