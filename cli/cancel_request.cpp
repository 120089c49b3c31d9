#include "cli/cancel_request.h"

#include <csignal>

namespace zelk {
namespace {

std::atomic<int> cancelRequest{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "a signal handler may only use a lock-free flag");

extern "C" void OnCancelSignal(int) {
    cancelRequest.store(1);
}

} // namespace

std::atomic<int>& CancelRequest() {
    return cancelRequest;
}

void InstallCancelHandlers() {
    struct sigaction action = {};
    action.sa_handler = OnCancelSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace zelk
