// SPDX-License-Identifier: GPL-3.0-or-later
// The signals that end a command early (Ctrl-C, SIGTERM, a hang-up, SIGQUIT, a reader that
// went away): the handler only stores the signal's number into an atomic flag, which the
// Programmer hands to the byte and page loops; the command then stops, releases the target,
// saves the simulated chip and exits with 128 + the signal's number.
#pragma once

#include <atomic>

namespace zelk {

// The signal that asked the command to stop; 0 while none did.
std::atomic<int>& CancelRequest();
// Routes SIGINT, SIGTERM, SIGHUP, SIGQUIT and SIGPIPE to the flag. A system call they
// interrupt fails with EINTR rather than restarting, so a blocked claim of a port ends too.
void InstallCancelHandlers();
// 128 + the number of the signal that cancelled the command: 130 for SIGINT, 143 for SIGTERM.
int ExitStatusOfCancel();
// "SIGINT", "SIGTERM" ...
const char* CancelSignalName();

// Opens /dev/null on each of standard input, output and error that is closed, so that no file
// zelk opens later takes its number. Output and error are opened for reading only: a write to
// a stream that was closed still fails, and the command with it.
void GuardStandardDescriptors();

} // namespace zelk
