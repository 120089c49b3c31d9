// A port that counts the register accesses it passes on to another: what a command costs on a
// real port, where every access is a bus cycle of one to a few microseconds and, through
// ppdev, an ioctl.
#pragma once

#include "platform/port_io.h"

#include <cstdint>
#include <memory>

namespace zelk {

struct PortAccessCounts {
    std::uint64_t dataWrites = 0;
    std::uint64_t controlWrites = 0;
    std::uint64_t reads = 0;

    std::uint64_t Writes() const { return dataWrites + controlWrites; }
    std::uint64_t Total() const { return Writes() + reads; }
    PortAccessCounts operator-(const PortAccessCounts& earlier) const {
        return {dataWrites - earlier.dataWrites, controlWrites - earlier.controlWrites,
                reads - earlier.reads};
    }
};

// Each access may also take time on the port behind (a simulated port on virtual time), as a
// bus cycle does, so that a polled write sees the time its polls take.
class CountingPort final : public PortIo {
public:
    // `counts` outlives the port: the Programmer that owns the port keeps it out of reach.
    CountingPort(std::unique_ptr<PortIo> port, PortAccessCounts& counts, std::int32_t accessUs = 0)
        : inner(std::move(port)), tally(counts), accessTime(accessUs) {}

    void Write(PortRegister reg, std::uint8_t value) override {
        ++(reg == PortRegister::Data ? tally.dataWrites : tally.controlWrites);
        inner->Write(reg, value);
        Take();
    }
    std::uint8_t Read(PortRegister reg) override {
        ++tally.reads;
        const std::uint8_t value = inner->Read(reg);
        Take();
        return value;
    }
    void Wait(std::int32_t microseconds) override { inner->Wait(microseconds); }

private:
    void Take() {
        if (accessTime > 0) {
            inner->Wait(accessTime);
        }
    }

    std::unique_ptr<PortIo> inner;
    PortAccessCounts& tally;
    std::int32_t accessTime;
};

} // namespace zelk
