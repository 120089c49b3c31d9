// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/device_database.h"

#include "memory/target_images.h"
#include "platform/private_profile.h"

#include <algorithm>
#include <optional>
#include <system_error>

namespace zelk {

namespace {

constexpr std::string_view DevicesSection = "Devices";
// A page load carries the word offset in one byte, so a page holds at most 128 words.
constexpr std::int64_t LargestPageSize = 256;
constexpr std::int64_t LargestAlgorithm = 3;

std::string ReadString(const IniIndex& index, std::string_view section, std::string_view key) {
    const IniIndex::Entry* entry = index.Find(section, key);
    return entry == nullptr ? std::string() : entry->value;
}

// A device's numbers as written, before they are narrowed into a DeviceEntry, and the first
// key whose text is no whole number.
struct RawEntry {
    DeviceEntry entry;
    std::int64_t programSize = 0;
    std::int64_t dataSize = 0;
    std::int64_t algorithm = 0;
    std::int64_t pageSize = 0;
    std::string notANumber;
};

std::int64_t ReadNumber(const IniIndex& index, std::string_view section, std::string_view key,
                        std::string& notANumber) {
    const IniIndex::Entry* entry = index.Find(section, key);
    if (entry == nullptr) {
        return 0;
    }
    const std::optional<std::int64_t> value = ParseExactIniNumber(entry->value);
    if (!value && notANumber.empty()) {
        notANumber = std::string(key) + " \"" + entry->value + "\" is not a whole number";
    }
    return value.value_or(0);
}

// A write time in microseconds; a value beyond a second is no data-sheet time and would wrap.
std::int32_t ReadWriteTime(const IniIndex& index, std::string_view section, std::string_view key,
                           std::string& problem) {
    constexpr std::int64_t LongestWriteUs = 1'000'000;
    const std::int64_t value = ReadNumber(index, section, key, problem);
    if ((value < 0 || value > LongestWriteUs) && problem.empty()) {
        problem = std::string(key) + " " + std::to_string(value) + " is not 0 to " +
                  std::to_string(LongestWriteUs) + " microseconds";
    }
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, 0, LongestWriteUs));
}

RawEntry ReadEntry(const IniIndex& index, std::string_view name) {
    RawEntry raw;
    DeviceEntry& entry = raw.entry;
    entry.name = std::string(name);
    // Only the low 16 bits of a signature are compared, so a wider number still identifies.
    entry.signature =
        static_cast<std::uint32_t>(ParseProfileInt(ReadString(index, name, "Signature")));
    raw.programSize = ReadNumber(index, name, "ProgramSize", raw.notANumber);
    raw.dataSize = ReadNumber(index, name, "DataSize", raw.notANumber);
    raw.algorithm = ReadNumber(index, name, "Algorithm", raw.notANumber);
    raw.pageSize = ReadNumber(index, name, "PageSize", raw.notANumber);
    entry.programSize = static_cast<std::uint32_t>(raw.programSize);
    entry.dataSize = static_cast<std::int32_t>(raw.dataSize);
    entry.algorithm = static_cast<Algorithm>(static_cast<std::uint8_t>(raw.algorithm));
    entry.pageSize = static_cast<std::uint16_t>(raw.pageSize);
    entry.lockBits = ReadString(index, name, "LockBits");
    entry.fuses = ReadString(index, name, "Fuses");
    entry.fusesHi = ReadString(index, name, "FusesHi");
    entry.fusesExt = ReadString(index, name, "FusesExt");
    entry.flashWriteUs = ReadWriteTime(index, name, "FlashWriteUs", raw.notANumber);
    entry.eepromWriteUs = ReadWriteTime(index, name, "EepromWriteUs", raw.notANumber);
    entry.chipEraseUs = ReadWriteTime(index, name, "ChipEraseUs", raw.notANumber);
    entry.fuseWriteUs = ReadWriteTime(index, name, "FuseWriteUs", raw.notANumber);
    entry.pollReadyBusy = ReadNumber(index, name, "PollReadyBusy", raw.notANumber) != 0;
    entry.lockHidesSignature = ReadNumber(index, name, "LockHidesSignature", raw.notANumber) != 0;
    entry.resetDisableFuse = ReadString(index, name, "ResetDisableFuse");
    entry.debugWireFuse = ReadString(index, name, "DebugWireFuse");
    return raw;
}

bool IsPageMode(std::int64_t algorithm) {
    return algorithm == 2 || algorithm == 3;
}

// Why the entry would make a target command read or write the wrong bytes; empty when it
// is safe to use. The checks run on the numbers as written, so none passes by wrapping.
std::string WhyUnsafe(const RawEntry& raw) {
    if (!raw.notANumber.empty()) {
        return raw.notANumber;
    }
    if (raw.programSize < 0) {
        return "ProgramSize " + std::to_string(raw.programSize) + " is negative";
    }
    if (raw.programSize > static_cast<std::int64_t>(FlashImageSize)) {
        return "ProgramSize " + std::to_string(raw.programSize) + " exceeds the " +
               std::to_string(FlashImageSize) + "-byte flash image";
    }
    if (raw.dataSize < 0) {
        return "DataSize " + std::to_string(raw.dataSize) + " is negative";
    }
    if (raw.dataSize > static_cast<std::int64_t>(EepromImageSize)) {
        return "DataSize " + std::to_string(raw.dataSize) + " exceeds the " +
               std::to_string(EepromImageSize) + "-byte EEPROM image";
    }
    if (raw.algorithm < 0 || raw.algorithm > LargestAlgorithm) {
        return "Algorithm " + std::to_string(raw.algorithm) + " is not 0 to " +
               std::to_string(LargestAlgorithm);
    }
    if (!IsPageMode(raw.algorithm)) {
        if (raw.pageSize < 0 || raw.pageSize > 0xFFFF) {
            return "PageSize " + std::to_string(raw.pageSize) + " is not 0 to 65535";
        }
        return {};
    }
    const std::int64_t page = raw.pageSize;
    const bool powerOfTwo = page > 0 && (page & (page - 1)) == 0;
    if (page < 2 || page > LargestPageSize || !powerOfTwo) {
        return "PageSize " + std::to_string(page) + " is not a power of two from 2 to " +
               std::to_string(LargestPageSize) + ", as page-mode Algorithm " +
               std::to_string(raw.algorithm) + " needs";
    }
    if (raw.programSize % page != 0) {
        return "PageSize " + std::to_string(page) + " does not divide ProgramSize " +
               std::to_string(raw.programSize);
    }
    return {};
}

// The device section names of [Devices], in file order, without empty values.
std::vector<std::string> DeviceSectionNames(const IniIndex& index) {
    std::vector<std::string> names;
    for (const std::string& key : index.Names(DevicesSection)) {
        std::string value = ReadString(index, DevicesSection, key);
        if (!value.empty()) {
            names.push_back(std::move(value));
        }
    }
    return names;
}

// The bits of a LockBits pattern (a mode character, then bit 7 to bit 0) whose characters
// carry a label beginning with `name`.
std::uint8_t LockBitsLabelled(std::string_view pattern, const BitLabels& labels,
                              std::string_view name) {
    std::uint8_t bits = 0;
    for (std::size_t bit = 0; bit < 8 && 8 - bit < pattern.size(); ++bit) {
        const auto label = labels.find(pattern[8 - bit]);
        if (label != labels.end() && label->second.starts_with(name)) {
            bits = static_cast<std::uint8_t>(bits | (1u << bit));
        }
    }
    return bits;
}

// Cuts to the limit without splitting a UTF-8 sequence.
std::string CutLabel(std::string_view label) {
    if (label.size() <= BitLabelLimit) {
        return std::string(label);
    }
    std::size_t end = BitLabelLimit;
    while (end > 0 && (static_cast<unsigned char>(label[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string(label.substr(0, end));
}

} // namespace

std::filesystem::path FindDeviceDatabaseFrom(const std::filesystem::path& executableDir) {
    const std::filesystem::path candidates[] = {
        executableDir / "zelk.ini",
        (executableDir / ".." / "share" / "zelk" / "zelk.ini").lexically_normal(),
    };
    for (const std::filesystem::path& candidate : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error)) {
            return candidate;
        }
    }
    return candidates[0];
}

std::filesystem::path FindDeviceDatabase() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return FindDeviceDatabaseFrom(error ? std::filesystem::current_path(error)
                                        : executable.parent_path());
}

bool DeviceDatabase::Open(const std::filesystem::path& ini, std::string& error) {
    std::vector<std::string> lines;
    bool missing = false;
    std::string reason;
    if (!ReadIniLines(ini, lines, missing, reason)) {
        error = "Cannot read the device list " + ini.string() + ": " + reason;
        return false;
    }
    index = IniIndex(lines);
    return true;
}

std::vector<DeviceEntry> DeviceDatabase::Devices() const {
    std::vector<DeviceEntry> devices;
    for (const std::string& name : DeviceSectionNames(index)) {
        devices.push_back(ReadEntry(index, name).entry);
    }
    return devices;
}

std::vector<CheckedDevice> DeviceDatabase::Checked() const {
    std::vector<CheckedDevice> checked;
    // The entry a lookup finds for each signature: the first that has it.
    std::map<std::uint16_t, std::string> found;
    for (const std::string& name : DeviceSectionNames(index)) {
        RawEntry raw = ReadEntry(index, name);
        const bool hasSignature = index.Find(name, "Signature") != nullptr;
        const auto code = static_cast<std::uint16_t>(raw.entry.signature & 0xFFFF);
        const auto [first, firstWithIt] =
            hasSignature ? found.emplace(code, name) : std::pair{found.end(), false};
        std::string problem = WhyUnsafe(raw);
        if (!index.HeaderLine(name)) {
            problem = "[Devices] names it, but there is no [" + name + "] section";
        } else if (!hasSignature) {
            problem = "no Signature: it cannot identify a device";
        } else if (!firstWithIt) {
            problem = "its signature is " + first->second + "'s, listed before: it never matches";
        } else if (problem.empty() && raw.entry.programSize == 0) {
            problem = "ProgramSize is 0: the device has no flash to program";
        }
        checked.push_back({std::move(raw.entry), std::move(problem)});
    }
    return checked;
}

DeviceLookup DeviceDatabase::Lookup(std::uint16_t deviceCode) const {
    DeviceLookup lookup;
    for (const std::string& name : DeviceSectionNames(index)) {
        const IniIndex::Entry* signature = index.Find(name, "Signature");
        if (signature == nullptr || (ParseProfileInt(signature->value) & 0xFFFF) != deviceCode) {
            continue;
        }
        RawEntry raw = ReadEntry(index, name);
        lookup.reason = WhyUnsafe(raw);
        lookup.result =
            lookup.reason.empty() ? DeviceLookup::Result::Matched : DeviceLookup::Result::Invalid;
        lookup.entry = std::move(raw.entry);
        const BitLabels labels = Labels("LockBits");
        lookup.lockBit1 = LockBitsLabelled(lookup.entry.lockBits, labels, "LB1");
        lookup.lockBit2 = LockBitsLabelled(lookup.entry.lockBits, labels, "LB2");
        return lookup;
    }
    return lookup;
}

DeviceLookup DeviceDatabase::LookupSignature(std::uint32_t signature) const {
    DeviceLookup lookup = Lookup(static_cast<std::uint16_t>(signature & 0xFFFF));
    if (lookup.result != DeviceLookup::Result::NotFound ||
        (signature & 0xFFFFFF) != LockedSignature) {
        return lookup;
    }
    for (const std::string& name : DeviceSectionNames(index)) {
        if (ReadEntry(index, name).entry.lockHidesSignature) {
            lookup.result = DeviceLookup::Result::HiddenByLock;
            break;
        }
    }
    return lookup;
}

DeviceEntry DeviceDatabase::Section(std::string_view name) const {
    return ReadEntry(index, name).entry;
}

BitLabels DeviceDatabase::Labels(std::string_view section) const {
    // Unlike value names elsewhere, these keys differ by case.
    BitLabels labels;
    for (const IniIndex::Entry& entry : index.Entries(section)) {
        if (entry.name.size() == 1) {
            labels.emplace(entry.name.front(), CutLabel(entry.value));
        }
    }
    return labels;
}

bool ReadDeviceList(const std::filesystem::path& ini, std::vector<DeviceEntry>& devices,
                    std::string& error) {
    DeviceDatabase database;
    if (!database.Open(ini, error)) {
        return false;
    }
    devices = database.Devices();
    return true;
}

DeviceLookup LookupDevice(const std::filesystem::path& ini, std::uint16_t deviceCode) {
    DeviceDatabase database;
    DeviceLookup lookup;
    if (!database.Open(ini, lookup.reason)) {
        lookup.result = DeviceLookup::Result::Unreadable;
        return lookup;
    }
    return database.Lookup(deviceCode);
}

DeviceLookup LookupSignature(const std::filesystem::path& ini, std::uint32_t signature) {
    DeviceDatabase database;
    DeviceLookup lookup;
    if (!database.Open(ini, lookup.reason)) {
        lookup.result = DeviceLookup::Result::Unreadable;
        return lookup;
    }
    return database.LookupSignature(signature);
}

DeviceEntry ReadDeviceSection(const std::filesystem::path& ini, std::string_view name) {
    DeviceDatabase database;
    std::string ignored;
    database.Open(ini, ignored);
    return database.Section(name);
}

BitLabels ReadBitLabels(const std::filesystem::path& ini, std::string_view section) {
    DeviceDatabase database;
    std::string ignored;
    database.Open(ini, ignored);
    return database.Labels(section);
}

} // namespace zelk
