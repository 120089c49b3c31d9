// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/address_set.h"

#include <algorithm>

namespace zelk {

void AddressSet::Add(std::size_t begin, std::size_t end) {
    if (begin >= end) {
        return;
    }
    // The first range that ends at or after `begin` may touch it; those after it that begin at
    // or before `end` merge too.
    auto first =
        std::lower_bound(ranges.begin(), ranges.end(), begin,
                         [](const AddressRange& range, std::size_t at) { return range.end < at; });
    auto last = first;
    while (last != ranges.end() && last->begin <= end) {
        begin = std::min(begin, last->begin);
        end = std::max(end, last->end);
        ++last;
    }
    first = ranges.erase(first, last);
    ranges.insert(first, {begin, end});
}

bool AddressSet::Contains(std::size_t address) const {
    const auto range =
        std::upper_bound(ranges.begin(), ranges.end(), address,
                         [](std::size_t at, const AddressRange& r) { return at < r.end; });
    return range != ranges.end() && range->begin <= address;
}

} // namespace zelk
