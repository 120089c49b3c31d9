#include "engine/lock_fuse.h"

#include "engine/command_support.h"
#include "engine/instructions.h"
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

std::optional<std::uint8_t> ReadLockByte(Programmer& programmer, TargetUi& ui,
                                         const LockFuseLayout& layout) {
    if (!PrepareKnownTarget(programmer, ui)) {
        return std::nullopt;
    }
    const std::uint8_t lock =
        layout.HasByte(LockFuseByte::Lock) ? ReadLockBits(programmer) : std::uint8_t{0xFF};
    ReleaseTarget(programmer);
    return lock;
}

std::optional<FuseBytes> ReadFuseBytes(Programmer& programmer, TargetUi& ui,
                                       const LockFuseLayout& layout) {
    if (!PrepareKnownTarget(programmer, ui)) {
        return std::nullopt;
    }
    FuseBytes fuses;
    if (layout.HasByte(LockFuseByte::Fuse)) {
        fuses.low = ReadFuseBits(programmer);
    }
    if (layout.HasByte(LockFuseByte::FuseHigh)) {
        fuses.high = ReadFuseHighBits(programmer);
    }
    if (layout.HasByte(LockFuseByte::FuseExt)) {
        fuses.ext = ReadExtendedFuseBits(programmer);
    }
    ReleaseTarget(programmer);
    return fuses;
}

bool WriteLockByte(Programmer& programmer, TargetUi& ui, std::uint8_t value) {
    if (!PrepareKnownTarget(programmer, ui)) {
        return false;
    }
    if (programmer.device.algorithm == Algorithm::PagesLockByte4) {
        WriteLockBitsByte4(programmer, value);
    } else {
        WriteLockBitsByte2(programmer, value);
    }
    // Released before the write time has passed, the chip drops the write.
    bool done = WaitWriteDone(programmer, FuseWriteWaitUs);
    if (!done) {
        ui.ShowMessage(MessageKind::Failure, "Writing the lock byte failed: the chip stayed busy.");
    } else {
        const LockFuseLayout layout =
            LoadLockFuseLayout(programmer.DeviceDatabase(), programmer.device.name);
        if (layout.readLockBitsShown) {
            done = ReadBackMatches(ui, "lock byte", layout.BoxMask(LockFuseByte::Lock), value,
                                   ReadLockBits(programmer));
        }
    }
    ReleaseTarget(programmer);
    return done;
}

bool WriteFuseBytes(Programmer& programmer, TargetUi& ui, const LockFuseLayout& layout,
                    const FuseBytes& values) {
    if (!PrepareKnownTarget(programmer, ui)) {
        return false;
    }
    const auto waitDone = [&](const char* name) {
        if (WaitWriteDone(programmer, FuseWriteWaitUs)) {
            return true;
        }
        ui.ShowMessage(MessageKind::Failure,
                       std::string("Writing the ") + name + " failed: the chip stayed busy.");
        return false;
    };
    const std::uint8_t mask = layout.BoxMask(LockFuseByte::Fuse);
    bool done = true;
    if (programmer.device.algorithm == Algorithm::PagesFuseByte2) {
        WriteFuseBitsByte2(programmer, static_cast<std::uint8_t>((values.low & 0x0B) | 0xB4));
    } else {
        WriteFuseBits(programmer, values.low);
    }
    done = waitDone("fuse low byte") &&
           ReadBackMatches(ui, "fuse low byte", mask, values.low, ReadFuseBits(programmer));
    if (done && layout.HasByte(LockFuseByte::FuseHigh)) {
        WriteFuseHighBits(programmer, values.high);
        done = waitDone("fuse high byte") &&
               ReadBackMatches(ui, "fuse high byte", layout.BoxMask(LockFuseByte::FuseHigh),
                               values.high, ReadFuseHighBits(programmer));
    }
    if (done && layout.HasByte(LockFuseByte::FuseExt)) {
        WriteExtendedFuseBits(programmer, values.ext);
        done = waitDone("extended fuse byte") &&
               ReadBackMatches(ui, "extended fuse byte", layout.BoxMask(LockFuseByte::FuseExt),
                               values.ext, ReadExtendedFuseBits(programmer));
    }
    ReleaseTarget(programmer);
    return done;
}

} // namespace zelk
