// The SPI terminal's cable through the engine's selected port, cable and claim.
#pragma once

#include "terminal/spi_link.h"

namespace zelk {

class EngineSpiLink : public SpiLink {
public:
    bool Acquire(std::string& reason) override;
    void ResetAndRun() override;
    std::uint8_t Exchange(std::uint8_t out, std::int32_t bitWaitUs) override;
    void Release() override;
};

} // namespace zelk
