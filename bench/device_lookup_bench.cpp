// SPDX-License-Identifier: GPL-3.0-or-later
// Looking a device up in a zelk.ini of 10,000 generated devices, as every target command
// does: reading and indexing the file, then finding the last device in [Devices].
#include "engine/device_database.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr int DeviceCount = 10000;
constexpr int Rounds = 20;

std::filesystem::path WriteDeviceList() {
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("zelk-lookup-bench-" + std::to_string(::getpid()) + ".ini");
    std::ofstream out(file, std::ios::binary);
    out << "[Devices]\r\n";
    for (int i = 0; i < DeviceCount; ++i) {
        out << "Device" << i << "=Part" << i << "\r\n";
    }
    for (int i = 0; i < DeviceCount; ++i) {
        out << "[Part" << i << "]\r\nSignature=" << (0x1E0000 + i)
            << "\r\nProgramSize=8192\r\nDataSize=512\r\nAlgorithm=3\r\nPageSize=64\r\n"
               "LockBits=Mxxxxxx21\r\nFuses=abcdefgh\r\n";
    }
    return file;
}

} // namespace

int main() {
    const std::filesystem::path ini = WriteDeviceList();
    std::error_code ec;
    const auto size = std::filesystem::file_size(ini, ec);
    const auto start = std::chrono::steady_clock::now();
    bool found = true;
    for (int round = 0; round < Rounds; ++round) {
        const zelk::DeviceLookup lookup =
            zelk::LookupDevice(ini, static_cast<std::uint16_t>(DeviceCount - 1));
        found = found && lookup.result == zelk::DeviceLookup::Result::Matched;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::filesystem::remove(ini, ec);
    std::printf("device lookup: %d devices (%.1f MiB), last device found %s, %.1f ms per lookup "
                "(file read, indexed and searched; mean of %d)\n",
                DeviceCount, static_cast<double>(size) / (1024 * 1024), found ? "yes" : "NO",
                1000 * seconds / Rounds, Rounds);
    return found ? 0 : 1;
}
