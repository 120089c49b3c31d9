// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/avr_target.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace zelk {
namespace {

constexpr std::uint8_t ProgrammingEnable1 = 0xAC;
constexpr std::uint8_t ProgrammingEnable2 = 0x53;
constexpr std::uint8_t PollReadyBusy = 0xF0;
constexpr int FrameBits = 32;
// The data sheets want each SCK phase longer than two CPU clocks below 12 MHz, three above.
constexpr std::uint64_t FastClockHz = 12000000;
// Any phase this long is long enough for every clock the fault accepts.
constexpr std::int64_t SurelyLongEnoughUs = 1000000;

std::uint8_t UpperCase(std::uint8_t c) {
    return (c >= 'a' && c <= 'z') ? static_cast<std::uint8_t>(c - 'a' + 'A') : c;
}

} // namespace

AvrTarget::AvrTarget(const SimDevice& entry, std::shared_ptr<ChipState> memories,
                     const SimFaults& faultSet, const SimClock& simClock)
    : device(entry), chip(std::move(memories)), faults(faultSet), clock(simClock),
      pageMode(entry.algorithm == 2 || entry.algorithm == 3), hasFuseLow(!entry.fuses.empty()),
      hasFuseHigh(!entry.fusesHi.empty()), hasFuseExt(!entry.fusesExt.empty()),
      times(TimesOf(entry, faultSet.slowFactor)),
      resetDisable(ParseFuseBitMark(entry.resetDisableFuse).value_or(FuseBitMark{})),
      debugWire(ParseFuseBitMark(entry.debugWireFuse).value_or(FuseBitMark{})),
      noEchoPending(faultSet.noEchoAttempts > 0 && faultSet.noEchoAttempts < FrameBits) {
    pageBuffer.fill(0xFF);
    if (faults.removeAfterBytes && *faults.removeAfterBytes == 0) {
        removed = true;
        mode = Mode::Silent;
    }
}

AvrTarget::WriteTimes AvrTarget::TimesOf(const SimDevice& entry, double slowFactor) {
    const auto stretched = [slowFactor](std::int32_t given, std::int32_t fallback) {
        const double us = static_cast<double>(given > 0 ? given : fallback) * slowFactor;
        return static_cast<std::int64_t>(std::ceil(us));
    };
    return {stretched(entry.flashWriteUs, DefaultWriteTimes::Flash),
            stretched(entry.eepromWriteUs, DefaultWriteTimes::Eeprom),
            stretched(entry.chipEraseUs, DefaultWriteTimes::ChipErase),
            stretched(entry.fuseWriteUs, DefaultWriteTimes::Fuse)};
}

void AvrTarget::SetPins(bool reset, bool sck, bool mosi) {
    if (removed) {
        return;
    }
    // A write that drops SCK and RESET together counts SCK as low when RESET falls; one
    // that raises SCK with RESET raises it after RESET has moved.
    if (!sck && sckLevel) {
        sckLevel = false;
        ClockFell(PhaseLongEnough(PhaseEnded()));
    }
    if (reset != resetLevel) {
        resetLevel = reset;
        if (reset) {
            ResetRose();
        } else {
            ResetFell(sck);
        }
    }
    if (sck && !sckLevel) {
        sckLevel = true;
        ClockRose(mosi, PhaseLongEnough(PhaseEnded()));
    }
}

std::int64_t AvrTarget::PhaseEnded() {
    // Only a target with a known clock can miss a short phase. Without one the clock is not
    // read: on real time a clock read costs more than the rest of the edge.
    if (faults.clockHz == 0) {
        return SurelyLongEnoughUs;
    }
    const std::int64_t now = clock.NowUs();
    const std::int64_t phase = now - sckEdgeAt;
    sckEdgeAt = now;
    return phase;
}

bool AvrTarget::PhaseLongEnough(std::int64_t microseconds) const {
    if (faults.clockHz == 0 || microseconds >= SurelyLongEnoughUs) {
        return true;
    }
    const std::uint64_t cycles = faults.clockHz < FastClockHz ? 2 : 3;
    return microseconds > 0 &&
           static_cast<std::uint64_t>(microseconds) * faults.clockHz > cycles * 1000000;
}

bool AvrTarget::ResetPinDisabled() {
    Settle(); // a fuse write whose time is up counts from this reset on
    return resetDisable.ProgrammedIn(*chip) || debugWire.ProgrammedIn(*chip);
}

void AvrTarget::ResetFell(bool sck) {
    misoLevel = true;
    resetFellAt = clock.NowUs();
    serialReady = false;
    programmingEnabled = false;
    inShift = 0;
    outShift = 0;
    nextOut = 0;
    bitInByte = 0;
    bitSampled = false;
    byteInFrame = 0;
    frame.fill(0);
    if (ResetPinDisabled()) {
        // The pin is now an input of the running program (or the debugWIRE line): RESET low
        // neither stops the program nor starts serial programming, and the demo program
        // keeps off the SPI lines while that input is low.
        mode = Mode::Silent;
        return;
    }
    // Serial programming starts only when SCK is low as RESET goes low.
    mode = sck ? Mode::Silent : Mode::Programming;
    if (mode != Mode::Programming) {
        return;
    }
    if (faults.noEchoAttempts >= FrameBits) {
        mode = Mode::Silent;
    } else if (noEchoPending) {
        // Until the first successful entry, start the frame so many bits late that one SCK
        // pulse per failed attempt brings it into step after noEchoAttempts attempts.
        const int offset = FrameBits - faults.noEchoAttempts;
        byteInFrame = offset / 8;
        bitInByte = offset % 8;
    }
}

void AvrTarget::ResetRose() {
    // The demo program starts with SPDR empty and MISO as an output.
    mode = Mode::Running;
    inShift = 0;
    outShift = 0;
    nextOut = 0;
    bitInByte = 0;
    bitSampled = false;
    misoLevel = false;
    spdrLoadPending = false;
}

void AvrTarget::ClockRose(bool mosi, bool lowPhaseLongEnough) {
    switch (mode) {
    case Mode::Silent:
        return;
    case Mode::Programming:
        if (!serialReady) {
            if (clock.NowUs() - resetFellAt < AvrTimings::ResetToSerial) {
                return;
            }
            serialReady = true;
            misoLevel = (outShift << bitInByte & 0x80) != 0;
        }
        break;
    case Mode::Running:
        if (bitInByte == 0 && spdrLoadPending) {
            // A program that writes SPDR while a byte is already being shifted collides
            // and its byte is lost; the shift register then sends what it received.
            spdrLoadPending = false;
            if (clock.NowUs() >= spdrReadyAt) {
                outShift = spdrNext;
                misoLevel = (outShift & 0x80) != 0;
            }
        }
        break;
    }
    if (bitInByte == 0) {
        ++bytesSent;
        if ((faults.bitErrorAtByte && bytesSent == *faults.bitErrorAtByte) ||
            (faults.noiseEveryBytes && bytesSent % *faults.noiseEveryBytes == 0)) {
            outShift ^= 0x01;
        }
    }
    sampledMosi = mosi;
    sampleGarbled = !lowPhaseLongEnough;
    bitSampled = true;
    ++bitInByte;
}

void AvrTarget::ClockFell(bool highPhaseLongEnough) {
    if (mode == Mode::Silent || (mode == Mode::Programming && !serialReady) || !bitSampled) {
        return;
    }
    bitSampled = false;
    // A phase too short for the target's clock loses the bit: it reads the wrong level.
    const bool garbled = sampleGarbled || !highPhaseLongEnough;
    inShift = static_cast<std::uint8_t>(inShift << 1 | (sampledMosi != garbled ? 1 : 0));
    if (bitInByte == 8) {
        ByteReceived(inShift);
        if (removeAtByteEnd) {
            removed = true;
            mode = Mode::Silent;
            misoLevel = true;
            return;
        }
        bitInByte = 0;
        outShift = nextOut;
        misoLevel = (outShift & 0x80) != 0;
    } else {
        misoLevel = (outShift << bitInByte & 0x80) != 0;
    }
}

void AvrTarget::ByteReceived(std::uint8_t value) {
    ++bytesExchanged;
    if (faults.removeAfterBytes && bytesExchanged >= *faults.removeAfterBytes) {
        removeAtByteEnd = true;
    }
    if (mode == Mode::Programming) {
        ProgrammingByte(value);
    } else {
        DemoByte(value);
    }
}

void AvrTarget::ProgrammingByte(std::uint8_t value) {
    // As the data sheets' instruction tables show, the interface sends back byte N - 1 of the
    // instruction while byte N comes in (so Programming Enable echoes its 0x53 during the
    // third byte), and a read's result in place of the fourth. Between instructions it sends
    // 0x00. Until programming is enabled it answers only an instruction that began with
    // 0xAC, Programming Enable's first byte: out of step, the bytes it sees are shifted and
    // it stays quiet, which is how the host finds step.
    frame[static_cast<std::size_t>(byteInFrame)] = value;
    ++byteInFrame;
    if (byteInFrame == 4) {
        byteInFrame = 0;
        nextOut = 0x00;
        Execute();
        return;
    }
    const bool answering = programmingEnabled || frame[0] == ProgrammingEnable1;
    nextOut = answering ? value : std::uint8_t{0x00};
    if (byteInFrame == 3 && programmingEnabled) {
        nextOut = ReadResult(value);
    }
}

void AvrTarget::DemoByte(std::uint8_t value) {
    // The demo program answers each byte with its upper-case form in the next exchange; a
    // zero byte is answered with zero, so a typed character comes back followed by 0.
    nextOut = value;
    spdrNext = UpperCase(value);
    spdrLoadPending = true;
    spdrReadyAt = clock.NowUs() + AvrTimings::ProgramResponse;
}

std::uint32_t AvrTarget::FlashAddress() const {
    const std::uint32_t word = static_cast<std::uint32_t>(frame[1]) << 8 | frame[2];
    const std::uint32_t highByte = (frame[0] >> 3) & 1U;
    return (word * 2 + highByte) % device.programSize;
}

std::uint8_t AvrTarget::ReadResult(std::uint8_t echo) {
    Settle();
    switch (frame[0]) {
    case 0x20:
    case 0x28: {
        if (ReadsLocked()) {
            return echo; // verification is disabled: no result replaces the echo
        }
        const std::uint32_t address = FlashAddress();
        if (pending == PendingWrite::FlashByte && pendingAddress == address) {
            return 0x7F; // data polling: the location is being programmed
        }
        if (pending == PendingWrite::FlashPage && address >= pendingAddress &&
            address < pendingAddress + device.pageSize) {
            return 0xFF; // the page being programmed
        }
        return chip->flash[address];
    }
    case 0xA0: {
        if (ReadsLocked()) {
            return echo;
        }
        if (chip->eeprom.empty()) {
            return 0xFF;
        }
        const std::uint32_t address = (static_cast<std::uint32_t>(frame[1]) << 8 | frame[2]) %
                                      static_cast<std::uint32_t>(chip->eeprom.size());
        if (pending == PendingWrite::Eeprom && pendingAddress == address) {
            return 0xFF;
        }
        return chip->eeprom[address];
    }
    case 0x30: {
        const int index = frame[2] & 3;
        if (device.lockHidesSignature && index < 3 &&
            (chip->lock & (LockBit1() | LockBit2())) == 0) {
            return static_cast<std::uint8_t>(index); // lock mode 3 reads 00 01 02
        }
        return index == 3 ? std::uint8_t{0xFF}
                          : static_cast<std::uint8_t>(device.signature >> (16 - 8 * index));
    }
    case 0x58:
        if ((frame[1] & 0x08) != 0) {
            return hasFuseHigh ? chip->fuseHigh : 0xFF;
        }
        return chip->lock;
    case 0x50:
        if ((frame[1] & 0x08) != 0) {
            return hasFuseExt ? chip->fuseExt : 0xFF;
        }
        return hasFuseLow ? chip->fuseLow : 0xFF;
    case PollReadyBusy:
        if (device.pollReadyBusy) {
            return pending != PendingWrite::None ? 0x01 : 0x00;
        }
        return echo;
    default:
        return echo; // an instruction the part does not know
    }
}

void AvrTarget::Execute() {
    if (!programmingEnabled) {
        programmingEnabled = frame[0] == ProgrammingEnable1 && frame[1] == ProgrammingEnable2;
        noEchoPending = noEchoPending && !programmingEnabled;
        return;
    }
    Settle();
    ExecuteWrite();
}

void AvrTarget::ExecuteWrite() {
    const std::uint8_t op = frame[0];
    const std::uint8_t b2 = frame[1];
    const std::uint8_t b4 = frame[3];
    if (op == 0xAC) {
        if (b2 == ProgrammingEnable2) {
            return;
        }
        if ((b2 & 0xE0) == 0x80) {
            StartWrite(PendingWrite::Erase, 0, 0, times.chipErase);
        } else if (device.algorithm == 2 && (b2 & 0xF0) == 0xB0) {
            // The older parts carry their fuse bits 0, 1 and 3 in the second byte.
            if (hasFuseLow) {
                const auto value = static_cast<std::uint8_t>((chip->fuseLow & ~0x0B) | (b2 & 0x0B));
                StartWrite(PendingWrite::FuseLow, 0, value, times.fuse);
            }
        } else if (b2 == 0xA0) {
            if (hasFuseLow) {
                StartWrite(PendingWrite::FuseLow, 0, b4, times.fuse);
            }
        } else if (b2 == 0xA8) {
            if (hasFuseHigh) {
                StartWrite(PendingWrite::FuseHigh, 0, b4, times.fuse);
            }
        } else if (b2 == 0xA4) {
            if (hasFuseExt) {
                StartWrite(PendingWrite::FuseExt, 0, b4, times.fuse);
            }
        } else if ((b2 & 0xE0) == 0xE0) {
            // Algorithm 3 parts take the lock byte in the fourth byte; the others take lock
            // bits 1 and 2 in the second.
            const auto value = device.algorithm == 3 ? b4 : static_cast<std::uint8_t>(b2 | 0xF9);
            StartWrite(PendingWrite::Lock, 0, value, times.fuse);
        }
        return;
    }
    if ((op & 0xF7) == 0x40) {
        if (!pageMode) {
            if (!WritesLocked()) {
                StartWrite(PendingWrite::FlashByte, FlashAddress(), b4, times.flash);
            }
        } else if (pending == PendingWrite::None) {
            const std::uint32_t wordsPerPage = device.pageSize / 2U;
            const std::uint32_t offset = (frame[2] & (wordsPerPage - 1)) * 2 + ((op >> 3) & 1U);
            pageBuffer[offset] = b4;
        }
    } else if (op == 0x4C && pageMode) {
        if (!WritesLocked()) {
            const std::uint32_t word = static_cast<std::uint32_t>(b2) << 8 | frame[2];
            const std::uint32_t start = (word * 2 % device.programSize) & ~(device.pageSize - 1U);
            StartWrite(PendingWrite::FlashPage, start, 0, times.flash);
        }
    } else if (op == 0xC0 && !chip->eeprom.empty()) {
        if (!WritesLocked()) {
            const std::uint32_t address = (static_cast<std::uint32_t>(b2) << 8 | frame[2]) %
                                          static_cast<std::uint32_t>(chip->eeprom.size());
            StartWrite(PendingWrite::Eeprom, address, b4, times.eeprom);
        }
    }
}

// Algorithm 3 parts keep LB1 and LB2 in bits 0 and 1 of the lock byte, the others, which
// take them in the second instruction byte, in bits 1 and 2.
std::uint8_t AvrTarget::LockBit1() const {
    return device.algorithm == 3 ? 0x01 : 0x02;
}

std::uint8_t AvrTarget::LockBit2() const {
    return device.algorithm == 3 ? 0x02 : 0x04;
}

bool AvrTarget::WritesLocked() const {
    // Lock modes 2 and 3 disable further programming of flash and EEPROM.
    const std::uint8_t lockBits = LockBit1() | LockBit2();
    return (chip->lock & lockBits) != lockBits;
}

bool AvrTarget::ReadsLocked() const {
    // Lock mode 3 (LB2 programmed too) also disables their verification.
    return (chip->lock & LockBit2()) == 0;
}

void AvrTarget::StartWrite(PendingWrite kind, std::uint32_t address, std::uint8_t value,
                           std::int64_t duration) {
    if (pending != PendingWrite::None) {
        return; // the chip is still busy: the instruction is lost, as on silicon
    }
    pending = kind;
    pendingAddress = address;
    pendingValue = value;
    busyUntil =
        faults.stuckBusy ? std::numeric_limits<std::int64_t>::max() : clock.NowUs() + duration;
}

void AvrTarget::Settle() {
    if (pending == PendingWrite::None || clock.NowUs() < busyUntil) {
        return;
    }
    Apply();
    pending = PendingWrite::None;
}

void AvrTarget::Apply() {
    ChipState& c = *chip;
    switch (pending) {
    case PendingWrite::None:
        break;
    case PendingWrite::FlashByte:
        // Programming only clears bits; only an erase sets them again.
        c.flash[pendingAddress] &= pendingValue;
        break;
    case PendingWrite::FlashPage:
        for (std::uint32_t i = 0; i < device.pageSize; ++i) {
            c.flash[pendingAddress + i] &= pageBuffer[i];
        }
        pageBuffer.fill(0xFF);
        break;
    case PendingWrite::Eeprom:
        c.eeprom[pendingAddress] = pendingValue;
        break;
    case PendingWrite::Erase:
        std::fill(c.flash.begin(), c.flash.end(), std::uint8_t{0xFF});
        std::fill(c.eeprom.begin(), c.eeprom.end(), std::uint8_t{0xFF});
        c.lock = 0xFF;
        break;
    case PendingWrite::Lock:
        c.lock &= pendingValue; // lock bits are programmed, never cleared, until an erase
        break;
    case PendingWrite::FuseLow:
        c.fuseLow = pendingValue;
        break;
    case PendingWrite::FuseHigh:
        c.fuseHigh = pendingValue;
        break;
    case PendingWrite::FuseExt:
        c.fuseExt = pendingValue;
        break;
    }
}

} // namespace zelk
