// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fuse_guard.h"

#include <optional>
#include <string_view>

namespace zelk {
namespace {

std::uint8_t ByteOf(const FuseBytes& bytes, LockFuseByte byte) {
    switch (byte) {
    case LockFuseByte::FuseHigh:
        return bytes.high;
    case LockFuseByte::FuseExt:
        return bytes.ext;
    default:
        return bytes.low;
    }
}

bool Programmed(const FuseBytes& bytes, LockFuseByte byte, int bit) {
    return (ByteOf(bytes, byte) & (1u << bit)) == 0;
}

// "FusesHi.7" and its kin; nullopt for anything else.
std::optional<std::pair<LockFuseByte, int>> ParseFuseBit(std::string_view text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos || dot + 2 != text.size() || text[dot + 1] < '0' ||
        text[dot + 1] > '7') {
        return std::nullopt;
    }
    const std::string_view name = text.substr(0, dot);
    const int bit = text[dot + 1] - '0';
    if (name == "Fuses") {
        return std::pair{LockFuseByte::Fuse, bit};
    }
    if (name == "FusesHi") {
        return std::pair{LockFuseByte::FuseHigh, bit};
    }
    if (name == "FusesExt") {
        return std::pair{LockFuseByte::FuseExt, bit};
    }
    return std::nullopt;
}

std::string Join(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names) {
        joined += (joined.empty() ? "" : ", ") + name;
    }
    return joined;
}

} // namespace

FuseGuard::FuseGuard(const DeviceEntry& device, const BitLabels& fuseNames) {
    for (const auto& [key, name] : {std::pair{&device.resetDisableFuse, "RSTDISBL"},
                                    std::pair{&device.debugWireFuse, "DWEN"}}) {
        if (const auto place = ParseFuseBit(*key)) {
            endsSerialProgramming.push_back({place->first, place->second, name});
        }
    }
    const std::pair<const std::string*, LockFuseByte> patterns[] = {
        {&device.fuses, LockFuseByte::Fuse},
        {&device.fusesHi, LockFuseByte::FuseHigh},
        {&device.fusesExt, LockFuseByte::FuseExt}};
    for (const auto& [pattern, byte] : patterns) {
        for (int bit = 0; bit < 8 && static_cast<std::size_t>(7 - bit) < pattern->size(); ++bit) {
            const auto label = fuseNames.find((*pattern)[static_cast<std::size_t>(7 - bit)]);
            if (label != fuseNames.end() &&
                (label->second.starts_with("CKSEL") || label->second.starts_with("CKDIV8"))) {
                const std::string& text = label->second;
                clock.push_back({byte, bit, text.substr(0, text.find(' '))});
            }
        }
    }
}

std::string FuseGuard::Warning(const FuseBytes& current, const FuseBytes& next) const {
    std::vector<std::string> ending;
    for (const Bit& bit : endsSerialProgramming) {
        if (Programmed(next, bit.byte, bit.bit) && !Programmed(current, bit.byte, bit.bit)) {
            ending.push_back(bit.name);
        }
    }
    std::vector<std::string> changed;
    for (const Bit& bit : clock) {
        if (Programmed(next, bit.byte, bit.bit) != Programmed(current, bit.byte, bit.bit)) {
            changed.push_back(bit.name);
        }
    }
    std::string warning;
    if (!ending.empty()) {
        warning += "Programming " + Join(ending) +
                   " ends serial programming: the chip can no longer be programmed through this "
                   "cable (only a high-voltage programmer brings it back).\n";
    }
    if (!changed.empty()) {
        warning += "Changing " + Join(changed) +
                   " gives the chip another clock: if the board does not provide that clock, "
                   "or it is too slow for the bit timing, the chip can no longer be programmed "
                   "through this cable.\n";
    }
    return warning;
}

std::string FuseGuard::Question(const FuseBytes& current, const FuseBytes& next) const {
    const std::string warning = Warning(current, next);
    return warning.empty() ? warning : warning + "Write the fuses all the same?";
}

} // namespace zelk
