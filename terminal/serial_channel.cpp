// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal/serial_channel.h"

#include "terminal/serial_ports.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace zelk {
namespace {

constexpr std::size_t ReceiveChunk = 1024;
constexpr int WriteStallMs = 2000;

struct SpeedCode {
    int bitsPerSecond;
    speed_t code;
};

constexpr std::array<SpeedCode, 18> Speeds = {{
    {300, B300},
    {600, B600},
    {1200, B1200},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {500000, B500000},
    {576000, B576000},
    {921600, B921600},
    {1000000, B1000000},
    {1500000, B1500000},
    {2000000, B2000000},
}};

bool SpeedFor(int bitsPerSecond, speed_t& code) {
    for (const SpeedCode& speed : Speeds) {
        if (speed.bitsPerSecond == bitsPerSecond) {
            code = speed.code;
            return true;
        }
    }
    return false;
}

tcflag_t SizeFlag(int dataBits) {
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

bool IsPseudoTerminal(int fd) {
    constexpr unsigned FirstPtyMajor = 136;
    constexpr unsigned LastPtyMajor = 143;
    struct stat device {};
    return ::fstat(fd, &device) == 0 && major(device.st_rdev) >= FirstPtyMajor &&
           major(device.st_rdev) <= LastPtyMajor;
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace

bool MakeRawSettings(const termios& base, const SerialLineSettings& settings, termios& out) {
    speed_t speed = 0;
    if (!SpeedFor(settings.speed, speed) || settings.dataBits < 5 || settings.dataBits > 8 ||
        settings.parity < ParityNone || settings.parity > ParitySpace ||
        settings.stopBits < StopBitsOne || settings.stopBits > StopBitsTwo) {
        return false;
    }
    // A UART sends one and a half stop bits only after five data bits.
    if (settings.stopBits == StopBitsOneAndHalf && settings.dataBits != 5) {
        return false;
    }
    out = base;
    // Raw both ways: whatever another program left (echo, line editing, CR/LF translation,
    // XON/XOFF, signal characters) would change the bytes that pass.
    cfmakeraw(&out);
    out.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
    out.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    out.c_cflag |= SizeFlag(settings.dataBits) | CREAD | CLOCAL;
    if (settings.parity != ParityNone) {
        out.c_cflag |= PARENB;
        out.c_iflag |= INPCK;
    }
    if (settings.parity == ParityOdd || settings.parity == ParityMark) {
        out.c_cflag |= PARODD;
    }
    if (settings.parity == ParityMark || settings.parity == ParitySpace) {
        out.c_cflag |= CMSPAR;
    }
    if (settings.stopBits != StopBitsOne) {
        out.c_cflag |= CSTOPB;
    }
    out.c_cc[VMIN] = 0;
    out.c_cc[VTIME] = 0;
    cfsetispeed(&out, speed);
    cfsetospeed(&out, speed);
    return true;
}

CSerialChannel::CSerialChannel(SerialEvents serialEvents) : events(std::move(serialEvents)) {}

CSerialChannel::~CSerialChannel() {
    Close();
}

bool CSerialChannel::Fail(const std::string& what, int errorNumber) {
    error = what;
    if (errorNumber != 0) {
        error += ": ";
        error += std::strerror(errorNumber);
    }
    Close();
    return false;
}

bool CSerialChannel::Open(const std::string& portName, const SerialLineSettings& settings,
                          const std::vector<SerialPortEntry>& ports) {
    Close();
    error.clear();
    const std::string path = SerialDevicePath(portName, ports);
    if (path.empty()) {
        error = portName.empty() ? "No port is selected" : "There is no port " + portName;
        return false;
    }
    // Non-blocking, so that opening does not wait for a carrier and a stalled port cannot
    // hold the caller forever.
    portFd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (portFd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!isatty(portFd)) {
        return Fail(path + " is not a serial port", 0);
    }
    if (::flock(portFd, LOCK_EX | LOCK_NB) != 0) {
        return Fail(path + " is in use by another program", errno == EWOULDBLOCK ? 0 : errno);
    }
    if (tcgetattr(portFd, &previous) != 0) {
        return Fail(path, errno);
    }
    restorePrevious = true;
    termios raw{};
    if (!MakeRawSettings(previous, settings, raw)) {
        return Fail(path + " cannot be set to these line settings", 0);
    }
    if (tcsetattr(portFd, TCSANOW, &raw) != 0) {
        return Fail(path, errno);
    }
    // tcsetattr succeeds when any one setting took; a port that kept another speed or format
    // (an adapter without 5 data bits) would pass garbage. A pseudo-terminal has no wire: it
    // reports 8 data bits without parity whatever it is given.
    constexpr tcflag_t Format = CSIZE | PARENB | PARODD | CSTOPB;
    termios applied{};
    if (tcgetattr(portFd, &applied) != 0 || cfgetospeed(&applied) != cfgetospeed(&raw) ||
        (!IsPseudoTerminal(portFd) && (applied.c_cflag & Format) != (raw.c_cflag & Format))) {
        return Fail(path + " refuses these line settings", 0);
    }
    exclusive = ::ioctl(portFd, TIOCEXCL) == 0;
    tcflush(portFd, TCIOFLUSH);

    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        return Fail("Cannot create the reader's wake-up pipe", errno);
    }
    wakeRead = wake[0];
    wakeWrite = wake[1];
    try {
        reader = std::thread(&CSerialChannel::ReaderThread, this);
    } catch (const std::system_error& failure) {
        return Fail("Cannot start the reader", failure.code().value());
    }
    return true;
}

void CSerialChannel::Close() {
    if (reader.joinable()) {
        const char wake = 1;
        while (::write(wakeWrite, &wake, 1) < 0 && errno == EINTR) {
        }
        reader.join();
    }
    CloseFd(wakeRead);
    CloseFd(wakeWrite);
    if (portFd >= 0) {
        if (restorePrevious) {
            tcsetattr(portFd, TCSANOW, &previous);
        }
        restorePrevious = false;
        if (exclusive) {
            // The exclusive mark outlives this descriptor while anyone else holds the device.
            ::ioctl(portFd, TIOCNXCL);
        }
        exclusive = false;
        CloseFd(portFd);
    }
}

bool CSerialChannel::Write(std::span<const std::uint8_t> bytes) {
    if (portFd < 0) {
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(portFd, bytes.data() + done, bytes.size() - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno != EAGAIN) {
            return false;
        }
        pollfd ready{portFd, POLLOUT, 0};
        int result = 0;
        do {
            result = ::poll(&ready, 1, WriteStallMs);
        } while (result < 0 && errno == EINTR);
        if (result <= 0 || (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return false;
        }
    }
    return true;
}

void CSerialChannel::ReaderThread() {
    std::array<std::uint8_t, ReceiveChunk> buffer{};
    for (;;) {
        std::array<pollfd, 2> waits{{{portFd, POLLIN, 0}, {wakeRead, POLLIN, 0}}};
        const int result = ::poll(waits.data(), waits.size(), -1);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (events.lost) {
                events.lost(std::string("Waiting for the port failed: ") + std::strerror(errno));
            }
            return;
        }
        if (waits[1].revents != 0) {
            return;
        }
        if (waits[0].revents == 0) {
            continue;
        }
        const ssize_t count = ::read(portFd, buffer.data(), buffer.size());
        if (count > 0) {
            if (events.received) {
                events.received(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + count));
            }
            continue;
        }
        if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        // End of file or an error on a port that said it was ready: the device is gone (a
        // USB adapter pulled, the far end of a pseudo-terminal closed).
        if (events.lost) {
            events.lost(count == 0 ? std::string("The port was closed by its device")
                                   : std::string("The port failed: ") + std::strerror(errno));
        }
        return;
    }
}

} // namespace zelk
