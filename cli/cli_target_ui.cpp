#include "cli/cli_target_ui.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace zelk {

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

CliTargetUi::CliTargetUi(ProgressStyle progressStyle, std::string name)
    : style(progressStyle), terminal(isatty(STDERR_FILENO) != 0), operation(std::move(name)) {}

void CliTargetUi::ShowMessage(MessageKind kind, const std::string& text) {
    std::lock_guard lock(mutex);
    if (kind == MessageKind::Success && style == ProgressStyle::Quiet) {
        return;
    }
    EndProgressLine();
    std::FILE* stream = kind == MessageKind::Success ? stdout : stderr;
    std::fprintf(stream, "%s\n", text.c_str());
    std::fflush(stream);
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
    if (style == ProgressStyle::Json) {
        std::fprintf(
            stderr, "{\"result\":%s,\"command\":%s,\"exit\":%d,\"bytes\":%llu,\"seconds\":%.3f}\n",
            JsonString(exitCode == 0 ? "done" : "failed").c_str(), JsonString(command).c_str(),
            exitCode, static_cast<unsigned long long>(bytes), seconds);
    } else if (style == ProgressStyle::Bar) {
        std::fprintf(stderr, "%s: %s, %llu bytes, %.2f s\n", command.c_str(),
                     exitCode == 0 ? "done" : "failed", static_cast<unsigned long long>(bytes),
                     seconds);
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
