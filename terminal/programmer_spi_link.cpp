// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal/programmer_spi_link.h"

#include "engine/instructions.h"
#include "engine/programmer.h"

#include <utility>

namespace zelk {

bool ProgrammerSpiLink::Acquire(std::string& reason) {
    if (held) {
        return true;
    }
    if (!slot) {
        reason = TargetBusyMessage;
        return false;
    }
    if (!slot->OpenPort(reason)) {
        return false;
    }
    held = std::move(slot);
    return true;
}

void ProgrammerSpiLink::ResetAndRun() {
    held->ResetAndRun();
}

std::uint8_t ProgrammerSpiLink::Exchange(std::uint8_t out, std::int32_t bitWaitUs) {
    return SpiTransferSlow(*held, out, bitWaitUs);
}

void ProgrammerSpiLink::Release() {
    if (held) {
        slot = std::move(held);
    }
}

} // namespace zelk
