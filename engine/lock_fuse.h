// SPDX-License-Identifier: GPL-3.0-or-later
// The lock bits and fuses: the layout of the dialog built from the device's patterns in
// zelk.ini, the conversion between ticked boxes and the bytes on the chip, and the reads and
// writes on the target. A ticked box is a programmed bit, one that reads 0 on the chip.
#pragma once

#include "engine/device_database.h"
#include "engine/programmer.h"
#include "engine/target_ui.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zelk {

// The device's patterns: "LockBits" is a mode character and 8 bit characters, the three fuse
// patterns 8 bit characters each, most significant bit first. Empty when missing.
struct LockFusePatterns {
    std::string lockBits;
    std::string fuses;
    std::string fusesHi;
    std::string fusesExt;
};

enum class LockFuseByte { Lock = 0, Fuse = 1, FuseHigh = 2, FuseExt = 3 };

struct DialogRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const DialogRect&) const = default;
};

struct DialogPoint {
    int x = 0;
    int y = 0;
    bool operator==(const DialogPoint&) const = default;
};

struct LockFuseBox {
    LockFuseByte byte = LockFuseByte::Lock;
    int bit = 0;
    int id = 0; // 1000, 2000, 3000 or 4000 + 2^bit
    std::string label;
    DialogRect rect;
    bool groupStart = false; // the first box of its group: group start and tab stop
};

// Control ids of the dialog's fixed controls.
inline constexpr int LockGroupId = 1019;
inline constexpr int FuseGroupId = 1020;
inline constexpr int ReadLockBitsButtonId = 1023;
inline constexpr int WriteLockBitsButtonId = 1024;
inline constexpr int ReadFusesButtonId = 1025;
inline constexpr int WriteFusesButtonId = 1026;

// The dialog as its patterns lay it out; the widget places its controls where this says.
class LockFuseLayout {
public:
    LockFuseLayout(const LockFusePatterns& patterns, const BitLabels& lockBitNames,
                   const BitLabels& fuseNames);

    // Boxes in order: lock bits 0 to 7, then fuse, fuse high and extended fuse bits 0 to 7.
    const std::vector<LockFuseBox>& Boxes() const { return boxes; }

    // Whether the read and write instructions of a byte are used at all.
    bool HasByte(LockFuseByte byte) const { return hasByte[Index(byte)]; }

    bool lockGroupShown = false;
    bool readLockBitsShown = false; // hidden in "W" mode
    DialogRect lockGroup;
    DialogPoint writeLockBitsAt;
    DialogPoint readLockBitsAt;

    bool fuseGroupShown = false;
    DialogRect fuseGroup;
    DialogPoint writeFusesAt;
    DialogPoint readFusesAt;

    int width = 300;
    int height = 30;

    // Bits of a byte that have a box.
    std::uint8_t BoxMask(LockFuseByte byte) const;
    // The boxes ticked for a byte read from the chip: the box bits that read 0.
    std::uint8_t TicksFromChip(LockFuseByte byte, std::uint8_t chip) const;
    // The byte to send for the ticked boxes: a ticked box and a fuse "0" send 0; an unticked
    // box, "x" and a fuse "1" send 1.
    std::uint8_t ChipFromTicks(LockFuseByte byte, std::uint8_t ticks) const;

private:
    static std::size_t Index(LockFuseByte byte) { return static_cast<std::size_t>(byte); }

    // Bit characters of each byte, index = bit number; missing positions are "x".
    std::array<std::array<char, 8>, 4> bits{};
    std::array<bool, 4> hasByte{};
    std::vector<LockFuseBox> boxes;
};

// The layout for a device section of zelk.ini with the [LockBits] and [Fuses] labels. An
// empty name, or a missing file or section, gives the empty dialog.
LockFuseLayout LoadLockFuseLayout(const std::filesystem::path& ini, const std::string& deviceName);

// The three fuse bytes as the chip holds them (0 = programmed).
struct FuseBytes {
    std::uint8_t low = 0xFF;
    std::uint8_t high = 0xFF;
    std::uint8_t ext = 0xFF;
    bool operator==(const FuseBytes&) const = default;
};

// How a lock write ended: read back as written, written on a part that cannot show the
// result, or failed (the user was told why).
enum class LockWrite { Confirmed, Unconfirmed, Failed };

// Each prepares the target, reads or writes, and lets the target run again. The reads send
// an instruction only for a byte that has a pattern (others read 0xFF); each byte is read
// twice and the two must agree, and the chip must still give its signature at the end. The
// reads answer nullopt, and the writes false or Failed, when the target was not ready or any of
// that failed.
std::optional<std::uint8_t> ReadLockByte(Programmer& programmer, TargetUi& ui,
                                         const LockFuseLayout& layout);
std::optional<FuseBytes> ReadFuseBytes(Programmer& programmer, TargetUi& ui,
                                       const LockFuseLayout& layout);
// The same with the layout of the device the preparation finds.
std::optional<std::uint8_t> ReadLockByte(Programmer& programmer, TargetUi& ui);
std::optional<FuseBytes> ReadFuseBytes(Programmer& programmer, TargetUi& ui);
// The lock byte as sent; algorithm 3 takes the fourth-byte form, the others the second. Read
// back where the part can; on a part that cannot, lock mode 3 is confirmed by the hidden
// signature where the part hides it, and any other write is Unconfirmed (the user is told).
LockWrite WriteLockByte(Programmer& programmer, TargetUi& ui, std::uint8_t value);
// Writes the fuse byte, then the high and extended bytes the layout has, each read back.
bool WriteFuseBytes(Programmer& programmer, TargetUi& ui, const LockFuseLayout& layout,
                    const FuseBytes& values);

} // namespace zelk
