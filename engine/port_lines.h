// Process-wide port state: the selected port, the cable's pin map, the data shadow byte, and
// the line operations built on them. The line operations act on the open port (see
// OpenSelectedPort in engine/port_io.h); without one they write nothing and read 0xFF.
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

// Sets (level non-zero) or clears the mask bits of the data shadow, writes it, waits 1 us.
void SetLine(std::uint8_t mask, std::uint8_t level);
// 1 when (status AND mask) is non-zero, complemented for every cable type but 3.
int ReadStatusLine(std::uint8_t mask);
void PulseSck();
void AssertReset();
void ReleaseReset();
void EnableDrivers();
void DisableDrivers();
// Port and cable changes are refused (false, nothing changes) while the port is claimed: the
// claim holder, the flash write worker, never changes them, so any caller then is a second
// user. Selecting another port index closes the open port.
bool SelectPort(int index);
// Loads the cable's pin map; 0 and unlisted types keep the map, CableNone clears it.
bool SelectCable(int type);
// 1, 2 or 3 by the loop-back wires found, else 4. Leaves the cable type at 3.
int DetectCable();
// Starts the target's own program with the drivers on (SPI terminal).
void ResetAndRun();

} // namespace zelk
