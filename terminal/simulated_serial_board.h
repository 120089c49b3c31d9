// SPDX-License-Identifier: GPL-3.0-or-later
// A board on a pseudo-terminal for trying the serial terminal without hardware: its program
// sends every received byte back in upper case, and a carriage return as CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace zelk {

// What the board's program answers to one received byte.
std::vector<std::uint8_t> SimulatedBoardAnswer(std::uint8_t received);

class SimulatedSerialBoard {
public:
    SimulatedSerialBoard() = default;
    ~SimulatedSerialBoard();
    SimulatedSerialBoard(const SimulatedSerialBoard&) = delete;
    SimulatedSerialBoard& operator=(const SimulatedSerialBoard&) = delete;

    // Creates the pseudo-terminal and starts the program. False, with the reason, if not.
    bool Start(std::string& error);
    // The device a serial channel opens to talk to the board.
    const std::string& PortPath() const { return portPath; }

private:
    void Run();
    void Stop();

    int boardFd = -1;
    // Held open so that the port stays usable while no channel has it open.
    int portFd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::string portPath;
    std::thread program;
};

} // namespace zelk
