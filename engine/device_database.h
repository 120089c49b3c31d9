// SPDX-License-Identifier: GPL-3.0-or-later
// The device database zelk.ini: the [Devices] list, one section per device, and the lookup
// of a signature.
#pragma once

#include "platform/ini_document.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zelk {

// How a device's flash, lock bits and fuses are written: the "Algorithm" number of zelk.ini.
// Other numbers are kept as they are; the flash write writes nothing for them.
enum class Algorithm : std::uint8_t {
    TimedBytes = 0,     // one byte at a time with a fixed wait
    PolledBytes = 1,    // one byte at a time, polling until the byte reads back
    PagesFuseByte2 = 2, // page writes; fuses written in the second-byte form
    PagesLockByte4 = 3, // page writes; lock bits written in the fourth-byte form
};

// True for the algorithms that write the flash a page at a time.
inline bool WritesPages(Algorithm algorithm) {
    return algorithm == Algorithm::PagesFuseByte2 || algorithm == Algorithm::PagesLockByte4;
}

struct DeviceEntry {
    std::string name;            // the section name
    std::uint32_t signature = 0; // "Signature": the three signature bytes, 0x1E950F
    std::uint32_t programSize = 0;
    std::int32_t dataSize = 0;
    Algorithm algorithm = Algorithm::TimedBytes;
    std::uint16_t pageSize = 0;
    std::string lockBits; // "LockBits": mode character and 8 bit characters
    std::string fuses;    // "Fuses", "FusesHi", "FusesExt": 8 bit characters each
    std::string fusesHi;
    std::string fusesExt;
    // How the chip behaves in serial programming, from its data sheet (the simulator's model of
    // it); 0, false or empty where the section does not say.
    std::int32_t flashWriteUs = 0;   // "FlashWriteUs": a flash byte, or a page in page mode
    std::int32_t eepromWriteUs = 0;  // "EepromWriteUs": an EEPROM byte
    std::int32_t chipEraseUs = 0;    // "ChipEraseUs"
    std::int32_t fuseWriteUs = 0;    // "FuseWriteUs": a fuse or lock byte
    bool pollReadyBusy = false;      // "PollReadyBusy": answers instruction 0xF0 with busy
    bool lockHidesSignature = false; // "LockHidesSignature": locked, it reads 00 01 02
    std::string resetDisableFuse{};  // "ResetDisableFuse": the RSTDISBL bit, e.g. "FusesHi.7"
    std::string debugWireFuse{};     // "DebugWireFuse": the DWEN bit, e.g. "FusesHi.6"
};

// zelk.ini beside the running executable, else ../share/zelk/zelk.ini relative to it.
std::filesystem::path FindDeviceDatabase();
// The same search from a given executable folder: the first candidate that exists, else the
// first candidate.
std::filesystem::path FindDeviceDatabaseFrom(const std::filesystem::path& executableDir);

// The signature a part that hides its own in lock mode 3 answers instead (the AT90S parts).
inline constexpr std::uint32_t LockedSignature = 0x000102;

struct DeviceLookup {
    // HiddenByLock: the signature is LockedSignature and the database lists parts that answer
    // it when locked, so the chip is one of them; which one cannot be told until it is erased.
    enum class Result { Matched, NotFound, Invalid, Unreadable, HiddenByLock };
    Result result = Result::NotFound;
    DeviceEntry entry; // the matched (or refused) entry
    // Invalid: why the entry would drive the target wrongly. Unreadable: why the file cannot
    // be read, a whole sentence naming it.
    std::string reason;
    // Matched: the lock bits whose [LockBits] labels begin "LB1" and "LB2"; 0 for a part
    // without them.
    std::uint8_t lockBit1 = 0;
    std::uint8_t lockBit2 = 0;
};

// Labels of lock or fuse bits: the [LockBits] or [Fuses] section, single-character keys
// compared with case (so "a" and "A" are different bits), labels cut to BitLabelLimit
// characters. The first of two equal keys wins.
inline constexpr std::size_t BitLabelLimit = 29;
using BitLabels = std::map<char, std::string>;

// A [Devices] entry with what keeps it from being used: empty when nothing does.
struct CheckedDevice {
    DeviceEntry entry;
    std::string problem;
};

// zelk.ini read once and indexed, for any number of questions.
class DeviceDatabase {
public:
    // False, with a sentence naming the file and its problem, when it is missing, cannot be
    // read, is no regular file or is larger than MaxIniFileSize.
    bool Open(const std::filesystem::path& ini, std::string& error);

    // Every device named in [Devices], in file order.
    std::vector<DeviceEntry> Devices() const;
    // The same, each checked as a lookup would check it, and also for a missing section, a
    // missing signature, and a signature an earlier entry has (the later never matches).
    std::vector<CheckedDevice> Checked() const;
    // The first [Devices] entry whose "Signature" has these low 16 bits. An entry is refused
    // as Invalid when a number in it is no whole number or out of its range, when its sizes
    // exceed the images, when its Algorithm is not 0 to 3, or when it writes pages of a size
    // that cannot be. An entry whose section has no "Signature" never matches: it cannot
    // identify a device.
    DeviceLookup Lookup(std::uint16_t deviceCode) const;
    // Lookup of the low 16 bits of the three signature bytes; a chip that answers
    // LockedSignature, which no entry has, is HiddenByLock when an entry has
    // "LockHidesSignature".
    DeviceLookup LookupSignature(std::uint32_t signature) const;
    // The keys of one device section; missing keys read as 0 or empty.
    DeviceEntry Section(std::string_view name) const;
    BitLabels Labels(std::string_view section) const;

private:
    IniIndex index;
};

// One question each, reading the file afresh. ReadDeviceList is false, with the reason, when
// the file cannot be read; LookupDevice answers Unreadable then; the other two read a file
// that cannot be read as empty.
bool ReadDeviceList(const std::filesystem::path& ini, std::vector<DeviceEntry>& devices,
                    std::string& error);
DeviceLookup LookupDevice(const std::filesystem::path& ini, std::uint16_t deviceCode);
DeviceLookup LookupSignature(const std::filesystem::path& ini, std::uint32_t signature);
// The lock and fuse dialog reads its patterns by the name the lookup found.
DeviceEntry ReadDeviceSection(const std::filesystem::path& ini, std::string_view name);
BitLabels ReadBitLabels(const std::filesystem::path& ini, std::string_view section);

} // namespace zelk
