// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal/spi_terminal_session.h"

namespace zelk {
namespace {

bool EndsAnswer(std::uint8_t byte) {
    return byte == 0 || byte >= 0x80;
}

} // namespace

SpiTerminalSession::SpiTerminalSession(SpiLink& cable, SpiAnswerEvents answerEvents)
    : link(cable), events(std::move(answerEvents)) {}

SpiTerminalSession::~SpiTerminalSession() {
    Stop();
}

bool SpiTerminalSession::Start(std::string& reason) {
    if (started) {
        return true;
    }
    if (!link.Acquire(reason)) {
        return false;
    }
    link.ResetAndRun();
    stopping = false;
    try {
        worker = std::thread(&SpiTerminalSession::Worker, this);
    } catch (const std::system_error&) {
        link.Release();
        reason = "The terminal could not start its worker.";
        return false;
    }
    started = true;
    return true;
}

void SpiTerminalSession::Type(std::uint8_t character) {
    if (!started) {
        return;
    }
    {
        const std::lock_guard guard(lock);
        typed.push_back(character);
    }
    queued.notify_one();
}

void SpiTerminalSession::Stop() {
    if (!started) {
        return;
    }
    {
        const std::lock_guard guard(lock);
        stopping = true;
        typed.clear();
    }
    queued.notify_one();
    worker.join();
    link.Release();
    started = false;
}

void SpiTerminalSession::Worker() {
    for (;;) {
        std::uint8_t character = 0;
        {
            std::unique_lock guard(lock);
            queued.wait(guard, [this] { return stopping || !typed.empty(); });
            if (stopping) {
                return;
            }
            character = typed.front();
            typed.pop_front();
        }
        if (!ExchangeCharacter(character)) {
            return;
        }
    }
}

bool SpiTerminalSession::ExchangeCharacter(std::uint8_t character) {
    link.Exchange(character, SpiTerminalBitWaitUs);
    for (std::size_t count = 0; count < SpiAnswerLimit; ++count) {
        if (stopping) {
            return false;
        }
        const std::uint8_t byte = link.Exchange(0x00, SpiTerminalBitWaitUs);
        if (events.answer) {
            events.answer(byte);
        }
        if (EndsAnswer(byte)) {
            return true;
        }
    }
    if (events.cutOff) {
        events.cutOff();
    }
    return true;
}

} // namespace zelk
