// SPDX-License-Identifier: GPL-3.0-or-later
// The SPI terminal's cable through the application's Programmer. Acquire takes the
// Programmer out of its slot and Release puts it back, so while the terminal holds the port
// no other command can reach it, and while the flash write worker holds it the slot is empty
// and the terminal is refused.
#pragma once

#include "engine/programmer.h"
#include "terminal/spi_link.h"

#include <memory>

namespace zelk {

class ProgrammerSpiLink : public SpiLink {
public:
    explicit ProgrammerSpiLink(std::unique_ptr<Programmer>& programmerSlot)
        : slot(programmerSlot) {}
    ~ProgrammerSpiLink() override { Release(); }
    ProgrammerSpiLink(const ProgrammerSpiLink&) = delete;
    ProgrammerSpiLink& operator=(const ProgrammerSpiLink&) = delete;

    bool Acquire(std::string& reason) override;
    void ResetAndRun() override;
    std::uint8_t Exchange(std::uint8_t out, std::int32_t bitWaitUs) override;
    void Release() override;

private:
    std::unique_ptr<Programmer>& slot;
    std::unique_ptr<Programmer> held;
};

} // namespace zelk
