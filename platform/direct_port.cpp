// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/direct_port.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cerrno>
#include <cstring>
#include <sys/io.h>
#endif

namespace zelk {

#if defined(__x86_64__) || defined(__i386__)

namespace {

constexpr unsigned long RegisterCount = 3;

class DirectPort : public PortIo {
public:
    explicit DirectPort(std::uint16_t portBase) : base(portBase) {}
    ~DirectPort() override { ioperm(base, RegisterCount, 0); }
    DirectPort(const DirectPort&) = delete;
    DirectPort& operator=(const DirectPort&) = delete;

    void Write(PortRegister reg, std::uint8_t value) override { outb(value, Address(reg)); }
    std::uint8_t Read(PortRegister reg) override { return inb(Address(reg)); }

private:
    unsigned short Address(PortRegister reg) const {
        return static_cast<unsigned short>(base + static_cast<unsigned short>(reg));
    }

    std::uint16_t base;
};

} // namespace

std::unique_ptr<PortIo> OpenDirectPort(std::uint16_t base, std::string& reason) {
    if (ioperm(base, RegisterCount, 1) != 0) {
        reason = std::string("direct I/O: ") + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<DirectPort>(base);
}

#else

std::unique_ptr<PortIo> OpenDirectPort(std::uint16_t /*base*/, std::string& reason) {
    reason = "direct I/O: not available on this processor";
    return nullptr;
}

#endif

} // namespace zelk
