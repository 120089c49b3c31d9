#include "engine/device_database.h"

#include "memory/target_images.h"
#include "platform/private_profile.h"

#include <optional>
#include <system_error>

namespace zelk {

namespace {

constexpr std::string_view DevicesSection = "Devices";
// A page load carries the word offset in one byte, so a page holds at most 128 words.
constexpr int LargestPageSize = 256;

std::optional<ProfileFile> LoadDatabase(const std::filesystem::path& ini) {
    std::string error;
    return ProfileFile::Load(ini, error);
}

int ReadInt(const ProfileFile& file, std::string_view section, std::string_view key) {
    const std::optional<std::string> value = file.Get(section, key);
    return value ? ParseProfileInt(*value) : 0;
}

std::string ReadString(const ProfileFile& file, std::string_view section, std::string_view key) {
    return file.Get(section, key).value_or(std::string());
}

struct RawEntry {
    DeviceEntry entry;
    int programSize = 0; // as written, before the entry's unsigned field
};

RawEntry ReadEntry(const ProfileFile& file, std::string_view name) {
    RawEntry raw;
    DeviceEntry& entry = raw.entry;
    entry.name = std::string(name);
    entry.signature = static_cast<std::uint32_t>(ReadInt(file, name, "Signature"));
    raw.programSize = ReadInt(file, name, "ProgramSize");
    entry.programSize = static_cast<std::uint32_t>(raw.programSize);
    entry.dataSize = ReadInt(file, name, "DataSize");
    entry.algorithm =
        static_cast<Algorithm>(static_cast<std::uint8_t>(ReadInt(file, name, "Algorithm")));
    entry.pageSize = static_cast<std::uint16_t>(ReadInt(file, name, "PageSize"));
    entry.lockBits = ReadString(file, name, "LockBits");
    entry.fuses = ReadString(file, name, "Fuses");
    entry.fusesHi = ReadString(file, name, "FusesHi");
    entry.fusesExt = ReadString(file, name, "FusesExt");
    return raw;
}

bool IsPageMode(Algorithm algorithm) {
    return algorithm == Algorithm::PagesFuseByte2 || algorithm == Algorithm::PagesLockByte4;
}

// Why the entry would make a target command read or write the wrong bytes; empty when it
// is safe to use.
std::string WhyUnsafe(const RawEntry& raw) {
    const DeviceEntry& entry = raw.entry;
    if (raw.programSize < 0) {
        return "ProgramSize " + std::to_string(raw.programSize) + " is negative";
    }
    if (entry.programSize > FlashImageSize) {
        return "ProgramSize " + std::to_string(entry.programSize) + " exceeds the " +
               std::to_string(FlashImageSize) + "-byte flash image";
    }
    if (entry.dataSize < 0) {
        return "DataSize " + std::to_string(entry.dataSize) + " is negative";
    }
    if (static_cast<std::size_t>(entry.dataSize) > EepromImageSize) {
        return "DataSize " + std::to_string(entry.dataSize) + " exceeds the " +
               std::to_string(EepromImageSize) + "-byte EEPROM image";
    }
    if (!IsPageMode(entry.algorithm)) {
        return {};
    }
    const int page = entry.pageSize;
    const bool powerOfTwo = (page & (page - 1)) == 0;
    if (page < 2 || page > LargestPageSize || !powerOfTwo) {
        return "PageSize " + std::to_string(page) + " is not a power of two from 2 to " +
               std::to_string(LargestPageSize) + ", as page-mode Algorithm " +
               std::to_string(static_cast<unsigned>(entry.algorithm)) + " needs";
    }
    if (entry.programSize % entry.pageSize != 0) {
        return "PageSize " + std::to_string(page) + " does not divide ProgramSize " +
               std::to_string(entry.programSize);
    }
    return {};
}

// The device section names of [Devices], in file order, without empty values.
std::vector<std::string> DeviceSectionNames(const ProfileFile& file) {
    std::vector<std::string> names;
    for (const std::string& key : file.Names(DevicesSection)) {
        std::string value = ReadString(file, DevicesSection, key);
        if (!value.empty()) {
            names.push_back(std::move(value));
        }
    }
    return names;
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
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

std::vector<DeviceEntry> ReadDeviceList(const std::filesystem::path& ini) {
    std::vector<DeviceEntry> devices;
    const std::optional<ProfileFile> file = LoadDatabase(ini);
    if (!file) {
        return devices;
    }
    for (const std::string& name : DeviceSectionNames(*file)) {
        devices.push_back(ReadEntry(*file, name).entry);
    }
    return devices;
}

DeviceLookup LookupDevice(const std::filesystem::path& ini, std::uint16_t deviceCode) {
    DeviceLookup lookup;
    const std::optional<ProfileFile> file = LoadDatabase(ini);
    if (!file) {
        return lookup;
    }
    for (const std::string& name : DeviceSectionNames(*file)) {
        const std::optional<std::string> signature = file->Get(name, "Signature");
        if (!signature || (ParseProfileInt(*signature) & 0xFFFF) != deviceCode) {
            continue;
        }
        RawEntry raw = ReadEntry(*file, name);
        lookup.reason = WhyUnsafe(raw);
        lookup.result =
            lookup.reason.empty() ? DeviceLookup::Result::Matched : DeviceLookup::Result::Invalid;
        lookup.entry = std::move(raw.entry);
        return lookup;
    }
    return lookup;
}

DeviceEntry ReadDeviceSection(const std::filesystem::path& ini, std::string_view name) {
    const std::optional<ProfileFile> file = LoadDatabase(ini);
    if (!file) {
        DeviceEntry entry;
        entry.name = std::string(name);
        return entry;
    }
    return ReadEntry(*file, name).entry;
}

BitLabels ReadBitLabels(const std::filesystem::path& ini, std::string_view section) {
    BitLabels labels;
    const std::optional<ProfileFile> file = LoadDatabase(ini);
    if (!file) {
        return labels;
    }
    // The profile module compares names without case; these keys differ by case, so the
    // section's lines are read here.
    const std::string text = file->Serialize();
    bool inSection = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view line = Trim(std::string_view(text).substr(start, end - start));
        start = end + 1;
        if (line.size() >= 2 && line.front() == '[') {
            const std::size_t close = line.find(']');
            inSection = close != std::string_view::npos &&
                        EqualIgnoringCase(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = Trim(line.substr(0, equals));
        if (key.size() == 1 && key.front() != ';') {
            labels.emplace(key.front(), CutLabel(Trim(line.substr(equals + 1))));
        }
    }
    return labels;
}

} // namespace zelk
