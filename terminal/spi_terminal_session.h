// SPDX-License-Identifier: GPL-3.0-or-later
// The SPI terminal's exchange with the program running on the target, on a worker thread so
// that the window stays responsive while an answer comes in.
//
// Per typed character: the character goes out and the byte that comes back with it is
// dropped; then 0x00 goes out until the answer ends with a byte that is 0 or has bit 7 set.
// The terminating byte is part of the answer. An answer that has not ended after
// SpiAnswerLimit bytes is cut off there.
#pragma once

#include "terminal/spi_link.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace zelk {

inline constexpr std::int32_t SpiTerminalBitWaitUs = 50;
inline constexpr std::size_t SpiAnswerLimit = 4096;

// Both run on the worker thread.
struct SpiAnswerEvents {
    std::function<void(std::uint8_t byte)> answer;
    // The answer reached SpiAnswerLimit bytes without ending.
    std::function<void()> cutOff;
};

class SpiTerminalSession {
public:
    SpiTerminalSession(SpiLink& cable, SpiAnswerEvents answerEvents);
    ~SpiTerminalSession();
    SpiTerminalSession(const SpiTerminalSession&) = delete;
    SpiTerminalSession& operator=(const SpiTerminalSession&) = delete;

    // Takes the cable, starts the target and the worker. False, with the reason, when the
    // cable cannot be had; nothing was driven then.
    bool Start(std::string& reason);
    // Queues a typed character; characters go out in the order typed, each after the answer
    // to the one before. Ignored unless started.
    void Type(std::uint8_t character);
    // Ends the worker after the byte in flight, drops what is queued, gives the cable back.
    void Stop();

private:
    void Worker();
    // False when stopped before the answer ended.
    bool ExchangeCharacter(std::uint8_t character);

    SpiLink& link;
    SpiAnswerEvents events;
    std::mutex lock;
    std::condition_variable queued;
    std::deque<std::uint8_t> typed;
    std::atomic<bool> stopping{false};
    bool started = false;
    std::thread worker;
};

} // namespace zelk
