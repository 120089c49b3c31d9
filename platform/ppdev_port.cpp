// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ppdev_port.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <system_error>
#include <unistd.h>

namespace zelk {
namespace {

// Control bit 5 turns the data lines into inputs on a bidirectional port.
constexpr std::uint8_t ControlDataInput = 0x20;
// The control bits that reach the connector; ppdev keeps bit 4 (interrupt enable) to itself.
constexpr std::uint8_t ControlPinBits = 0x0F;

std::string HexAddress(std::uint16_t address) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%x", address);
    return text;
}

// The first number of base-addr (decimal); the second, when there is one, is the ECP base.
std::optional<std::uint16_t> ReadBaseAddress(const std::filesystem::path& file) {
    std::ifstream in(file);
    unsigned long value = 0;
    if (!(in >> value) || value > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

class PpdevPort : public PortIo {
public:
    explicit PpdevPort(int device) : fd(device) {}
    ~PpdevPort() override {
        ioctl(fd, PPRELEASE);
        close(fd);
    }
    PpdevPort(const PpdevPort&) = delete;
    PpdevPort& operator=(const PpdevPort&) = delete;

    void Write(PortRegister reg, std::uint8_t value) override {
        if (reg == PortRegister::Data) {
            ioctl(fd, PPWDATA, &value);
            return;
        }
        // The engine writes raw register values. parport_pc hands the control bits to the
        // register unchanged (the hardware inversion of STROBE, AUTOFEED and SELECT IN stays
        // the caller's business, as with direct I/O), but it takes the data direction only
        // through PPDATADIR, so bit 5 is split off here.
        const int input = (value & ControlDataInput) != 0 ? 1 : 0;
        if (input != dataInput) {
            ioctl(fd, PPDATADIR, &input);
            dataInput = input;
        }
        std::uint8_t pins = static_cast<std::uint8_t>(value & ControlPinBits);
        ioctl(fd, PPWCONTROL, &pins);
    }

    std::uint8_t Read(PortRegister reg) override {
        std::uint8_t value = 0xFF;
        switch (reg) {
        case PortRegister::Data:
            ioctl(fd, PPRDATA, &value);
            break;
        case PortRegister::Status:
            ioctl(fd, PPRSTATUS, &value);
            break;
        case PortRegister::Control:
            ioctl(fd, PPRCONTROL, &value);
            break;
        }
        return value;
    }

private:
    int fd;
    int dataInput = 0;
};

// The kernel waits for ever for a port another program holds; a claim not granted within
// this long is given up.
constexpr int ClaimWaitSeconds = 2;

extern "C" void OnClaimTimer(int) {}

// Claims the port. A timer signal to this thread ends a claim that waits longer than
// ClaimWaitSeconds: the ioctl then fails with EINTR, as it does for any signal without
// SA_RESTART. False, with the reason, when the claim was refused, timed out or interrupted.
bool ClaimWithin(int fd, const std::string& device, std::string& reason) {
    const int signal = SIGRTMIN;
    struct sigaction action = {};
    action.sa_handler = OnClaimTimer;
    sigemptyset(&action.sa_mask);
    struct sigaction previous = {};
    sigaction(signal, &action, &previous);
    sigevent event = {};
    // glibc 2.36 names the thread id field only through its union.
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = signal;
    event._sigev_un._tid = static_cast<pid_t>(::syscall(SYS_gettid));
    timer_t timer{};
    const bool timed = timer_create(CLOCK_MONOTONIC, &event, &timer) == 0;
    if (timed) {
        itimerspec wait = {};
        wait.it_value.tv_sec = ClaimWaitSeconds;
        timer_settime(timer, 0, &wait, nullptr);
    }
    const int claimed = ioctl(fd, PPCLAIM);
    const int error = errno;
    bool expired = false;
    if (timed) {
        itimerspec left = {};
        timer_gettime(timer, &left);
        expired = left.it_value.tv_sec == 0 && left.it_value.tv_nsec == 0;
        timer_delete(timer);
    }
    sigaction(signal, &previous, nullptr);
    if (claimed == 0) {
        return true;
    }
    if (error == EINTR && expired) {
        reason = device + ": the port is used by another program (not free within " +
                 std::to_string(ClaimWaitSeconds) + " s)";
    } else if (error == EINTR) {
        reason = device + ": the claim of the port was interrupted";
    } else {
        reason = device + ": cannot claim the port: " + std::strerror(error);
    }
    return false;
}

std::string OpenFailure(const std::string& device, int error) {
    std::string reason = device + ": " + std::strerror(error);
    if (error == EACCES || error == EPERM) {
        reason += ": add yourself to the lp group (sudo adduser $USER lp, then log in again)";
    } else if (error == ENOENT || error == ENODEV || error == ENXIO) {
        reason += ": load the ppdev module (sudo modprobe ppdev)";
    } else if (error == EBUSY) {
        reason += ": the port is used by another program";
    }
    return reason;
}

} // namespace

std::optional<int> FindParportNumber(const std::filesystem::path& procDir, std::uint16_t base,
                                     std::string& listing) {
    listing.clear();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(procDir, error)) {
        const std::string name = entry.path().filename().string();
        int number = 0;
        char tail = 0;
        if (std::sscanf(name.c_str(), "parport%d%c", &number, &tail) != 1 || number < 0) {
            continue;
        }
        const std::optional<std::uint16_t> address = ReadBaseAddress(entry.path() / "base-addr");
        if (!address) {
            continue;
        }
        if (*address == base) {
            return number;
        }
        listing += (listing.empty() ? "" : ", ") + name + " at " + HexAddress(*address);
    }
    if (listing.empty()) {
        listing = "none";
    }
    return std::nullopt;
}

std::unique_ptr<PortIo> OpenPpdevDevice(const std::string& device, std::string& reason) {
    const int fd = open(device.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        reason = OpenFailure(device, errno);
        return nullptr;
    }
    // No PPEXCL: it fails whenever the printer driver is bound to the port, and the claim
    // alone keeps every other driver off the port while it is held.
    if (!ClaimWithin(fd, device, reason)) {
        close(fd);
        return nullptr;
    }
    return std::make_unique<PpdevPort>(fd);
}

} // namespace zelk
