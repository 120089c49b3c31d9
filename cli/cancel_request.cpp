// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cancel_request.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace zelk {
namespace {

std::atomic<int> cancelRequest{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "a signal handler may only use a lock-free flag");

struct CancelSignal {
    int number;
    const char* name;
};
constexpr std::array<CancelSignal, 5> CancelSignals{{{SIGINT, "SIGINT"},
                                                     {SIGTERM, "SIGTERM"},
                                                     {SIGHUP, "SIGHUP"},
                                                     {SIGQUIT, "SIGQUIT"},
                                                     {SIGPIPE, "SIGPIPE"}}};

extern "C" void OnCancelSignal(int number) {
    // The first signal names the cancel; a later one (a second Ctrl-C) changes nothing.
    int none = 0;
    cancelRequest.compare_exchange_strong(none, number);
}

} // namespace

std::atomic<int>& CancelRequest() {
    return cancelRequest;
}

void InstallCancelHandlers() {
    struct sigaction action = {};
    action.sa_handler = OnCancelSignal;
    sigemptyset(&action.sa_mask);
    for (const CancelSignal& signal : CancelSignals) {
        sigaction(signal.number, &action, nullptr);
    }
}

int ExitStatusOfCancel() {
    return 128 + cancelRequest.load();
}

const char* CancelSignalName() {
    const int number = cancelRequest.load();
    for (const CancelSignal& signal : CancelSignals) {
        if (signal.number == number) {
            return signal.name;
        }
    }
    return "a signal";
}

void GuardStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) {
            continue;
        }
        // open() takes the lowest free number, which is this one: the lower ones are open.
        const int opened = ::open("/dev/null", O_RDONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

} // namespace zelk
