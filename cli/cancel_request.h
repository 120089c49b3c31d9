// Ctrl-C and SIGTERM: the handler only stores into an atomic flag, which the Programmer hands
// to the byte and page loops; the command then stops, releases the target and exits 130.
#pragma once

#include <atomic>

namespace zelk {

inline constexpr int ExitCancelled = 130;

// The flag the signals set; non-zero once one arrived.
std::atomic<int>& CancelRequest();
// Routes SIGINT and SIGTERM to the flag.
void InstallCancelHandlers();

} // namespace zelk
