// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/lock_fuse.h"

#include "engine/command_support.h"
#include "engine/instructions.h"
#include "engine/memory_steps.h"
#include "engine/target_connection.h"

#include <cstdio>
#include <string>

namespace zelk {
namespace {

constexpr char Unused = 'x';
constexpr int BoxLeft = 20;
constexpr int BoxRight = 140;
constexpr int BoxPitch = 15;

// Bit i of a pattern stands at index first + 7 - i; a pattern too short for a bit leaves
// it unused.
std::array<char, 8> BitCharacters(const std::string& pattern, std::size_t first) {
    std::array<char, 8> bits{};
    for (std::size_t i = 0; i < bits.size(); ++i) {
        const std::size_t index = first + 7 - i;
        bits[i] = index < pattern.size() ? pattern[index] : Unused;
    }
    return bits;
}

bool IsFixedFuse(char c) {
    return c == Unused || c == '0' || c == '1';
}

std::string LabelOf(const BitLabels& names, char key) {
    const auto found = names.find(key);
    return found == names.end() ? std::string() : found->second;
}

int BoxId(LockFuseByte byte, int bit) {
    return (static_cast<int>(byte) + 1) * 1000 + (1 << bit);
}

} // namespace

LockFuseLayout::LockFuseLayout(const LockFusePatterns& patterns, const BitLabels& lockBitNames,
                               const BitLabels& fuseNames) {
    const bool hasFuses = !patterns.fuses.empty();
    hasByte = {!patterns.lockBits.empty(), hasFuses, hasFuses && !patterns.fusesHi.empty(),
               hasFuses && !patterns.fusesExt.empty()};
    bits[Index(LockFuseByte::Lock)] = BitCharacters(patterns.lockBits, 1);
    bits[Index(LockFuseByte::Fuse)] = BitCharacters(patterns.fuses, 0);
    bits[Index(LockFuseByte::FuseHigh)] = BitCharacters(patterns.fusesHi, 0);
    bits[Index(LockFuseByte::FuseExt)] = BitCharacters(patterns.fusesExt, 0);

    int y = 0;
    // Adds the boxes of one byte below those already in the group; n counts the group's boxes.
    const auto addBoxes = [&](LockFuseByte byte, const BitLabels& names, int& n) {
        if (!HasByte(byte)) {
            return;
        }
        for (int bit = 0; bit < 8; ++bit) {
            const char c = bits[Index(byte)][static_cast<std::size_t>(bit)];
            if (byte == LockFuseByte::Lock ? c == Unused : IsFixedFuse(c)) {
                continue;
            }
            boxes.push_back({byte,
                             bit,
                             BoxId(byte, bit),
                             LabelOf(names, c),
                             {BoxLeft, y + 30 + BoxPitch * n, BoxRight, y + 50 + BoxPitch * n},
                             n == 0});
            ++n;
        }
    };

    if (HasByte(LockFuseByte::Lock)) {
        int n = 0;
        addBoxes(LockFuseByte::Lock, lockBitNames, n);
        lockGroupShown = true;
        readLockBitsShown = patterns.lockBits[0] != 'W';
        lockGroup = {10, 10, 160, 10 + BoxPitch * n + 35};
        writeLockBitsAt = {170, 15};
        readLockBitsAt = {170, 45};
        y = BoxPitch * n + 60;
    }
    if (hasFuses) {
        int n = 0;
        addBoxes(LockFuseByte::Fuse, fuseNames, n);
        addBoxes(LockFuseByte::FuseHigh, fuseNames, n);
        addBoxes(LockFuseByte::FuseExt, fuseNames, n);
        fuseGroupShown = true;
        fuseGroup = {10, y + 10, 160, y + 10 + BoxPitch * n + 35};
        writeFusesAt = {170, y + 15};
        readFusesAt = {170, y + 45};
        y += BoxPitch * n + 50;
    }
    height = y + 30;
}

std::uint8_t LockFuseLayout::BoxMask(LockFuseByte byte) const {
    std::uint8_t mask = 0;
    for (const LockFuseBox& box : boxes) {
        if (box.byte == byte) {
            mask = static_cast<std::uint8_t>(mask | (1u << box.bit));
        }
    }
    return mask;
}

std::uint8_t LockFuseLayout::TicksFromChip(LockFuseByte byte, std::uint8_t chip) const {
    return static_cast<std::uint8_t>(~chip & BoxMask(byte));
}

std::uint8_t LockFuseLayout::ChipFromTicks(LockFuseByte byte, std::uint8_t ticks) const {
    // The mask of programmed bits: ticked boxes, and for fuses the bits fixed at "0".
    std::uint8_t programmed = static_cast<std::uint8_t>(ticks & BoxMask(byte));
    if (byte != LockFuseByte::Lock) {
        for (std::size_t bit = 0; bit < 8; ++bit) {
            if (bits[Index(byte)][bit] == '0') {
                programmed = static_cast<std::uint8_t>(programmed | (1u << bit));
            }
        }
    }
    return static_cast<std::uint8_t>(~programmed);
}

LockFuseLayout LoadLockFuseLayout(const std::filesystem::path& ini, const std::string& deviceName) {
    LockFusePatterns patterns;
    if (!deviceName.empty()) {
        const DeviceEntry entry = ReadDeviceSection(ini, deviceName);
        patterns = {entry.lockBits, entry.fuses, entry.fusesHi, entry.fusesExt};
    }
    return LockFuseLayout(patterns, ReadBitLabels(ini, "LockBits"), ReadBitLabels(ini, "Fuses"));
}

namespace {

// Compares the bits the device's pattern gives a box; the others read as the chip pleases.
bool ReadBackMatches(TargetUi& ui, const char* name, std::uint8_t mask, std::uint8_t written,
                     std::uint8_t read) {
    if (((written ^ read) & mask) == 0) {
        return true;
    }
    char text[112];
    std::snprintf(text, sizeof text, "The %s was written as %02X but reads back as %02X !", name,
                  static_cast<unsigned>(written), static_cast<unsigned>(read));
    ui.ShowMessage(MessageKind::Failure, text);
    return false;
}

} // namespace

namespace {

// The end of a read or write that succeeded: a chip that went away reads 0xFF everywhere,
// which is a plausible lock or fuse byte.
bool StillAnswers(Programmer& programmer, TargetUi& ui) {
    std::string lost;
    if (TargetStillAnswers(programmer, lost)) {
        return true;
    }
    ui.ShowMessage(MessageKind::Failure, lost);
    return false;
}

} // namespace

namespace {

std::optional<std::uint8_t> ReadLockPrepared(Programmer& programmer, TargetUi& ui,
                                             const LockFuseLayout& layout) {
    std::optional<std::uint8_t> lock = std::uint8_t{0xFF};
    if (layout.HasByte(LockFuseByte::Lock)) {
        lock = ReadByteTwice(programmer, ui, "lock byte", ReadLockBits);
    }
    if (lock && !StillAnswers(programmer, ui)) {
        lock.reset();
    }
    return lock;
}

std::optional<FuseBytes> ReadFusesPrepared(Programmer& programmer, TargetUi& ui,
                                           const LockFuseLayout& layout) {
    const std::pair<LockFuseByte, std::pair<const char*, std::uint8_t (*)(Programmer&)>> reads[] = {
        {LockFuseByte::Fuse, {"fuse low byte", ReadFuseBits}},
        {LockFuseByte::FuseHigh, {"fuse high byte", ReadFuseHighBits}},
        {LockFuseByte::FuseExt, {"extended fuse byte", ReadExtendedFuseBits}}};
    FuseBytes fuses;
    std::uint8_t* const into[] = {&fuses.low, &fuses.high, &fuses.ext};
    bool read = true;
    for (std::size_t i = 0; read && i < std::size(reads); ++i) {
        if (!layout.HasByte(reads[i].first)) {
            continue;
        }
        const std::optional<std::uint8_t> value =
            ReadByteTwice(programmer, ui, reads[i].second.first, reads[i].second.second);
        read = value.has_value();
        *into[i] = value.value_or(0xFF);
    }
    read = read && StillAnswers(programmer, ui);
    return read ? std::optional(fuses) : std::nullopt;
}

// Prepares the target, reads with the layout given or the found device's, releases it.
template <typename Read>
auto PreparedRead(Programmer& programmer, TargetUi& ui, const LockFuseLayout* layout, Read read)
    -> decltype(read(programmer, ui, *layout)) {
    if (!PrepareKnownTarget(programmer, ui)) {
        return std::nullopt;
    }
    const auto value = read(programmer, ui,
                            layout != nullptr ? *layout
                                              : LoadLockFuseLayout(programmer.DeviceDatabase(),
                                                                   programmer.device.name));
    ReleaseTarget(programmer);
    return value;
}

} // namespace

std::optional<std::uint8_t> ReadLockByte(Programmer& programmer, TargetUi& ui,
                                         const LockFuseLayout& layout) {
    return PreparedRead(programmer, ui, &layout, ReadLockPrepared);
}

std::optional<FuseBytes> ReadFuseBytes(Programmer& programmer, TargetUi& ui,
                                       const LockFuseLayout& layout) {
    return PreparedRead(programmer, ui, &layout, ReadFusesPrepared);
}

std::optional<std::uint8_t> ReadLockByte(Programmer& programmer, TargetUi& ui) {
    return PreparedRead(programmer, ui, nullptr, ReadLockPrepared);
}

std::optional<FuseBytes> ReadFuseBytes(Programmer& programmer, TargetUi& ui) {
    return PreparedRead(programmer, ui, nullptr, ReadFusesPrepared);
}

namespace {

// The result of a lock write on a part whose lock byte cannot be read back.
LockWrite ConfirmByEffect(Programmer& programmer, TargetUi& ui, std::uint8_t value) {
    const DeviceDescription& device = programmer.device;
    const std::uint8_t mode3 = device.lockBit1 | device.lockBit2;
    if (device.lockHidesSignature && mode3 != 0 && (value & mode3) == 0) {
        // Lock mode 3 on such a part replaces the signature; nothing else shows it took.
        const std::uint32_t now = ReadFullSignature(programmer);
        if (now == LockedSignature) {
            return LockWrite::Confirmed;
        }
        char text[160];
        std::snprintf(text, sizeof text,
                      "The lock byte was written as %02X, but the chip still answers signature "
                      "%06X: lock mode 3 did not take effect.",
                      static_cast<unsigned>(value), static_cast<unsigned>(now));
        ui.ShowMessage(MessageKind::Failure, text);
        return LockWrite::Failed;
    }
    if (!StillAnswers(programmer, ui)) {
        return LockWrite::Failed;
    }
    char text[160];
    std::snprintf(text, sizeof text,
                  "Lock byte %02X written; this part cannot read its lock bits back, so the "
                  "write is not confirmed.",
                  static_cast<unsigned>(value));
    ui.ShowMessage(MessageKind::Note, text);
    return LockWrite::Unconfirmed;
}

} // namespace

LockWrite WriteLockByte(Programmer& programmer, TargetUi& ui, std::uint8_t value) {
    if (!PrepareKnownTarget(programmer, ui)) {
        return LockWrite::Failed;
    }
    if (programmer.device.algorithm == Algorithm::PagesLockByte4) {
        WriteLockBitsByte4(programmer, value);
    } else {
        WriteLockBitsByte2(programmer, value);
    }
    // Released before the write time has passed, the chip drops the write.
    LockWrite result = LockWrite::Failed;
    if (!WaitWriteDone(programmer, FuseWriteWaitUs)) {
        ui.ShowMessage(MessageKind::Failure, "Writing the lock byte failed: the chip stayed busy.");
    } else if (!programmer.device.lockReadable) {
        result = ConfirmByEffect(programmer, ui, value);
    } else {
        const LockFuseLayout layout =
            LoadLockFuseLayout(programmer.DeviceDatabase(), programmer.device.name);
        const std::optional<std::uint8_t> read =
            ReadByteTwice(programmer, ui, "lock byte", ReadLockBits);
        if (read &&
            ReadBackMatches(ui, "lock byte", layout.BoxMask(LockFuseByte::Lock), value, *read) &&
            StillAnswers(programmer, ui)) {
            result = LockWrite::Confirmed;
        }
    }
    ReleaseTarget(programmer);
    return result;
}

bool WriteFuseBytes(Programmer& programmer, TargetUi& ui, const LockFuseLayout& layout,
                    const FuseBytes& values) {
    if (!PrepareKnownTarget(programmer, ui)) {
        return false;
    }
    // Writes one byte, waits for the chip and reads the byte back twice.
    const auto write = [&](const char* name, LockFuseByte byte, std::uint8_t value,
                           void (*send)(Programmer&, std::uint8_t),
                           std::uint8_t (*read)(Programmer&)) {
        send(programmer, value);
        if (!WaitWriteDone(programmer, FuseWriteWaitUs)) {
            ui.ShowMessage(MessageKind::Failure,
                           std::string("Writing the ") + name + " failed: the chip stayed busy.");
            return false;
        }
        const std::optional<std::uint8_t> readBack = ReadByteTwice(programmer, ui, name, read);
        return readBack && ReadBackMatches(ui, name, layout.BoxMask(byte), value, *readBack);
    };
    const auto sendLow = programmer.device.algorithm == Algorithm::PagesFuseByte2
                             ? +[](Programmer& p, std::uint8_t value) {
                                   WriteFuseBitsByte2(p, static_cast<std::uint8_t>((value & 0x0B) |
                                                                                   0xB4));
                               }
                             : +[](Programmer& p, std::uint8_t value) { WriteFuseBits(p, value); };
    bool done = write("fuse low byte", LockFuseByte::Fuse, values.low, sendLow, ReadFuseBits);
    if (done && layout.HasByte(LockFuseByte::FuseHigh)) {
        done = write("fuse high byte", LockFuseByte::FuseHigh, values.high, WriteFuseHighBits,
                     ReadFuseHighBits);
    }
    if (done && layout.HasByte(LockFuseByte::FuseExt)) {
        done = write("extended fuse byte", LockFuseByte::FuseExt, values.ext, WriteExtendedFuseBits,
                     ReadExtendedFuseBits);
    }
    done = done && StillAnswers(programmer, ui);
    ReleaseTarget(programmer);
    return done;
}

} // namespace zelk
