// SPDX-License-Identifier: GPL-3.0-or-later
// The programmer: the port with its cable, the data shadow, the bit timing and the device
// found on it. Every target operation takes the Programmer; nothing of it is process-wide, so
// whoever holds the object is the one user of the port.
#pragma once

#include "engine/cables.h"
#include "engine/device_database.h"
#include "platform/port_io.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zelk {

// The device found by the last successful lookup of its signature in zelk.ini. The name is
// cleared by every PrepareTarget; the numbers change only when a device matches.
struct DeviceDescription {
    std::string name;
    std::uint32_t programSize = 0;
    std::int32_t dataSize = 0;
    Algorithm algorithm = Algorithm::TimedBytes;
    std::uint16_t pageSize = 0;
    // The part answers Poll RDY/BSY, so its writes can end as soon as the chip is ready.
    bool pollReadyBusy = false;
    // The lock byte can be read back (its LockBits pattern's mode is not "W").
    bool lockReadable = false;
    // The lock bits LB1 and LB2; both programmed (lock mode 3), the memories cannot be read.
    std::uint8_t lockBit1 = 0;
    std::uint8_t lockBit2 = 0;
    // In lock mode 3 the part answers LockedSignature instead of its own.
    bool lockHidesSignature = false;
};

// A chip a command must find on the cable, or it refuses to touch it: the one named on the
// command line, or the one a file was built for.
struct DeviceRequirement {
    std::string device; // a [Devices] name, any case
    // Completes "The target is an ATmega168, not the ATmega328P ...": "that --device names".
    std::string because;
};

// What a user is told whose command finds the Programmer with another command's worker.
inline constexpr const char* TargetBusyMessage =
    "A command is still working on the target. Wait until it has finished.";

class Programmer {
public:
    // `openPort` is called when a command first needs the port. `configuredCable` is the
    // stored "Interface" choice that PrepareTarget checks against the cable it recognises.
    Programmer(PortOpener openPort, int configuredCable, std::filesystem::path deviceDatabase,
               std::int32_t sckHalfPeriodUs = 1);
    Programmer(const Programmer&) = delete;
    Programmer& operator=(const Programmer&) = delete;

    // Opens the port unless it is open. False, with the reason, when it cannot be opened.
    bool OpenPort(std::string& reason);
    // The open port, or null. Without one, line writes do nothing and reads give 0xFF.
    PortIo* Port() const { return port.get(); }

    // Busy-waits n microseconds on the port's clock (the monotonic clock for hardware);
    // never returns early, never sleeps. n <= 0 returns at once.
    void DelayUs(std::int32_t n);
    // Sum of every DelayUs argument: the waits the protocol itself asked for.
    std::uint64_t RequestedDelayUs() const { return requestedDelay; }

    // Sets (level non-zero) or clears the mask bits of the data shadow, writes it, then waits
    // the SCK half period.
    void SetLine(std::uint8_t mask, std::uint8_t level);
    // Sets the `high` bits and clears the `low` bits of the data shadow in one write, then
    // waits the SCK half period.
    void SetLines(std::uint8_t high, std::uint8_t low);
    // 1 when (status AND mask) is non-zero, complemented unless the cable reads MISO as read.
    int ReadStatusLine(std::uint8_t mask);
    // One bit of an SPI exchange, most significant first: MOSI set with SCK low, SCK raised
    // after the half period plus `extraUs`, MISO sampled, then the high half period. Returns
    // the MISO bit.
    int ClockBit(bool one, std::int32_t extraUs);
    // ClockBit for a bit whose answer nobody reads: the same edges without the status read.
    void ClockBitOut(bool one, std::int32_t extraUs);
    // SCK low without the half period: the next bit's low half period follows before SCK
    // rises again.
    void LowerSckNow();
    void PulseSck();
    void AssertReset();
    void ReleaseReset();
    void EnableDrivers();
    void DisableDrivers();
    // Loads the cable's pin map; 0 and unlisted types keep the map, CableNone clears it.
    void SelectCable(int type);
    // The type whose loop-back wires are found, else the cable without loop-backs. Leaves
    // the cable type at 3.
    int DetectCable();
    // Starts the target's own program with the drivers on (SPI terminal).
    void ResetAndRun();
    // Data shadow := 0; the next line operation writes it.
    void ClearDataShadow() { dataShadow = 0; }

    int CableType() const { return cableType; }
    const PinMap& Pins() const { return pinMap; }
    std::uint8_t DataShadow() const { return dataShadow; }
    int ConfiguredCable() const { return configuredCable; }
    const std::filesystem::path& DeviceDatabase() const { return deviceDatabase; }
    std::int32_t SckHalfPeriodUs() const { return sckHalfPeriod; }

    // The flag a long command checks between bytes and pages; non-zero asks it to stop. The
    // flag must outlive its use; null detaches it.
    void SetCancelFlag(const std::atomic<int>* flag) { cancelFlag = flag; }
    const std::atomic<int>* CancelFlag() const { return cancelFlag; }
    bool CancelRequested() const { return cancelFlag != nullptr && cancelFlag->load() != 0; }

    // Every write waits the data sheets' worst case, even on a part that can be polled.
    bool fixedWaits = false;
    // A read whose bytes the user keeps (a file, the image, the EEPROM AutoProgram writes
    // back) is read twice and must agree: one read cannot tell a noisy cable from the chip.
    bool confirmReads = true;
    // Checked by every command that needs a known device, before it touches the chip.
    std::vector<DeviceRequirement> requiredDevices;

    // Set by PrepareTarget.
    DeviceDescription device;
    // The chip answered LockedSignature, as a part that hides its signature when locked does.
    bool signatureHiddenByLock = false;
    // The three signature bytes read at identification, 0x1E950F.
    std::uint32_t signature = 0;
    std::uint16_t deviceCode = 0;
    int targetReady = 0;

private:
    void WriteData();
    void WriteControl(std::uint8_t value);
    void SetCableType(int type);
    // The rising edge of a bit: SCK high, MOSI kept.
    void RaiseSck();
    bool LoopBackFound(const LoopBack& wire);

    PortOpener openPort;
    std::unique_ptr<PortIo> port;
    int configuredCable;
    std::filesystem::path deviceDatabase;
    std::int32_t sckHalfPeriod;
    int cableType = CableAutoDetect;
    // The cable's MISO reaches the status bit uninverted; kept with cableType so that the bit
    // loop does not look the cable up.
    bool misoAsRead = false;
    PinMap pinMap;
    std::uint8_t dataShadow = 0;
    // What the data register holds: a write of the same value again is left out. Unknown
    // until the first write after the port was opened.
    std::optional<std::uint8_t> portData;
    std::uint64_t requestedDelay = 0;
    const std::atomic<int>* cancelFlag = nullptr;
};

} // namespace zelk
