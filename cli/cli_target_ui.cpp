// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_target_ui.h"

#include "cli/cli_messages.h"
#include "cli/target_session.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace zelk {

CliTargetUi::CliTargetUi(ProgressStyle progressStyle, std::string name)
    : style(progressStyle), terminal(isatty(STDERR_FILENO) != 0), operation(std::move(name)) {}

void CliTargetUi::ShowMessage(MessageKind kind, const std::string& text) {
    std::lock_guard lock(mutex);
    EndProgressLine();
    if (kind != MessageKind::Success) {
        PrintMessage(kind == MessageKind::Failure ? MessageLevel::Error : MessageLevel::Note, text);
        if (kind == MessageKind::Note) {
            lastSuccess = text;
        }
        return;
    }
    lastSuccess = text;
    if (style != ProgressStyle::Quiet) {
        std::fprintf(stdout, "%s\n", text.c_str());
        std::fflush(stdout);
    }
}

void CliTargetUi::ProgressOpen() {
    std::lock_guard lock(mutex);
    lastPercent = -1;
    Draw(0);
}

void CliTargetUi::ProgressSet(int percent) {
    std::lock_guard lock(mutex);
    Draw(std::clamp(percent, 0, 100));
}

void CliTargetUi::ProgressStep(const std::string& what) {
    std::lock_guard lock(mutex);
    EndProgressLine();
    operation = what;
    lastPercent = -1;
    Draw(0);
}

void CliTargetUi::ProgressClose() {
    std::lock_guard lock(mutex);
    EndProgressLine();
}

void CliTargetUi::Draw(int percent) {
    if (percent == lastPercent) {
        return;
    }
    lastPercent = percent;
    if (style == ProgressStyle::Json) {
        std::fprintf(stderr, "{\"operation\":%s,\"percent\":%d}\n", JsonString(operation).c_str(),
                     percent);
        std::fflush(stderr);
        return;
    }
    if (style != ProgressStyle::Bar || !terminal) {
        return;
    }
    constexpr int Width = 40;
    const int filled = percent * Width / 100;
    std::fprintf(stderr, "\r%-18.18s [%.*s%*s] %3d%%", operation.c_str(), filled,
                 "########################################", Width - filled, "", percent);
    std::fflush(stderr);
    progressLineOpen = true;
}

void CliTargetUi::Summary(const std::string& command, int exitCode, std::uint64_t bytes) {
    std::lock_guard lock(mutex);
    EndProgressLine();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const char* result = exitCode == 0                 ? "done"
                         : exitCode == ExitUnconfirmed ? "unconfirmed"
                         : exitCode > 128              ? "cancelled"
                                                       : "failed";
    if (style == ProgressStyle::Json) {
        const std::string message =
            exitCode == 0 || exitCode == ExitUnconfirmed ? lastSuccess : LastError();
        std::fprintf(stderr,
                     "{\"result\":\"%s\",\"command\":%s,\"exit\":%d,\"bytes\":%llu,"
                     "\"seconds\":%.3f,\"message\":%s}\n",
                     result, JsonString(command).c_str(), exitCode,
                     static_cast<unsigned long long>(bytes), seconds, JsonString(message).c_str());
    } else if (style == ProgressStyle::Bar) {
        std::fprintf(stderr, "%s: %s, %llu bytes, %.2f s\n", command.c_str(), result,
                     static_cast<unsigned long long>(bytes), seconds);
    }
    std::fflush(stderr);
}

void CliTargetUi::EndProgressLine() {
    if (progressLineOpen) {
        std::fputc('\n', stderr);
        progressLineOpen = false;
    }
}

} // namespace zelk
