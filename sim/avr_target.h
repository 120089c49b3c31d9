// SPDX-License-Identifier: GPL-3.0-or-later
// An AVR seen at its RESET, SCK, MOSI and MISO pins: serial programming mode while RESET is
// low, a small demo program answering on SPI while it runs.
#pragma once

#include "sim/chip_state.h"
#include "sim/sim_clock.h"
#include "sim/sim_device.h"
#include "sim/sim_faults.h"

#include <array>
#include <cstdint>
#include <memory>

namespace zelk {

// Write times in microseconds of a part whose section does not give them: the longest of
// the data sheets of the parts we list, so that an unknown part is never easier than a known
// one. Each stays below the wait a correct host makes (4.5 ms a flash byte, 25 ms a page,
// 15 ms an EEPROM byte, 50 ms an erase, 5 ms between fuse writes).
struct DefaultWriteTimes {
    static constexpr std::int32_t Flash = 4500;
    static constexpr std::int32_t Eeprom = 9000;
    static constexpr std::int32_t ChipErase = 9000;
    static constexpr std::int32_t Fuse = 4500;
};

struct AvrTimings {
    // From the falling edge of RESET (with SCK low) until Programming Enable is heard.
    static constexpr std::int64_t ResetToSerial = 20000;
    // From the end of a received byte until the running program has loaded its answer.
    static constexpr std::int64_t ProgramResponse = 20;
};

class AvrTarget {
public:
    AvrTarget(const SimDevice& entry, std::shared_ptr<ChipState> memories,
              const SimFaults& faultSet, const SimClock& simClock);

    // The levels at the target's pins; called whenever one of them may have changed.
    void SetPins(bool reset, bool sck, bool mosi);
    // The target's MISO pin: high when it drives it high or drives nothing (the pull-up).
    bool Miso() const { return misoLevel; }
    // Completes a write whose time is up (before the chip's memories are looked at).
    void Settle();

    const ChipState& Chip() const { return *chip; }

private:
    enum class Mode : std::uint8_t {
        Running,     // RESET high: the demo program answers on SPI
        Silent,      // RESET low but entered with SCK high, or removed: nothing is driven
        Programming, // RESET low with SCK low: the serial programming interface listens
    };
    enum class PendingWrite : std::uint8_t {
        None,
        FlashByte,
        FlashPage,
        Eeprom,
        Erase,
        Lock,
        FuseLow,
        FuseHigh,
        FuseExt
    };

    // Write times of this chip, stretched by the slow fault.
    struct WriteTimes {
        std::int64_t flash;
        std::int64_t eeprom;
        std::int64_t chipErase;
        std::int64_t fuse;
    };
    static WriteTimes TimesOf(const SimDevice& entry, double slowFactor);

    void ResetFell(bool sck);
    void ResetRose();
    // Microseconds since the last SCK edge, which this edge ends.
    std::int64_t PhaseEnded();
    bool PhaseLongEnough(std::int64_t microseconds) const;
    void ClockRose(bool mosi, bool lowPhaseLongEnough);
    void ClockFell(bool highPhaseLongEnough);
    void ByteReceived(std::uint8_t value);
    void ProgrammingByte(std::uint8_t value);
    void DemoByte(std::uint8_t value);
    std::uint8_t ReadResult(std::uint8_t echo);
    void Apply();
    void Execute();
    void StartWrite(PendingWrite kind, std::uint32_t address, std::uint8_t value,
                    std::int64_t duration);
    void ExecuteWrite();
    bool ResetPinDisabled();
    std::uint8_t LockBit1() const;
    std::uint8_t LockBit2() const;
    bool WritesLocked() const;
    bool ReadsLocked() const;
    std::uint32_t FlashAddress() const;

    SimDevice device;
    std::shared_ptr<ChipState> chip;
    const SimFaults& faults;
    const SimClock& clock;
    bool pageMode;
    bool hasFuseLow;
    bool hasFuseHigh;
    bool hasFuseExt;
    WriteTimes times;
    FuseBitMark resetDisable;
    FuseBitMark debugWire;

    bool resetLevel = true;
    bool sckLevel = false;
    bool misoLevel = true;
    Mode mode = Mode::Running;
    bool serialReady = false; // the power-up delay after RESET fell has passed
    bool removed = false;
    bool removeAtByteEnd = false;
    bool noEchoPending; // the no-echo fault still shifts each entry out of step
    std::int64_t resetFellAt = 0;
    std::int64_t sckEdgeAt = 0;

    // Shift registers of the byte in flight.
    std::uint8_t inShift = 0;
    std::uint8_t outShift = 0;
    int bitInByte = 0;
    // The bit taken at the rising edge, shifted in at the falling one, when the length of
    // both phases is known.
    bool bitSampled = false;
    bool sampledMosi = false;
    bool sampleGarbled = false;
    std::uint8_t nextOut = 0; // loaded into outShift when the byte ends
    std::uint64_t bytesExchanged = 0;
    std::uint64_t bytesSent = 0;

    // Programming mode: the four bytes of the instruction in flight.
    std::array<std::uint8_t, 4> frame{};
    int byteInFrame = 0;
    bool programmingEnabled = false;

    // The write in progress and when it ends.
    PendingWrite pending = PendingWrite::None;
    std::uint32_t pendingAddress = 0;
    std::uint8_t pendingValue = 0;
    std::int64_t busyUntil = 0;
    std::array<std::uint8_t, MaxSimPageSize> pageBuffer;

    // Running program: the byte it loads into SPDR after each received byte, and when.
    bool spdrLoadPending = false;
    std::uint8_t spdrNext = 0;
    std::int64_t spdrReadyAt = 0;
};

} // namespace zelk
