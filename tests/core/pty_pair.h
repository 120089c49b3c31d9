// SPDX-License-Identifier: GPL-3.0-or-later
// A pseudo-terminal pair: the port end a serial channel opens, and the far end a test
// writes and reads as the device would.
#pragma once

#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace zelk::testing {

class PtyPair {
public:
    PtyPair() {
        std::array<char, 128> name{};
        if (::openpty(&far, &port, name.data(), nullptr, nullptr) == 0) {
            path = name.data();
        }
    }
    ~PtyPair() {
        CloseFar();
        if (port >= 0) {
            ::close(port);
        }
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    void Send(const std::vector<std::uint8_t>& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(far, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EINTR) {
                return;
            }
        }
    }
    // What the far end has received within the time, up to `count` bytes.
    std::vector<std::uint8_t> Receive(std::size_t count, int milliseconds = 2000) const {
        std::vector<std::uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd ready{far, POLLIN, 0};
            if (::poll(&ready, 1, 20) > 0) {
                std::array<std::uint8_t, 256> buffer{};
                const ssize_t n =
                    ::read(far, buffer.data(), std::min(buffer.size(), count - got.size()));
                if (n > 0) {
                    got.insert(got.end(), buffer.begin(), buffer.begin() + n);
                }
            }
        }
        return got;
    }
    termios PortSettings() const {
        termios settings{};
        tcgetattr(port, &settings);
        return settings;
    }
    void CloseFar() {
        if (far >= 0) {
            ::close(far);
            far = -1;
        }
    }

    int far = -1;
    int port = -1; // kept open, as a device node stays while nobody has it open
    std::string path;
};

// Collects what a channel's reader delivers, for a test to wait on.
class Inbox {
public:
    void Add(const std::vector<std::uint8_t>& bytes) {
        const std::lock_guard guard(lock);
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        changed.notify_all();
    }
    void Lose(const std::string& why) {
        const std::lock_guard guard(lock);
        lost = why;
        changed.notify_all();
    }
    std::vector<std::uint8_t> WaitFor(std::size_t count, int milliseconds = 2000) {
        std::unique_lock guard(lock);
        changed.wait_for(guard, std::chrono::milliseconds(milliseconds),
                         [&] { return bytes_.size() >= count; });
        return bytes_;
    }
    std::string WaitForLoss(int milliseconds = 2000) {
        std::unique_lock guard(lock);
        changed.wait_for(guard, std::chrono::milliseconds(milliseconds),
                         [&] { return !lost.empty(); });
        return lost;
    }

private:
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::uint8_t> bytes_;
    std::string lost;
};

} // namespace zelk::testing
