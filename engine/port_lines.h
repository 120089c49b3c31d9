// Process-wide port state: the selected port, the cable's pin map, the data shadow byte, and
// the line operations built on them.
#pragma once

#include <cstdint>

namespace zelk {

inline constexpr int CableAutoDetect = 0;
inline constexpr int CableKestan = 1;
inline constexpr int CableAltera = 2;
inline constexpr int CableStk200 = 3;
inline constexpr int CableSp12 = 4;
inline constexpr int CableUsb = 5;
inline constexpr int CableNone = 0xFFFF;

struct PinMap {
    std::uint8_t miso = 0; // status register bit
    std::uint8_t mosi = 0; // data register bits from here on
    std::uint8_t sck = 0;
    std::uint8_t reset = 0;
    std::uint8_t reset2 = 0;
};

struct EngineState {
    int portIndex = 0;
    int cableType = 0;
    PinMap pinMap;
    std::uint8_t dataShadow = 0;
    std::uint16_t deviceCode = 0;
};

// The one engine state of the process.
EngineState& Engine();
// Back to the state at start (tests; the port backend is left as it is).
void ResetEngineState();

// Busy-waits n microseconds on the open port's clock (the monotonic clock for hardware);
// never returns early, never sleeps. n <= 0 returns at once.
void DelayUs(std::int32_t n);
// Sum of every DelayUs argument since start: the waits the protocol itself asked for.
std::uint64_t RequestedDelayMicroseconds();

void SetLine(std::uint8_t mask, std::uint8_t level);
int ReadStatusLine(std::uint8_t mask);
void PulseSck();
void AssertReset();
void ReleaseReset();
void EnableDrivers();
void DisableDrivers();
void SelectPort(int index);
void SelectCable(int type);
int DetectCable();
void ResetAndRun();

} // namespace zelk
