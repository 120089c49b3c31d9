// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal/simulated_serial_board.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace zelk {
namespace {

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

std::vector<std::uint8_t> SimulatedBoardAnswer(std::uint8_t received) {
    if (received == '\r') {
        return {'\r', '\n'};
    }
    if (received >= 'a' && received <= 'z') {
        return {static_cast<std::uint8_t>(received - 'a' + 'A')};
    }
    return {received};
}

SimulatedSerialBoard::~SimulatedSerialBoard() {
    Stop();
}

bool SimulatedSerialBoard::Start(std::string& error) {
    termios raw{};
    cfmakeraw(&raw);
    cfsetspeed(&raw, B9600);
    std::array<char, 128> name{};
    if (::openpty(&boardFd, &portFd, name.data(), &raw, nullptr) != 0) {
        error = std::string("Cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    // Raw from the start: a port left echoing would send the board's answers back to it.
    portPath = name.data();
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) {
        error = std::string("Cannot create a pipe: ") + std::strerror(errno);
        Stop();
        return false;
    }
    wakeRead = wake[0];
    wakeWrite = wake[1];
    try {
        program = std::thread(&SimulatedSerialBoard::Run, this);
    } catch (const std::system_error& failure) {
        error = std::string("Cannot start the board: ") + failure.what();
        Stop();
        return false;
    }
    return true;
}

void SimulatedSerialBoard::Stop() {
    if (program.joinable()) {
        const char wake = 1;
        while (::write(wakeWrite, &wake, 1) < 0 && errno == EINTR) {
        }
        program.join();
    }
    CloseFd(wakeRead);
    CloseFd(wakeWrite);
    CloseFd(boardFd);
    CloseFd(portFd);
}

void SimulatedSerialBoard::Run() {
    std::array<std::uint8_t, 256> buffer{};
    for (;;) {
        std::array<pollfd, 2> waits{{{boardFd, POLLIN, 0}, {wakeRead, POLLIN, 0}}};
        if (::poll(waits.data(), waits.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (waits[1].revents != 0) {
            return;
        }
        const ssize_t count = ::read(boardFd, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return;
        }
        std::vector<std::uint8_t> answer;
        for (ssize_t i = 0; i < count; ++i) {
            const std::vector<std::uint8_t> part =
                SimulatedBoardAnswer(buffer[static_cast<std::size_t>(i)]);
            answer.insert(answer.end(), part.begin(), part.end());
        }
        if (!WriteAll(boardFd, answer)) {
            return;
        }
    }
}

} // namespace zelk
