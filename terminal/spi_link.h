// SPDX-License-Identifier: GPL-3.0-or-later
// What the SPI terminal needs of the programming cable: the port for itself, the target
// started, and one byte exchanged at a time.
#pragma once

#include <cstdint>
#include <string>

namespace zelk {

class SpiLink {
public:
    virtual ~SpiLink() = default;
    // Takes the port for the terminal. False, with the reason, when another command holds it
    // or it cannot be opened; then nothing else may be called until a later Acquire succeeds.
    virtual bool Acquire(std::string& reason) = 0;
    // Drivers on, data lines low, reset released: the target runs its own program.
    virtual void ResetAndRun() = 0;
    // One byte out and one in, most significant bit first, waiting `bitWaitUs` after each bit.
    virtual std::uint8_t Exchange(std::uint8_t out, std::int32_t bitWaitUs) = 0;
    // Gives the port back; the target keeps running.
    virtual void Release() = 0;
};

} // namespace zelk
