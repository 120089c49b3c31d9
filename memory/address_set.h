// SPDX-License-Identifier: GPL-3.0-or-later
// Which addresses of an image hold a value someone gave it (a file, a read of the chip, the
// user's typing), as sorted ranges: a write or a verify touches those and no others, so that
// what a file leaves alone on a chip (calibration data in the EEPROM) stays as it is.
#pragma once

#include <cstddef>
#include <vector>

namespace zelk {

// Addresses begin to end - 1.
struct AddressRange {
    std::size_t begin = 0;
    std::size_t end = 0;
    friend bool operator==(const AddressRange&, const AddressRange&) = default;
};

class AddressSet {
public:
    AddressSet() = default;
    // Ranges in order, neither overlapping nor touching.
    explicit AddressSet(std::vector<AddressRange> sorted) : ranges(std::move(sorted)) {}

    // Adds begin to end - 1, merged with the ranges it overlaps or touches.
    void Add(std::size_t begin, std::size_t end);
    void Clear() { ranges.clear(); }

    bool Empty() const { return ranges.empty(); }
    bool Contains(std::size_t address) const;
    // In order, neither overlapping nor touching.
    const std::vector<AddressRange>& Ranges() const { return ranges; }
    friend bool operator==(const AddressSet&, const AddressSet&) = default;

private:
    std::vector<AddressRange> ranges;
};

} // namespace zelk
