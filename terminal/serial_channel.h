// SPDX-License-Identifier: GPL-3.0-or-later
// One serial port: raw line settings of our own, a reader thread that hands every burst of
// received bytes to its owner, and writes from the owner's thread.
#pragma once

#include "terminal/serial_ports.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <termios.h>
#include <thread>
#include <vector>

namespace zelk {

// Line codes as the terminal's lists hold them.
enum SerialParity : int {
    ParityNone = 0,
    ParityOdd = 1,
    ParityEven = 2,
    ParityMark = 3,
    ParitySpace = 4
};
enum SerialStopBits : int { StopBitsOne = 0, StopBitsOneAndHalf = 1, StopBitsTwo = 2 };

struct SerialLineSettings {
    int speed = 9600;
    int parity = ParityNone;
    int dataBits = 8;
    int stopBits = StopBitsOne;
};

// What the reader thread reports. Both run on the reader thread: an owner with a thread of
// its own passes them on (queued) and must not wait there for anything the owner's thread
// does while it closes the channel.
struct SerialEvents {
    // Every byte read, zero bytes included, in order.
    std::function<void(std::vector<std::uint8_t> bytes)> received;
    // The device went away or failed; the reader has ended. The channel stays open until
    // Close, and writes fail.
    std::function<void(const std::string& reason)> lost;
};

class CSerialChannel {
public:
    explicit CSerialChannel(SerialEvents events);
    ~CSerialChannel();
    CSerialChannel(const CSerialChannel&) = delete;
    CSerialChannel& operator=(const CSerialChannel&) = delete;

    // Opens the port by its name in `ports` (see serial_ports.h) or a device path, applies the
    // settings and starts the reader. An open channel is closed first. False, with Error()
    // saying why, leaves the channel closed.
    bool Open(const std::string& portName, const SerialLineSettings& settings,
              const std::vector<SerialPortEntry>& ports = {});
    // Ends the reader (waiting until it has), restores the port's previous settings and
    // closes it. Closing a closed channel does nothing.
    void Close();
    // Writes every byte, retrying after signals; false when the channel is closed, the device
    // failed, or the port takes nothing for two seconds.
    bool Write(std::span<const std::uint8_t> bytes);

    bool IsOpen() const { return portFd >= 0; }
    const std::string& Error() const { return error; }

private:
    bool Fail(const std::string& what, int errorNumber);
    void ReaderThread();

    SerialEvents events;
    int portFd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    bool exclusive = false;
    bool restorePrevious = false;
    termios previous{};
    std::thread reader;
    std::string error;
};

// The termios of `settings` applied over `base`: raw bytes both ways, no flow control, the
// receiver on, modem lines ignored. False for a speed, data bits, parity or stop bits the
// port cannot have.
bool MakeRawSettings(const termios& base, const SerialLineSettings& settings, termios& out);

} // namespace zelk
