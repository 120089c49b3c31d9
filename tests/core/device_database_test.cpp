// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/device_database.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

namespace zelk {
namespace {

namespace fs = std::filesystem;
using R = DeviceLookup::Result;

fs::path ShippedDatabase() {
    const fs::path built = fs::path(ZELK_BIN_DIR) / "zelk.ini";
    return fs::exists(built) ? built : fs::path(ZELK_TEST_DATA_DIR) / "../../resources/zelk.ini";
}

// Consistency of the shipped database: every device must be usable and its patterns must
// build a complete lock and fuse dialog.
TEST(ShippedDeviceDatabase, EveryDeviceIsUsableAndFullyLabelled) {
    const fs::path ini = ShippedDatabase();
    ASSERT_TRUE(fs::exists(ini)) << ini;
    std::vector<DeviceEntry> devices;
    std::string error;
    ASSERT_TRUE(ReadDeviceList(ini, devices, error)) << error;
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
        EXPECT_EQ(lookup.result, R::Matched) << lookup.reason;
        EXPECT_EQ(lookup.entry.name, device.name);
        EXPECT_GT(device.programSize, 0u);
        EXPECT_GT(device.dataSize, 0);
        const auto algorithm = static_cast<unsigned>(device.algorithm);
        EXPECT_LE(algorithm, 3u);
        EXPECT_EQ(device.pageSize == 0, algorithm < 2) << "page size only in page mode";

        if (!device.lockBits.empty()) {
            ASSERT_EQ(device.lockBits.size(), 9u);
            for (char bit : device.lockBits.substr(1)) {
                EXPECT_TRUE(bit == 'x' || lockLabels.contains(bit)) << "lock bit '" << bit << "'";
            }
        }
        EXPECT_TRUE(!device.fuses.empty() || (device.fusesHi.empty() && device.fusesExt.empty()));
        for (const std::string& pattern : {device.fuses, device.fusesHi, device.fusesExt}) {
            ASSERT_TRUE(pattern.empty() || pattern.size() == 8u) << pattern;
            for (char bit : pattern) {
                EXPECT_TRUE(bit == 'x' || bit == '0' || bit == '1' || fuseLabels.contains(bit))
                    << "fuse bit '" << bit << "'";
            }
        }
    }
}

// Values copied from the data sheets; a wrong copy programs boards wrongly.
TEST(ShippedDeviceDatabase, KnownDevicesHaveTheirDataSheetValues) {
    const struct {
        const char* name;
        std::uint32_t signature, programSize;
        std::int32_t dataSize;
        std::uint8_t algorithm;
        std::uint16_t pageSize;
    } known[] = {
        {"AT90S1200", 0x1E9001, 1024, 64, 0, 0},        {"AT90S2313", 0x1E9101, 2048, 128, 1, 0},
        {"ATtiny13", 0x1E9007, 1024, 64, 3, 32},        {"ATtiny85", 0x1E930B, 8192, 512, 3, 64},
        {"ATtiny26", 0x1E9109, 2048, 128, 3, 32},       {"ATmega8", 0x1E9307, 8192, 512, 3, 64},
        {"ATmega328P", 0x1E950F, 32768, 1024, 3, 128},  {"ATmega64", 0x1E9602, 65536, 2048, 3, 256},
        {"ATmega128", 0x1E9702, 131072, 4096, 3, 256},  {"ATmega103", 0x1E9701, 131072, 4096, 1, 0},
        {"ATmega1281", 0x1E9704, 131072, 4096, 3, 256},
    };
    const fs::path ini = ShippedDatabase();
    for (const auto& device : known) {
        SCOPED_TRACE(device.name);
        const DeviceLookup lookup = LookupDevice(ini, device.signature & 0xFFFF);
        ASSERT_EQ(lookup.result, R::Matched);
        EXPECT_EQ(lookup.entry.name, device.name);
        EXPECT_EQ(lookup.entry.signature, device.signature);
        EXPECT_EQ(lookup.entry.programSize, device.programSize);
        EXPECT_EQ(lookup.entry.dataSize, device.dataSize);
        EXPECT_EQ(static_cast<unsigned>(lookup.entry.algorithm), device.algorithm);
        EXPECT_EQ(lookup.entry.pageSize, device.pageSize);
    }
    // Bit positions: a fuse in the wrong place sets the wrong clock or kills the reset pin.
    const DeviceEntry mega328 = ReadDeviceSection(ini, "ATmega328P");
    const BitLabels fuseLabels = ReadBitLabels(ini, "Fuses");
    EXPECT_EQ(fuseLabels.at(mega328.fusesHi[0]).substr(0, 8), "RSTDISBL");
    EXPECT_EQ(mega328.fusesHi[2], '0') << "SPIEN stays programmed";
    EXPECT_EQ(fuseLabels.at(mega328.fuses[0]).substr(0, 6), "CKDIV8");
    EXPECT_EQ(fuseLabels.at(mega328.fusesExt[7]).substr(0, 9), "BODLEVEL0");
}

TEST(LookupDevice, MatchesAndRefusesAsTheEntriesSay) {
    const std::string good = "\nProgramSize=2048\nDataSize=128\nAlgorithm=1\n";
    const std::string a = "[Devices]\nd=A\n[A]\nSignature=1\n"; // entries of A follow
    const struct {
        const char* what;
        std::string ini;
        std::string reasonPart; // the entry found is always A
        std::uint16_t code = 1;
        R result = R::Invalid;
    } cases[] = {
        {"low 16 bits", "[Devices]\nd=A\n[A]\nSignature=0x19101" + good, "", 0x9101, R::Matched},
        {"first match wins", "[Devices]\n1=A\n2=B\n[A]\nSignature=1" + good + "[B]\nSignature=1",
         "", 1, R::Matched},
        {"section without signature never matches code 0",
         "[Devices]\n1=Missing\n2=NoSig\n[NoSig]" + good, "", 0, R::NotFound},
        {"unknown code", "[Devices]\nd=A\n[A]\nSignature=0x1E9101" + good, "", 0x9102, R::NotFound},
        {"flash too large", a + "ProgramSize=262144\nAlgorithm=1",
         "ProgramSize 262144 exceeds the 131072-byte flash image"},
        {"EEPROM too large", a + "ProgramSize=8\nDataSize=40000",
         "DataSize 40000 exceeds the 32768-byte EEPROM image"},
        {"page mode without page", a + "ProgramSize=1024\nAlgorithm=3", "PageSize 0"},
        {"page of 512 bytes cannot be loaded", a + "ProgramSize=4096\nAlgorithm=2\nPageSize=512",
         "PageSize 512"},
        {"page does not divide flash", a + "ProgramSize=2050\nAlgorithm=3\nPageSize=128",
         "does not divide ProgramSize 2050"},
        {"Algorithm beyond 3 that used to wrap to 2",
         a + "ProgramSize=1024\nAlgorithm=258\nPageSize=32", "Algorithm 258 is not 0 to 3"},
        {"Algorithm 4", a + "ProgramSize=1024\nAlgorithm=4", "Algorithm 4 is not 0 to 3"},
        {"page size that used to wrap to 128", a + "ProgramSize=1024\nAlgorithm=3\nPageSize=65664",
         "PageSize 65664"},
        {"page size beyond 16 bits in byte mode",
         a + "ProgramSize=1024\nAlgorithm=1\nPageSize=65664", "PageSize 65664 is not 0 to 65535"},
        {"flash size that used to wrap to 2048", a + "ProgramSize=4294969344\nAlgorithm=1",
         "ProgramSize 4294969344 exceeds"},
        {"size with a unit", a + "ProgramSize=32K\nAlgorithm=1",
         "ProgramSize \"32K\" is not a whole number"},
        {"negative EEPROM", a + "ProgramSize=8\nDataSize=-1", "DataSize -1 is negative"},
        {"an invalid first match is not passed over",
         "[Devices]\n1=A\n2=B\n[A]\nSignature=1\nDataSize=99999\n[B]\nSignature=1" + good,
         "DataSize 99999"},
    };
    testing::ScratchFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testing::WriteWholeFile(folder / "zelk.ini", c.ini);
        const DeviceLookup lookup = LookupDevice(folder / "zelk.ini", c.code);
        EXPECT_EQ(lookup.result, c.result);
        if (c.result != R::NotFound) {
            EXPECT_EQ(lookup.entry.name, "A");
        }
        if (c.result == R::Invalid) {
            EXPECT_NE(lookup.reason.find(c.reasonPart), std::string::npos) << lookup.reason;
        } else {
            EXPECT_EQ(lookup.reason, "");
        }
    }
}

// The file's own problem is what the user must see, not "no such device".
TEST(LookupDevice, NamesTheProblemOfAFileThatCannotBeRead) {
    testing::ScratchFolder folder;
    ASSERT_EQ(::mkfifo((folder / "fifo.ini").c_str(), 0600), 0);
    fs::create_directory(folder / "folder.ini");
    testing::WriteWholeFile(folder / "huge.ini", "[Devices]\n");
    fs::resize_file(folder / "huge.ini", MaxIniFileSize + 1);
    const std::pair<const char*, const char*> cases[] = {
        {"none.ini", "No such file"},
        {"fifo.ini", "not a regular file"},
        {"folder.ini", "is a folder"},
        {"huge.ini", "larger than 16 MiB"},
    };
    for (const auto& [name, cause] : cases) {
        SCOPED_TRACE(name);
        const DeviceLookup lookup = LookupDevice(folder / name, 0x9101);
        EXPECT_EQ(lookup.result, R::Unreadable);
        EXPECT_NE(lookup.reason.find("Cannot read the device list " + (folder / name).string()),
                  std::string::npos)
            << lookup.reason;
        EXPECT_NE(lookup.reason.find(cause), std::string::npos) << lookup.reason;
        std::vector<DeviceEntry> devices;
        std::string error;
        EXPECT_FALSE(ReadDeviceList(folder / name, devices, error));
        EXPECT_EQ(error, lookup.reason);
    }
}

// The list is read once into an index: the last of many devices is found, and found fast.
TEST(DeviceDatabase, FindsTheLastOfTenThousandDevices) {
    std::string text = "[Devices]\n";
    for (int i = 0; i < 10000; ++i) {
        text += "Device" + std::to_string(i) + "=Part" + std::to_string(i) + "\n";
    }
    for (int i = 0; i < 10000; ++i) {
        text += "[Part" + std::to_string(i) + "]\nSignature=" + std::to_string(0x1E0000 + i) +
                "\nProgramSize=2048\nDataSize=128\nAlgorithm=1\n";
    }
    testing::ScratchFolder folder;
    DeviceDatabase database;
    std::string error;
    testing::WriteWholeFile(folder / "zelk.ini", text);
    ASSERT_TRUE(database.Open(folder / "zelk.ini", error)) << error;
    EXPECT_EQ(database.Devices().size(), 10000u);
    const DeviceLookup lookup = database.Lookup(9999);
    EXPECT_EQ(lookup.result, R::Matched);
    EXPECT_EQ(lookup.entry.name, "Part9999");
}

} // namespace
} // namespace zelk
