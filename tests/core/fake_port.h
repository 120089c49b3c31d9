// SPDX-License-Identifier: GPL-3.0-or-later
// A parallel port for tests: logs every register access at its virtual time, derives the
// status register from the data pins (loop-back wires), and can play a target on the cable's
// SPI lines. Waits advance a virtual clock, so tests run instantly.
#pragma once

#include "engine/programmer.h"
#include "platform/port_io.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zelk::test {

class FakePort : public PortIo {
public:
    struct Access {
        PortRegister reg;
        bool isWrite;
        std::uint8_t value;
        std::int64_t atUs; // virtual time of the access
    };

    // A target on the SPI lines. It clocks MOSI in on each rising SCK edge while its reset
    // line is low and starts a fresh byte when reset is released; MISO shows the bit of the
    // byte it is shifting out from that edge on.
    struct SpiTarget {
        std::uint8_t sck = 0; // data bits
        std::uint8_t mosi = 0;
        std::uint8_t reset = 0;
        std::uint8_t miso = 0;    // status bit
        bool misoInverted = true; // the status bit reads the complement of the MISO pin
        // The byte to shift out during the next byte, given every byte received so far.
        std::function<std::uint8_t(const std::vector<std::uint8_t>& received)> respond;
        // Bits the target counts as already received when it leaves reset: out of step.
        int framingOffsetBits = 0;
    };

    // The status register as the data pins make it (default: every status pin low).
    std::function<std::uint8_t(std::uint8_t data)> statusFromData = [](std::uint8_t) {
        return std::uint8_t{0};
    };
    std::optional<SpiTarget> target;

    std::vector<Access> log;
    std::vector<std::uint8_t> received; // bytes the target clocked in
    std::uint8_t data = 0;
    std::uint8_t control = 0;
    std::int64_t nowUs = 0;

    void Write(PortRegister reg, std::uint8_t value) override {
        log.push_back({reg, true, value, nowUs});
        if (reg == PortRegister::Control) {
            control = value;
            return;
        }
        const std::uint8_t before = data;
        data = value;
        if (!target) {
            return;
        }
        if ((before & target->reset) == 0 && (value & target->reset) != 0) {
            bitCount = target->framingOffsetBits % 8;
            inByte = 0;
        } else if ((value & target->reset) == 0 && (before & target->sck) == 0 &&
                   (value & target->sck) != 0) {
            ClockBit((value & target->mosi) != 0);
        }
    }

    std::uint8_t Read(PortRegister reg) override {
        std::uint8_t value = reg == PortRegister::Status ? statusFromData(data)
                             : reg == PortRegister::Data ? data
                                                         : control;
        if (reg == PortRegister::Status && target) {
            const bool high = misoLevel != target->misoInverted;
            value = static_cast<std::uint8_t>(high ? value | target->miso : value & ~target->miso);
        }
        log.push_back({reg, false, value, nowUs});
        return value;
    }

    void Wait(std::int32_t microseconds) override { nowUs += microseconds; }

    std::vector<std::uint8_t> DataWrites() const {
        std::vector<std::uint8_t> values;
        for (const Access& access : log) {
            if (access.isWrite && access.reg == PortRegister::Data) {
                values.push_back(access.value);
            }
        }
        return values;
    }

    // How many times the data pins in `mask` went from all low to some high.
    int RisingEdges(std::uint8_t mask) const {
        int edges = 0;
        std::uint8_t previous = 0;
        for (std::uint8_t value : DataWrites()) {
            edges += (previous & mask) == 0 && (value & mask) != 0 ? 1 : 0;
            previous = value;
        }
        return edges;
    }

private:
    void ClockBit(bool mosi) {
        if (bitCount == 0) {
            outByte = target->respond ? target->respond(received) : 0xFF;
        }
        inByte = static_cast<std::uint8_t>((inByte << 1) | (mosi ? 1 : 0));
        misoLevel = ((outByte >> (7 - bitCount)) & 1) != 0;
        if (++bitCount == 8) {
            received.push_back(inByte);
            bitCount = 0;
            inByte = 0;
        }
    }

    int bitCount = 0;
    std::uint8_t inByte = 0;
    std::uint8_t outByte = 0xFF;
    bool misoLevel = true;
};

// A Programmer on `port`, with the port open. The test keeps the fake to look at afterwards.
inline std::unique_ptr<Programmer> ProgrammerOn(FakePort& port, int configuredCable = 0,
                                                const std::filesystem::path& database = {},
                                                std::int32_t sckHalfPeriodUs = 1) {
    class Forwarder : public PortIo {
    public:
        explicit Forwarder(FakePort& fake) : target(fake) {}
        void Write(PortRegister reg, std::uint8_t value) override { target.Write(reg, value); }
        std::uint8_t Read(PortRegister reg) override { return target.Read(reg); }
        void Wait(std::int32_t microseconds) override { target.Wait(microseconds); }

    private:
        FakePort& target;
    };
    auto programmer = std::make_unique<Programmer>(
        [&port](std::string&) -> std::unique_ptr<PortIo> {
            return std::make_unique<Forwarder>(port);
        },
        configuredCable, database, sckHalfPeriodUs);
    std::string ignored;
    programmer->OpenPort(ignored);
    return programmer;
}

} // namespace zelk::test
