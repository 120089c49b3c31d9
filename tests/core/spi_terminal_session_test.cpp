// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal/spi_terminal_session.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <vector>

namespace zelk {
namespace {

// A target whose program answers each typed character with a prepared reply, one byte per
// exchange after the character; with no reply prepared it keeps answering 'A'.
class FakeLink : public SpiLink {
public:
    bool Acquire(std::string& reason) override {
        const std::lock_guard guard(lock);
        if (busy) {
            reason = "in use";
            return false;
        }
        log.push_back("acquire");
        return true;
    }
    void ResetAndRun() override {
        const std::lock_guard guard(lock);
        log.push_back("reset");
    }
    std::uint8_t Exchange(std::uint8_t out, std::int32_t bitWaitUs) override {
        const std::lock_guard guard(lock);
        sent.push_back(out);
        waits.push_back(bitWaitUs);
        if (out != 0x00 || (pending.empty() && !endless)) {
            // The byte clocked in with the typed character is whatever the target had loaded.
            const auto reply = replies.find(out);
            pending.clear();
            if (reply != replies.end()) {
                pending.assign(reply->second.begin(), reply->second.end());
            }
            endless = reply == replies.end();
            return 0x55;
        }
        if (endless) {
            return 'A';
        }
        const std::uint8_t next = pending.front();
        pending.pop_front();
        return next;
    }
    void Release() override {
        const std::lock_guard guard(lock);
        log.push_back("release");
    }

    std::mutex lock;
    bool busy = false;
    std::map<std::uint8_t, std::vector<std::uint8_t>> replies;
    std::deque<std::uint8_t> pending;
    bool endless = false;
    std::vector<std::uint8_t> sent;
    std::vector<std::int32_t> waits;
    std::vector<std::string> log;
};

// What the session shows, in order; a cut-off shows as -1.
class Shown {
public:
    SpiAnswerEvents Events() {
        return {.answer = [this](std::uint8_t byte) { Add(byte); }, .cutOff = [this] { Add(-1); }};
    }
    std::vector<int> WaitFor(std::size_t count) {
        std::unique_lock guard(lock);
        changed.wait_for(guard, std::chrono::seconds(5), [&] { return shown.size() >= count; });
        return shown;
    }

private:
    void Add(int item) {
        const std::lock_guard guard(lock);
        shown.push_back(item);
        changed.notify_all();
    }

    std::mutex lock;
    std::condition_variable changed;
    std::vector<int> shown;
};

// A session on a fake link; the link's replies may be prepared before it starts.
struct Terminal {
    FakeLink link;
    Shown shown;
    SpiTerminalSession session{link, shown.Events()};
    std::string reason;
};

TEST(SpiTerminalSession, ShowsEachAnswerUpToAndWithItsTerminatingByte) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> reply;
    };
    const Case cases[] = {
        {"ended by zero", {'O', 'K', 0x00}},
        {"ended by a byte with bit 7", {'\r', 'x', 0x08, 0x80}},
        {"only the terminator", {0xFF}},
    };
    for (const Case& c : cases) {
        Terminal t;
        t.link.replies['k'] = c.reply;
        t.link.replies['z'] = {'Z', 0x00};
        ASSERT_TRUE(t.session.Start(t.reason));
        t.session.Type('k');
        t.session.Type('z'); // typed while the first answer comes in: it waits its turn
        std::vector<int> expected(c.reply.begin(), c.reply.end());
        expected.insert(expected.end(), {'Z', 0x00});
        t.shown.WaitFor(expected.size());
        t.session.Stop();
        EXPECT_EQ(t.shown.WaitFor(0), expected) << c.what;

        std::vector<std::uint8_t> sent = {'k'};
        sent.insert(sent.end(), c.reply.size(), 0x00);
        sent.insert(sent.end(), {'z', 0x00, 0x00});
        EXPECT_EQ(t.link.sent, sent) << c.what << ": the typed byte, then a zero per answer byte";
        EXPECT_EQ(t.link.waits, std::vector<std::int32_t>(sent.size(), SpiTerminalBitWaitUs));
        EXPECT_EQ(t.link.log, (std::vector<std::string>{"acquire", "reset", "release"}));
    }
}

TEST(SpiTerminalSession, CutsOffAnAnswerThatNeverEndsAndGoesOnWithTheNextKey) {
    Terminal t;
    t.link.replies['z'] = {'Z', 0x00};
    ASSERT_TRUE(t.session.Start(t.reason));
    t.session.Type('q');
    t.session.Type('z');
    std::vector<int> expected(SpiAnswerLimit, 'A');
    expected.insert(expected.end(), {-1, 'Z', 0x00});
    EXPECT_EQ(t.shown.WaitFor(expected.size()), expected);
}

TEST(SpiTerminalSession, StopEndsAnEndlessAnswerAndGivesTheCableBackOnce) {
    FakeLink link;
    Shown shown;
    {
        SpiTerminalSession session(link, shown.Events());
        std::string reason;
        ASSERT_TRUE(session.Start(reason));
        session.Type('q');
        shown.WaitFor(10);
        const auto start = std::chrono::steady_clock::now();
        session.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        session.Type('z');
    }
    EXPECT_EQ(link.log, (std::vector<std::string>{"acquire", "reset", "release"}));
    EXPECT_EQ(std::count(link.sent.begin(), link.sent.end(), 'z'), 0) << "typed after Stop";
}

TEST(SpiTerminalSession, DrivesNothingWhenTheCableIsInUse) {
    Terminal t;
    t.link.busy = true;
    EXPECT_FALSE(t.session.Start(t.reason));
    EXPECT_EQ(t.reason, "in use");
    t.session.Type('k');
    t.session.Stop();
    EXPECT_TRUE(t.link.log.empty());
    EXPECT_TRUE(t.link.sent.empty());
}

} // namespace
} // namespace zelk
