// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for the kernel's ppdev driver, for tests only: loaded with LD_PRELOAD it answers
// open, ioctl and close for one configured /dev/parportN the way ppdev does (the real ioctl
// numbers of <linux/ppdev.h>, PPCLAIM before any register access else EINVAL, PPEXCL only
// before the claim, the control register's direction bit only through PPDATADIR) and hands the
// register values to the simulated cable and chip, which model the port's hardware-inverted
// bits. Directory and file reads under /proc/sys/dev/parport are redirected to a folder of the
// test's, and ioperm is refused and recorded, so a fall-back to direct port I/O shows.
//
// Configured by the environment:
//   ZELK_STANDIN_DEVICE  the device path answered ("/dev/parport0")
//   ZELK_STANDIN_PROC    the folder that stands for /proc/sys/dev/parport
//   ZELK_STANDIN_INI     the device database the simulated chip comes from
//   ZELK_STANDIN_CHIP    the device name and ZELK_STANDIN_STATE its state file
//   ZELK_STANDIN_CABLE   the cable on the port, 1 to 5
//   ZELK_STANDIN_FAULT   missing (ENOENT), denied (EACCES), nodev (ENODEV), busy (the claim
//                        waits until a signal interrupts it), interrupted (EINTR at once)
//   ZELK_STANDIN_SIM_FAULT  a fault of the simulated target ("no-echo=32": a silent chip)
//   ZELK_STANDIN_RECORD  a file the stand-in appends its events to, one a line; at close the
//                        register ioctls by request, then the registers and the claim
#include "engine/connection.h"
#include "engine/device_database.h"
#include "sim/sim_faults.h"
#include "sim/simulated_port.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/ioctl.h>
#include <linux/ppdev.h>
#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

template <typename Function> Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

std::string Setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

constexpr const char* ProcFolder = "/proc/sys/dev/parport";
constexpr unsigned char ControlDataInput = 0x20;

struct Port {
    std::mutex mutex;
    int fd = -1;
    bool claimed = false;
    bool exclusive = false;
    unsigned char data = 0;
    unsigned char control = 0x0C; // what Linux leaves: INIT high, data lines driven
    // The register ioctls since the port was opened, by request.
    unsigned long dataWrites = 0, controlWrites = 0, statusReads = 0, dataReads = 0,
                  controlReads = 0, directionChanges = 0;
    std::unique_ptr<zelk::SimulatedPort> sim;
};

Port& ThePort() {
    static Port port;
    return port;
}

void Record(const std::string& line) {
    const std::string file = Setting("ZELK_STANDIN_RECORD");
    if (file.empty()) {
        return;
    }
    if (std::FILE* out = std::fopen(file.c_str(), "a"); out != nullptr) {
        std::fprintf(out, "%s\n", line.c_str());
        std::fclose(out);
    }
}

std::string Hex(unsigned char value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(value));
    return text;
}

// The simulated cable and chip behind the port; null when the configuration names none.
std::unique_ptr<zelk::SimulatedPort> MakeChip() {
    zelk::DeviceDatabase database;
    std::string error;
    if (!database.Open(Setting("ZELK_STANDIN_INI"), error)) {
        Record("error " + error);
        return nullptr;
    }
    for (const zelk::DeviceEntry& entry : database.Devices()) {
        if (entry.name != Setting("ZELK_STANDIN_CHIP")) {
            continue;
        }
        zelk::SimConfig config;
        config.device = zelk::SimDeviceOf(entry);
        config.cableType = std::atoi(Setting("ZELK_STANDIN_CABLE").c_str());
        config.virtualTime = false; // the product busy-waits on the real clock
        config.stateFile = Setting("ZELK_STANDIN_STATE");
        if (const std::string fault = Setting("ZELK_STANDIN_SIM_FAULT");
            !fault.empty() && !zelk::ParseSimFault(fault, config.faults, error)) {
            Record("error " + error);
            return nullptr;
        }
        auto chip = zelk::MakeSimulatedPort(config, error);
        if (!chip) {
            Record("error " + error);
        }
        return chip;
    }
    Record("error no device " + Setting("ZELK_STANDIN_CHIP"));
    return nullptr;
}

int OpenPort(int flags) {
    const std::string fault = Setting("ZELK_STANDIN_FAULT");
    const int error = fault == "missing"  ? ENOENT
                      : fault == "denied" ? EACCES
                      : fault == "nodev"  ? ENODEV
                                          : 0;
    Record("open");
    if (error != 0) {
        errno = error;
        return -1;
    }
    // The chip is made before the lock is taken: reading its database closes files, and
    // close comes through here too.
    std::unique_ptr<zelk::SimulatedPort> chip = MakeChip();
    // A descriptor of its own, so that no other file takes the number while the port is open.
    const int fd = Next<int (*)(const char*, int, ...)>("open")("/dev/null", flags & O_CLOEXEC);
    Port& port = ThePort();
    const std::lock_guard lock(port.mutex);
    port.fd = fd;
    port.claimed = false;
    port.exclusive = false;
    port.dataWrites = port.controlWrites = port.statusReads = port.dataReads = port.controlReads =
        port.directionChanges = 0;
    port.sim = std::move(chip);
    return fd;
}

// A claim of a port another program holds waits, as parport_claim_or_block does, until a
// signal interrupts it.
int WaitForever() {
    sigset_t none;
    sigemptyset(&none);
    sigsuspend(&none);
    errno = EINTR;
    return -1;
}

int PortIoctl(Port& port, unsigned long request, void* argument) {
    if (request == PPCLAIM) {
        const std::string fault = Setting("ZELK_STANDIN_FAULT");
        if (fault == "busy") {
            Record("claim waits");
            return WaitForever();
        }
        if (fault == "interrupted") {
            errno = EINTR;
            return -1;
        }
        port.claimed = true;
        Record("claim");
        return 0;
    }
    if (request == PPEXCL) {
        if (port.claimed) {
            errno = EINVAL;
            return -1;
        }
        port.exclusive = true;
        return 0;
    }
    if (!port.claimed) {
        Record("register access without a claim");
        errno = EINVAL;
        return -1;
    }
    auto* byte = static_cast<unsigned char*>(argument);
    zelk::SimulatedPort* sim = port.sim.get();
    switch (request) {
    case PPRELEASE:
        port.claimed = false;
        Record("release");
        return 0;
    case PPWDATA:
        ++port.dataWrites;
        port.data = *byte;
        if (sim != nullptr) {
            sim->Write(zelk::PortRegister::Data, port.data);
        }
        return 0;
    case PPRDATA:
        ++port.dataReads;
        *byte = port.data;
        return 0;
    case PPWCONTROL:
        ++port.controlWrites;
        // parport_pc takes only the four bits that reach the connector; the direction bit
        // goes through PPDATADIR.
        if ((*byte & ~0x0F) != 0) {
            Record("control bits beyond the connector ignored " + Hex(*byte));
        }
        port.control = static_cast<unsigned char>((port.control & ~0x0F) | (*byte & 0x0F));
        break;
    case PPDATADIR:
        ++port.directionChanges;
        port.control = *static_cast<int*>(argument) != 0
                           ? static_cast<unsigned char>(port.control | ControlDataInput)
                           : static_cast<unsigned char>(port.control & ~ControlDataInput);
        break;
    case PPRCONTROL:
        ++port.controlReads;
        *byte = port.control;
        return 0;
    case PPRSTATUS:
        ++port.statusReads;
        *byte = sim != nullptr ? sim->Read(zelk::PortRegister::Status) : zelk::IdleStatus;
        return 0;
    default:
        errno = ENOTTY;
        return -1;
    }
    if (sim != nullptr) {
        sim->Write(zelk::PortRegister::Control, port.control);
    }
    return 0;
}

std::string Redirected(const char* path) {
    const std::string_view asked = path != nullptr ? path : "";
    const std::string root = Setting("ZELK_STANDIN_PROC");
    if (root.empty() || !asked.starts_with(ProcFolder)) {
        return {};
    }
    return root + std::string(asked.substr(std::strlen(ProcFolder)));
}

bool IsDevice(const char* path) {
    return path != nullptr && !Setting("ZELK_STANDIN_DEVICE").empty() &&
           Setting("ZELK_STANDIN_DEVICE") == path;
}

mode_t ModeOf(int flags, va_list arguments) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    if (IsDevice(path)) {
        return OpenPort(flags);
    }
    return Next<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

__attribute__((visibility("default"))) int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    if (IsDevice(path)) {
        return OpenPort(flags);
    }
    return Next<int (*)(const char*, int, ...)>("open64")(path, flags, mode);
}

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    Port& port = ThePort();
    {
        const std::lock_guard lock(port.mutex);
        if (fd == port.fd && fd >= 0 && request != PPCLAIM) {
            return PortIoctl(port, request, argument);
        }
    }
    if (fd == port.fd && fd >= 0) {
        // The claim may wait for a signal: the lock is not held meanwhile.
        return PortIoctl(port, request, argument);
    }
    return Next<int (*)(int, unsigned long, ...)>("ioctl")(fd, request, argument);
}

__attribute__((visibility("default"))) int close(int fd) {
    Port& port = ThePort();
    std::unique_ptr<zelk::SimulatedPort> chip;
    {
        const std::lock_guard lock(port.mutex);
        if (fd == port.fd && fd >= 0) {
            Record("ioctls wdata=" + std::to_string(port.dataWrites) +
                   " wcontrol=" + std::to_string(port.controlWrites) + " rstatus=" +
                   std::to_string(port.statusReads) + " rdata=" + std::to_string(port.dataReads) +
                   " rcontrol=" + std::to_string(port.controlReads) +
                   " datadir=" + std::to_string(port.directionChanges));
            Record(std::string("close data=") + Hex(port.data) + " control=" + Hex(port.control) +
                   (port.claimed ? " claimed" : " released"));
            chip = std::move(port.sim);
            port.fd = -1;
            port.claimed = false;
        }
    }
    chip.reset(); // saves the chip to its state file, which closes a file of its own
    return Next<int (*)(int)>("close")(fd);
}

__attribute__((visibility("default"))) FILE* fopen(const char* path, const char* mode) {
    const std::string redirected = Redirected(path);
    return Next<FILE* (*)(const char*, const char*)>("fopen")(
        redirected.empty() ? path : redirected.c_str(), mode);
}

__attribute__((visibility("default"))) FILE* fopen64(const char* path, const char* mode) {
    const std::string redirected = Redirected(path);
    return Next<FILE* (*)(const char*, const char*)>("fopen64")(
        redirected.empty() ? path : redirected.c_str(), mode);
}

// The standard library lists a directory through openat and fdopendir.
__attribute__((visibility("default"))) int openat(int dirfd, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    const std::string redirected = Redirected(path);
    return Next<int (*)(int, const char*, int, ...)>("openat")(
        dirfd, redirected.empty() ? path : redirected.c_str(), flags, mode);
}

__attribute__((visibility("default"))) int openat64(int dirfd, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    const std::string redirected = Redirected(path);
    return Next<int (*)(int, const char*, int, ...)>("openat64")(
        dirfd, redirected.empty() ? path : redirected.c_str(), flags, mode);
}

__attribute__((visibility("default"))) int ioperm(unsigned long, unsigned long, int) {
    Record("ioperm");
    errno = EPERM;
    return -1;
}

} // extern "C"
