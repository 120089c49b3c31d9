#include "cli/cli_target_ui.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace zelk {

CliTargetUi::CliTargetUi() : drawProgress(isatty(STDERR_FILENO) != 0) {}

void CliTargetUi::ShowMessage(MessageKind kind, const std::string& text) {
    std::lock_guard lock(mutex);
    EndProgressLine();
    std::FILE* stream = kind == MessageKind::Success ? stdout : stderr;
    std::fprintf(stream, "%s\n", text.c_str());
    std::fflush(stream);
}

void CliTargetUi::ProgressOpen() {
    ProgressSet(0);
}

void CliTargetUi::ProgressSet(int percent) {
    if (!drawProgress) {
        return;
    }
    constexpr int Width = 40;
    const int shown = std::clamp(percent, 0, 100);
    const int filled = shown * Width / 100;
    std::lock_guard lock(mutex);
    std::fprintf(stderr, "\rProgramming [%.*s%*s] %3d%%", filled,
                 "########################################", Width - filled, "", shown);
    std::fflush(stderr);
    progressLineOpen = true;
}

void CliTargetUi::ProgressClose() {
    std::lock_guard lock(mutex);
    EndProgressLine();
}

void CliTargetUi::EndProgressLine() {
    if (progressLineOpen) {
        std::fputc('\n', stderr);
        progressLineOpen = false;
    }
}

} // namespace zelk
